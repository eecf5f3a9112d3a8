#include "validation/html_page_rows.h"

#include "values/cp1252_literal.h"

namespace tarvelo {
namespace {

std::string Cut(std::string_view value) { return std::string(value.substr(0, HtmlPageRows::kValueBytes)); }

}  // namespace

void HtmlPageRows::BeginFile(const std::string& path, const std::string& table) {
  for (current_ = 0; current_ < files_.size(); ++current_)
    if (files_[current_].path == path && files_[current_].table == table) return;
  files_.push_back({path, table, {}, {}, 0});
  fieldIndex_.emplace_back();
}

FieldFailures& HtmlPageRows::FieldOf(std::string_view field) {
  auto& index = fieldIndex_[current_];
  auto& fields = files_[current_].fields;
  const auto found = index.find(field);
  if (found != index.end()) return fields[found->second];
  index.emplace(std::string(field), fields.size());
  fields.push_back({std::string(field), {}, 0});
  return fields.back();
}

void HtmlPageRows::Row(const DetailRow& row) {
  if (files_.empty()) BeginFile("", "");
  FileFailures& file = files_[current_];
  if (row.rule == DetailRule::NoPolicy) {
    if (!Keep(file.claims.size())) {
      ++file.moreClaims;
      return;
    }
    file.claims.push_back({row.record, Cut(row.policy), Cut(row.item)});
  } else {
    FieldFailures& field = FieldOf(row.field);
    if (!Keep(field.rows.size())) {
      ++field.more;
      return;
    }
    field.rows.push_back({row.record, row.rule, Cut(row.value), row.value.size(), Cut(row.dependsValue)});
  }
  ++kept_;
}

const char* FailureText(DetailRule rule) {
  switch (rule) {
    case DetailRule::Empty:
      return "vazio";
    case DetailRule::Length:
      return "tamanho diferente do exigido";
    case DetailRule::Date:
      return "data inválida"_cp1252;
    case DetailRule::Domain:
      return "não é um código permitido"_cp1252;
    case DetailRule::SecondCompany:
      return "de outra empresa";
    case DetailRule::NoPolicy:
      return "sem apólice"_cp1252;
  }
  return "";
}

}  // namespace tarvelo
