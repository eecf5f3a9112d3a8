#include "validation/detail_listing.h"

#include "validation/report_export.h"
#include "values/text.h"

namespace tarvelo {
namespace {

/// The value as the listing shows it: without the blanks that pad it to
/// its field's width.
std::string_view Unpadded(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Whether text is a number as a spreadsheet reads one: a sign, digits, and
// at most one decimal point or comma followed by digits.
bool IsNumber(std::string_view text) {
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  bool digits = false;
  bool point = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if ((c == '.' || c == ',') && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits;
}

bool LooksLikeFormula(std::string_view text) {
  if (text.empty()) return false;
  const char first = text[0];
  const bool formulaStart =
      first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' || first == '\r';
  return formulaStart && !IsNumber(text);
}

}  // namespace

const char* DetailRuleName(DetailRule rule) {
  switch (rule) {
    case DetailRule::Empty:
      return "vazio";
    case DetailRule::Length:
      return "tamanho";
    case DetailRule::Date:
      return "data";
    case DetailRule::Domain:
      return "dominio";
    case DetailRule::SecondCompany:
      return "outra empresa";
    case DetailRule::NoPolicy:
      return "sem apolice";
  }
  return "";
}

DetailListing::DetailListing(const std::string& path, char decimalSeparator)
    : file_(std::make_unique<ReplacingFile>(path)),
      separator_(decimalSeparator == ',' ? ';' : ','),
      quoted_{separator_, '"', '\r', '\n'} {
  file_->Write("\xEF\xBB\xBF");
  for (const char* name : {"arquivo", "tabela", "registro", "apolice", "item", "campo", "regra"}) Cell(name);
  Cell("valor", true);
  file_->Write(line_);
  line_.clear();
}

DetailListing::~DetailListing() = default;

void DetailListing::BeginFile(const std::string& path, const std::string& table) {
  path_ = path;
  table_ = Cp1252ToUtf8(Trim(table));
}

void DetailListing::Cell(std::string_view text, bool last) {
  const bool formula = LooksLikeFormula(text);
  const bool quote = formula || text.find_first_of(quoted_) != std::string_view::npos;
  if (quote) line_ += '"';
  if (formula) line_ += '\'';
  for (char c : text) {
    if (c == '"') line_ += '"';
    line_ += c;
  }
  if (quote) line_ += '"';
  line_ += last ? "\r\n" : std::string(1, separator_);
}

void DetailListing::Row(const DetailRow& row) {
  Cell(path_);
  Cell(table_);
  Cell(std::to_string(row.record));
  Cell(Cp1252ToUtf8(Unpadded(row.policy)));
  Cell(Cp1252ToUtf8(Unpadded(row.item)));
  Cell(Cp1252ToUtf8(row.field));
  Cell(DetailRuleName(row.rule));
  Cell(Cp1252ToUtf8(Unpadded(row.value)), true);
  file_->Write(line_);
  line_.clear();
}

void DetailListing::Finish() { file_->Commit(); }

}  // namespace tarvelo
