// Writes the starting corpus of variant_fuzz: variant_fuzz_seeds <folder>.
// Most seeds are the values the reader makes of a table written by the
// test DBF writer (texts, integers, wide integers, reals, dates, booleans,
// empty fields), the rest the values the rules themselves make.

#include <cstdio>
#include <string>
#include <vector>

#include "dbf/dbf_table.h"
#include "fuzz/variant_fuzz_values.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"

using tarvelo::Variant;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  std::vector<std::vector<Variant>> seeds;

  tarvelo::testing::TempDir scratch;
  tarvelo::testing::DbfWriter writer({{"APOLICE", 'C', 10},
                                      {"COD_MOD", 'N', 2},
                                      {"PREMIO", 'N', 14, 2},
                                      {"CNPJ", 'N', 14},
                                      {"INICIO_VIG", 'D', 8},
                                      {"ATIVO", 'L', 1},
                                      {"UF", 'C', 2}});
  writer.AddRecord({"P1", "61", "100.00", "12345678000199", "20230101", "T", "SP"});
  writer.AddRecord({"0001", "-9", "-2.25", "-1", "20220701", "F", "rs"});
  writer.AddRecord({" 12 ", "", "1234567.89", "9999999999999", "", "?", ""});
  writer.AddRecord({"X1", "64", "0.005", "2147483648", "19991231", "t", "12"});
  writer.WriteTo(scratch.File("valores.dbf"));

  const tarvelo::RegionalSettings settings = tarvelo::RegionalSettings::Brazilian();
  tarvelo::DbfTable table("tbValores", settings);
  table.SetDBFFileName(scratch.File("valores.dbf"));
  table.Open();
  for (table.First(); !table.AtEnd(); table.Next()) {
    std::vector<Variant> values;
    for (int i = 0; i < table.FieldCount(); ++i) values.push_back(table.FieldAt(i).AsVariant());
    seeds.push_back(std::move(values));
  }
  table.Close();

  seeds.push_back({Variant::String("12"), Variant::Integer(12), Variant::String("ABC"), Variant::Byte(64),
                   Variant::String("ab"), Variant::String("ab "), Variant::String("B"), Variant::String("a")});
  seeds.push_back({Variant::Integer(2147483647), Variant::Integer(1), Variant::Integer(7), Variant::Integer(2),
                   Variant::Byte(100), Variant::Byte(0), Variant::Null(), Variant()});
  seeds.push_back({Variant::Double(2.5), Variant::Double(3.5), Variant::Double(-2.5), Variant::Double(0.1),
                   Variant::Double(1e15), Variant::Double(0.00005), Variant::String("X1"), Variant::String("$1F")});
  seeds.push_back({Variant::Int64(-9223372036854775807 - 1), Variant::LongWord(4294967295u), Variant::Word(65535),
                   Variant::Smallint(-32768), Variant::ShortInt(-128), Variant::Single(0.1f),
                   Variant::CurrencyScaled(15000), Variant::Date(45000.75)});
  seeds.push_back({Variant::String("True"), Variant::Boolean(true), Variant::String("1.234.567,89"),
                   Variant::String("1,5E3"), Variant::String(" 7 "), Variant::OleStr("x"), Variant::String("")});

  for (size_t i = 0; i < seeds.size(); ++i) {
    // Brazilian and United States settings in turn.
    std::string bytes(1, static_cast<char>(i % 2 == 0 ? 1 : 0));
    for (const Variant& value : seeds[i]) bytes += tarvelo::fuzzing::WriteVariant(value);
    tarvelo::testing::WriteFile(folder + "seed_" + std::to_string(i), bytes);
  }
  return 0;
}
