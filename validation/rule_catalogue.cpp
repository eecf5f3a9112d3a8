#include "validation/rule_catalogue.h"

#include "values/errors.h"
#include "values/text.h"
#include "values/variant_operators.h"

namespace tarvelo {
namespace {

void OpenOn(DbfTable& table, const std::string& path) {
  table.Close();
  table.SetDBFFileName(path);
  table.Open();
}

}  // namespace

RuleCatalogue::RuleCatalogue(const RegionalSettings& settings)
    : settings_(settings),
      mtTabelas_("mtTabelas", settings),
      mtEstrutTab_("mtEstrutTab", settings),
      mtAnexos_("mtAnexos", settings) {}

std::string RuleCatalogue::Text(DbfTable& table, const char* column) const {
  return ToText(table.FieldValue(column), settings_);
}

bool RuleCatalogue::RowIsOfLine(DbfTable& table, const std::string& lineOfBusiness) const {
  return Trim(Text(table, "ramo")) == lineOfBusiness;
}

void RuleCatalogue::Load(const std::string& lineOfBusiness, const std::string& folder, DbfTable& tbTabelas,
                         DbfTable& tbAnexos) {
  const std::string tabelas = folder + "tabelas.dbf";
  OpenOn(tbTabelas, tabelas);
  LoadTableOrder(lineOfBusiness, tbTabelas);
  tbTabelas.Close();
  // Without a table the run would report both files as not chosen.
  if (mtTabelas_.RecordCount() == 0)
    throw TarveloError("Catalogue file \"" + PathText(tabelas) + "\" defines no table for the line of business \"" +
                       lineOfBusiness + "\"");

  OpenOn(tbTabelas, tabelas);
  LoadStructure(lineOfBusiness, tbTabelas);
  tbTabelas.Close();

  OpenOn(tbAnexos, folder + "anexos.dbf");
  LoadDomain(lineOfBusiness, tbAnexos);
  tbAnexos.Close();
}

void RuleCatalogue::LoadTableOrder(const std::string& lineOfBusiness, DbfTable& tbTabelas) {
  MemTable& t = mtTabelas_;
  t.Close();
  t.FieldDefs().Clear();
  t.FieldDefs().Add("ordem", ftInteger);
  t.FieldDefs().Add("tabela", ftString, 20);
  t.IndexDefs().Clear();
  t.IndexDefs().Add(kTableOrderByName, "tabela");
  t.CreateTable();
  t.Open();
  t.IndexName(kTableOrderByName);

  // A table gets the next number each time its name follows a different
  // name among the rows of the line of business.
  int32_t next = 1;
  Variant previous = Variant::String("");
  for (; !tbTabelas.AtEnd(); tbTabelas.Next()) {
    if (!RowIsOfLine(tbTabelas, lineOfBusiness)) continue;
    const Variant name = tbTabelas.FieldValue("tabela");
    if (!Compare(name, CompareOp::NotEqual, previous, settings_)) continue;
    t.Append();
    t.FieldByName("ordem").SetAsVariant(Variant::Integer(next));
    t.FieldByName("tabela").SetAsVariant(name);
    t.Post();
    previous = Variant::String(ToText(name, settings_));
    ++next;
  }
}

void RuleCatalogue::LoadStructure(const std::string& lineOfBusiness, DbfTable& tbTabelas) {
  MemTable& t = mtEstrutTab_;
  t.Close();
  t.FieldDefs().Clear();
  t.FieldDefs().Add("tabela", ftInteger);
  t.FieldDefs().Add("campo", ftString, 10);
  t.FieldDefs().Add("depende", ftString, 10);
  for (const char* flag :
       {"tipo", "tamanho", "dominio", "nulo", "data", "positivo", "zeros", "erroNulo", "erroDom", "ordem"})
    t.FieldDefs().Add(flag, ftInteger);
  t.FieldDefs().Add("nometab", ftString, 20);
  t.FieldDefs().Add("zerosesq", ftInteger);
  t.FieldDefs().Add("soma", ftInteger);
  t.FieldDefs().Add("total", ftFloat);
  t.IndexDefs().Clear();
  t.IndexDefs().Add(kStructureByField, "tabela;campo");
  t.IndexDefs().Add(kStructureByPosition, "tabela;ordem");
  t.CreateTable();
  t.Open();
  t.IndexName(kStructureByField);

  for (; !tbTabelas.AtEnd(); tbTabelas.Next()) {
    if (!RowIsOfLine(tbTabelas, lineOfBusiness)) continue;
    const Variant name = tbTabelas.FieldValue("tabela");
    t.Append();
    mtTabelas_.FindKey({name});
    t.FieldByName("tabela").SetAsVariant(mtTabelas_.FieldValue("ordem"));
    t.FieldByName("campo").SetAsVariant(Variant::String(LeftText(Text(tbTabelas, "campo"), 10)));
    t.FieldByName("depende").SetAsVariant(Variant::String(LeftText(Text(tbTabelas, "depende"), 10)));
    for (const char* flag :
         {"tipo", "tamanho", "dominio", "nulo", "data", "positivo", "zeros", "ordem", "zerosesq", "soma"})
      t.FieldByName(flag).SetAsVariant(tbTabelas.FieldValue(flag));
    t.FieldByName("erroNulo").SetAsVariant(Variant::Byte(0));
    t.FieldByName("erroDom").SetAsVariant(Variant::Byte(0));
    t.FieldByName("nometab").SetAsVariant(name);
    t.FieldByName("total").SetAsVariant(Variant::Byte(0));
    t.Post();
  }
}

void RuleCatalogue::LoadDomain(const std::string& lineOfBusiness, DbfTable& tbAnexos) {
  MemTable& t = mtAnexos_;
  t.Close();
  t.FieldDefs().Clear();
  t.FieldDefs().Add("tabela", ftInteger);
  t.FieldDefs().Add("campo", ftInteger);
  t.FieldDefs().Add("valor1", ftString, 8);
  t.FieldDefs().Add("valor2", ftString, 2);
  t.IndexDefs().Clear();
  t.IndexDefs().Add(kDomainByValue, "tabela;campo;valor1;valor2");
  t.CreateTable();
  t.Open();
  t.IndexName(kDomainByValue);

  for (; !tbAnexos.AtEnd(); tbAnexos.Next()) {
    if (!RowIsOfLine(tbAnexos, lineOfBusiness)) continue;
    // A value of a table or field that the line of business does not
    // define has no number to be filed under: it is left out.
    if (!mtTabelas_.FindKey({tbAnexos.FieldValue("tabela")})) continue;
    const Variant tableNumber = mtTabelas_.FieldValue("ordem");
    if (!mtEstrutTab_.FindKey({tableNumber, Variant::String(LeftText(Text(tbAnexos, "campo"), 10))})) continue;
    t.Append();
    t.FieldByName("tabela").SetAsVariant(tableNumber);
    t.FieldByName("campo").SetAsVariant(mtEstrutTab_.FieldValue("ordem"));
    t.FieldByName("valor1").SetAsVariant(Variant::String(LeftText(Text(tbAnexos, "valor1"), 8)));
    t.FieldByName("valor2").SetAsVariant(Variant::String(LeftText(Text(tbAnexos, "valor2"), 2)));
    t.Post();
  }
}

}  // namespace tarvelo
