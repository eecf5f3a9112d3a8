// Generates a risks file of many records (about 200 bytes, 21 fields, most
// of them with rules) and a matching catalogue, then times the whole
// validation run over it against reading the same file with cat.
//
//   run_bench [RECORDS]      (default 1000000)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tools/dbf_writer.h"
#include "tools/temp_dir.h"
#include "validation/catalogue_fixture.h"
#include "validation/validation_run.h"

namespace {

using namespace tarvelo;
using testing::DbfFieldSpec;
using testing::FieldRuleRow;

struct BenchField {
  DbfFieldSpec spec;
  FieldRuleRow rule;  // tabela, ordem and campo filled in below
};

std::vector<BenchField> Layout() {
  // tipo, tamanho, dominio, nulo, data, zeros, zerosesq as in the catalogue.
  const auto text = [](const char* name, int width, const char* dominio, const char* nulo, const char* data,
                       const char* zerosesq, const char* depende = "") {
    return BenchField{{name, 'C', width}, {"", name, depende, "1", std::to_string(width), dominio, nulo, data, data,
                                          "", zerosesq}};
  };
  const auto number = [](const char* name, int width, int decimals, const char* dominio, const char* nulo) {
    const bool integer = decimals == 0 && width <= 9;
    return BenchField{{name, 'N', width, decimals}, {"", name, "", integer ? "3" : "6", "0", dominio, nulo}};
  };
  return {text("COD_SEG", 5, "0", "0", "0", "1"),     text("APOLICE", 20, "0", "0", "0", "0"),
          text("ITEM", 6, "0", "0", "0", "1"),        number("COD_MOD", 2, 0, "1", "0"),
          text("COD_CULT", 4, "1", "0", "0", "1", "COD_MOD"),
          text("INICIO_VIG", 8, "0", "0", "1", "1"),  text("FIM_VIG", 8, "0", "0", "1", "1"),
          text("UF", 2, "1", "0", "0", "0"),          text("MUNICIPIO", 7, "0", "0", "0", "1"),
          text("CPF_CNPJ", 14, "0", "0", "0", "0"),   text("NOME", 40, "0", "0", "0", "0"),
          number("AREA", 10, 2, "0", "0"),            number("IS", 14, 2, "0", "0"),
          number("PREMIO", 14, 2, "0", "0"),          text("TIPO_PESS", 1, "1", "0", "0", "0"),
          text("SUBVENCAO", 1, "1", "0", "0", "0"),   text("D_EMISSAO", 8, "0", "1", "1", "1"),
          text("LATITUDE", 10, "0", "1", "0", "0"),   text("LONGITUDE", 10, "0", "1", "0", "0"),
          text("COBERTURA", 3, "1", "0", "0", "0"),   number("PRODUTIV", 8, 2, "0", "1")};
}

const char* const kStates[] = {"SP", "PR", "RS", "MG", "GO", "MT", "MS", "BA", "SC", "XX"};
const char* const kCrops[] = {"0101", "0102", "0103", "0201", "0401", "9999"};
const char* const kModalities[] = {"61", "62", "64", "63"};

void WriteFiles(const testing::TempDir& dir, int records) {
  std::vector<BenchField> layout = Layout();
  std::vector<DbfFieldSpec> specs;
  std::vector<FieldRuleRow> rules;
  for (size_t i = 0; i < layout.size(); ++i) {
    specs.push_back(layout[i].spec);
    FieldRuleRow rule = layout[i].rule;
    rule.tabela = "RISCOS";
    rule.ordem = std::to_string(i + 1);
    rules.push_back(rule);
  }
  rules.push_back({"SINISTROS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"});
  testing::WriteTabelas(dir.File("tabelas.dbf"), rules);

  std::vector<testing::DomainRow> domain;
  for (const char* m : kModalities) domain.push_back({"RISCOS", "COD_MOD", m, ""});
  for (const char* uf : kStates)
    if (std::string(uf) != "XX") domain.push_back({"RISCOS", "UF", uf, ""});
  for (const char* crop : kCrops)
    for (const char* m : kModalities)
      if (std::string(crop) != "9999") domain.push_back({"RISCOS", "COD_CULT", crop, m});
  for (const char* v : {"F", "J"}) domain.push_back({"RISCOS", "TIPO_PESS", v, ""});
  for (const char* v : {"S", "N"}) domain.push_back({"RISCOS", "SUBVENCAO", v, ""});
  for (const char* v : {"BAS", "REP", "FAT"}) domain.push_back({"RISCOS", "COBERTURA", v, ""});
  testing::WriteAnexos(dir.File("anexos.dbf"), domain);
  testing::WriteQdp(dir.File("DadosQdp.DBF"),
                    {{"05631", "SEGURADORA EXEMPLO S.A.", "1000000", "0", "250000", "0", "20220701", "20230630"}});

  testing::DbfStreamWriter out(dir.File("riscos.dbf"), specs);
  uint32_t seed = 12345;
  const auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  char date[16], amount[32];
  for (int n = 0; n < records; ++n) {
    const uint32_t r = next();
    std::snprintf(date, sizeof date, "20%02u%02u%02u", 22 + (r % 2), 1 + (r >> 3) % 12, 1 + (r >> 8) % 28);
    std::snprintf(amount, sizeof amount, "%u.%02u", (r >> 4) % 90000, r % 100);
    out.AddRecord({"05631", "10" + std::to_string(4000000 + n / 3), "00000" + std::to_string(1 + n % 3),
                   kModalities[r % 4], kCrops[(r >> 5) % 6], date, (r % 97 == 0) ? "2023-01-01" : date,
                   (r % 53 == 0) ? "" : kStates[(r >> 7) % 10], "3550308", "12345678000190",
                   "PRODUTOR RURAL " + std::to_string(n % 1000), "125.50", amount, amount,
                   (r % 2) ? "F" : "J", "S", date, "-23.5505", "-46.6333", (r % 3) ? "BAS" : "REP", "55.20"});
  }
  out.Finish();
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Best(int times, const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < times; ++i) best = std::min(best, Seconds(work));
  return best;
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void Measure(int records) {
  testing::TempDir dir;
  std::printf("Generating %d records...\n", records);
  WriteFiles(dir, records);
  const std::string file = dir.File("riscos.dbf");
  const std::string cat = "cat '" + file + "' > /dev/null";
  const double catTime = Best(3, [&] {
    if (std::system(cat.c_str()) != 0) std::abort();
  });

  testing::FakeHost host;
  host.folder = dir.Path();
  host.risk = file;
  ValidationRun run(host);
  const double runTime = Best(3, [&] { run.Execute(); });
  const long peak = PeakKiB();
  std::printf("records: %d (%d counted)\n", records, run.State().riskCount);
  std::printf("cat to /dev/null:   %8.3f s\n", catTime);
  std::printf("validation run:     %8.3f s  (%.0f records/s)\n", runTime, records / runTime);
  std::printf("run / cat ratio:    %8.1f\n", runTime / catTime);
  std::printf("peak memory so far: %8ld KiB\n\n", peak);
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
  // A small file first: the peak memory after the large one shows whether
  // memory grows with the number of records.
  Measure(records / 10);
  Measure(records);
  return 0;
}
