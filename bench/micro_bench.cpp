// Micro benchmarks of the paths that run once per field and record.
#include <benchmark/benchmark.h>

#include <string>

#include "dbf/dbf_table.h"
#include "testing/catalogue_fixture.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"
#include "validation/catalogue.h"
#include "validation/record_checks.h"
#include "validation/report_format.h"
#include "values/variant.h"
#include "values/variant_operators.h"

namespace {

using namespace tarvelo;

const RegionalSettings kSettings = RegionalSettings::Brazilian();

void BM_CompareTextWithText(benchmark::State& state) {
  const Variant a = Variant::String("20230115");
  const Variant b = Variant::String("20220701");
  for (auto _ : state) benchmark::DoNotOptimize(Compare(a, CompareOp::Less, b, kSettings));
}
BENCHMARK(BM_CompareTextWithText);

void BM_CompareTextWithInteger(benchmark::State& state) {
  const Variant a = Variant::String("64");
  const Variant b = Variant::Byte(64);
  for (auto _ : state) benchmark::DoNotOptimize(Compare(a, CompareOp::Equal, b, kSettings));
}
BENCHMARK(BM_CompareTextWithInteger);

void BM_AddRealToTotal(benchmark::State& state) {
  double total = 0;
  const Variant amount = Variant::Double(1234.56);
  for (auto _ : state) {
    total = ToDouble(Add(Variant::Double(total), amount, kSettings), kSettings);
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_AddRealToTotal);

void BM_FormatNumber(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(FormatNumber(1234567.891, 2, kSettings));
}
BENCHMARK(BM_FormatNumber);

// Reads every field of every record of a 100,000-record file as a Variant.
void BM_ReadDbfRecords(benchmark::State& state) {
  testing::TempDir dir;
  testing::DbfWriter writer({{"COD_SEG", 'C', 5},
                             {"APOLICE", 'C', 20},
                             {"COD_MOD", 'N', 2},
                             {"INICIO_VIG", 'C', 8},
                             {"PREMIO", 'N', 14, 2},
                             {"EMISSAO", 'D', 8}});
  const int records = 100000;
  for (int i = 0; i < records; ++i)
    writer.AddRecord({"05631", std::to_string(1000000 + i), "61", "20230115", "1234.56", "20230101"});
  writer.WriteTo(dir.File("r.dbf"));
  DbfTable table("tbDados", kSettings);
  table.SetDBFFileName(dir.File("r.dbf"));
  for (auto _ : state) {
    table.Open();
    for (; !table.AtEnd(); table.Next())
      for (int f = 0; f < table.FieldCount(); ++f) benchmark::DoNotOptimize(table.FieldAt(f).AsVariant());
    table.Close();
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadDbfRecords)->Unit(benchmark::kMillisecond);

// Checks the records of a 20,000-record file whose fields carry every rule
// (empty, exact length, date, a code, a code qualified by a text field and
// by an integer field, an integer code), a value in ten breaking one; on
// the record's bytes (0) or through every value (1).
void BM_CheckRecords(benchmark::State& state) {
  testing::TempDir dir;
  // tabela, campo, depende, tipo, tamanho, dominio, nulo, data, zeros, ordem, zerosesq
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "COD_SEG", "", "1", "5", "0", "0", "0", "0", "1"},
                                                  {"RISCOS", "APOLICE", "", "1", "10", "0", "0", "0", "0", "2", "1"},
                                                  {"RISCOS", "INICIO", "", "1", "8", "0", "0", "1", "1", "3", "1"},
                                                  {"RISCOS", "UF", "", "1", "2", "1", "0", "0", "0", "4"},
                                                  {"RISCOS", "MUNIC", "UF", "1", "7", "1", "0", "0", "0", "5"},
                                                  {"RISCOS", "COD_MOD", "", "3", "0", "1", "0", "0", "0", "6"},
                                                  {"RISCOS", "COD_CULT", "COD_MOD", "3", "0", "1", "0", "0", "0", "7"},
                                                  {"RISCOS", "QTD", "", "3", "0", "0", "0", "0", "0", "8"}});
  std::vector<testing::DomainRow> domain = {{"RISCOS", "UF", "SP", ""},           {"RISCOS", "UF", "RS", ""},
                                            {"RISCOS", "MUNIC", "3550308", "SP"}, {"RISCOS", "MUNIC", "4314902", "RS"},
                                            {"RISCOS", "COD_MOD", "61", ""},      {"RISCOS", "COD_MOD", "64", ""},
                                            {"RISCOS", "COD_CULT", "101", "61"},  {"RISCOS", "COD_CULT", "7", "64"}};
  testing::WriteAnexos(dir.File("anexos.dbf"), domain);
  testing::DbfWriter writer({{"COD_SEG", 'C', 5},
                             {"APOLICE", 'C', 10},
                             {"INICIO", 'C', 8},
                             {"UF", 'C', 2},
                             {"MUNIC", 'C', 7},
                             {"COD_MOD", 'N', 2},
                             {"COD_CULT", 'N', 3},
                             {"QTD", 'N', 5}});
  const int records = 20000;
  for (int i = 0; i < records; ++i) {
    const bool bad = i % 10 == 9;
    const bool animal = i % 3 == 0;
    writer.AddRecord({"05631", bad && i % 4 == 1 ? "123" : std::to_string(1000000000 + i),
                      bad && i % 4 == 3 ? "20231301" : "20230115", animal ? "rs" : "SP",
                      animal ? "4314902" : (bad ? "3550309" : "3550308"), animal ? "64" : "61",
                      animal ? "7" : (bad ? "102" : "101"), bad ? "" : std::to_string(i % 1000)});
  }
  writer.WriteTo(dir.File("r.dbf"));
  DbfTable data("tbDados", kSettings);
  const Catalogue catalogue(dir.Path(), kSettings);
  data.SetDBFFileName(dir.File("r.dbf"));
  data.Open();
  std::vector<char> bytes(static_cast<size_t>(records) * static_cast<size_t>(data.RecordLength()));
  data.ReadRecords(1, static_cast<size_t>(records), bytes.data());
  const RecordChecker checker(data, catalogue, kRisksTable, "05631", 2026, kSettings,
                              state.range(0) == 0 ? CheckReading::kDirect : CheckReading::kValues);
  std::vector<FieldCounts> counts(static_cast<size_t>(checker.FieldCount()));
  const std::string* field = nullptr;
  for (auto _ : state) {
    for (int i = 0; i < records; ++i)
      benchmark::DoNotOptimize(checker.Check(
          bytes.data() + static_cast<size_t>(i) * static_cast<size_t>(data.RecordLength()), counts.data(), field));
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CheckRecords)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Loads a catalogue whose "anexos.dbf" has state.range(0) rows: long lists
// of municipality codes per state, in no particular order.
void BM_LoadCatalogue(benchmark::State& state) {
  testing::TempDir dir;
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "UF", "", "1", "2", "1", "1", "0", "0", "1"},
                                                  {"RISCOS", "MUNICIPIO", "UF", "1", "7", "1", "1", "0", "0", "2"}});
  const int rows = static_cast<int>(state.range(0));
  std::vector<testing::DomainRow> domain;
  domain.reserve(static_cast<size_t>(rows));
  for (int i = 0; i < rows; ++i) {
    const int code = (i * 7919) % 9000000;
    domain.push_back({"RISCOS", "MUNICIPIO", std::to_string(1000000 + code), std::to_string(10 + i % 27)});
  }
  testing::WriteAnexos(dir.File("anexos.dbf"), domain);
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {});
  for (auto _ : state) benchmark::DoNotOptimize(Catalogue(dir.Path(), kSettings).CodeRows().size());
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(rows) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadCatalogue)->Arg(80000)->Arg(300000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
