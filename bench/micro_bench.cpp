// Micro benchmarks of the paths that run once per field and record.
#include <benchmark/benchmark.h>

#include <string>

#include "dbf/dbf_table.h"
#include "testing/catalogue_fixture.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"
#include "validation/report_format.h"
#include "validation/rule_catalogue.h"
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
  RuleCatalogue catalogue(kSettings);
  DbfTable tbTabelas("tbTabelas", kSettings);
  DbfTable tbAnexos("tbAnexos", kSettings);
  for (auto _ : state) catalogue.Load("RURAL", dir.Path(), tbTabelas, tbAnexos);
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(rows) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadCatalogue)->Arg(80000)->Arg(300000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
