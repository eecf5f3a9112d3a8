// Generates a risks file of many records (about 200 bytes, 21 fields, most
// of them with rules) and a matching catalogue, then times the whole
// validation run over it against reading the same file with cat.
//
// Then builds the NTX index over the same risks file and searches it for
// the claims of a claims file of 30% as many records (about 5% of them
// without a policy item), as the claims-without-policy test does; once
// over the risks file in key order, once over the same records written in
// a scrambled order. The peak memory shows that the index's memory is
// bounded.
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

#include "dbf/ntx_index.h"
#include "tools/dbf_writer.h"
#include "tools/temp_dir.h"
#include "validation/catalogue_fixture.h"
#include "validation/validation_run.h"
#include "values/text.h"

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

// A claims file whose records point at risks records: one in 20 names a
// policy that the risks file does not have. When scrambled, claims come in
// no particular order.
void WriteClaims(const testing::TempDir& dir, int riskRecords, int claimRecords) {
  testing::DbfStreamWriter out(dir.File("sinistros.dbf"), {{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 20},
                                                          {"ITEM", 'C', 6}, {"COD_MOD", 'N', 2},
                                                          {"D_AVISO", 'C', 8}, {"INDENIZ", 'N', 14, 2}});
  uint32_t seed = 777;
  for (int n = 0; n < claimRecords; ++n) {
    seed = seed * 1664525u + 1013904223u;
    const int risk = static_cast<int>(seed % static_cast<uint32_t>(riskRecords));
    const bool missing = n % 20 == 0;
    out.AddRecord({"05631", (missing ? "99" : "10") + std::to_string(4000000 + risk / 3),
                   "00000" + std::to_string(1 + risk % 3), "61", "20230101", "100.00"});
  }
  out.Finish();
}

// The generator's state after n steps from seed, found by composing the
// step with itself: record n can be made without making those before it.
uint32_t LcgAt(uint32_t seed, uint32_t n) {
  uint32_t multiplier = 1664525u, increment = 1013904223u;  // one step
  uint32_t a = 1, c = 0;                                     // n steps so far
  for (; n > 0; n >>= 1) {
    if (n & 1) {
      a *= multiplier;
      c = c * multiplier + increment;
    }
    increment = increment * multiplier + increment;
    multiplier *= multiplier;
  }
  return a * seed + c;
}

// A repeatable pseudo-random permutation of 0..count-1 that needs no table:
// a four-round Feistel network over the smallest even power of two that
// holds count, walking the cycle until the value falls inside.
class Scramble {
 public:
  explicit Scramble(uint32_t count) : count_(count) {
    while ((uint64_t{1} << (2 * halfBits_)) < count) ++halfBits_;
    mask_ = (1u << halfBits_) - 1;
  }
  uint32_t operator()(uint32_t value) const {
    do value = Round(value);
    while (value >= count_);
    return value;
  }

 private:
  uint32_t Round(uint32_t value) const {
    uint32_t left = value >> halfBits_, right = value & mask_;
    for (uint32_t key : {0x9E3779B9u, 0x7F4A7C15u, 0x85EBCA6Bu, 0xC2B2AE35u}) {
      uint32_t mix = (right ^ key) * 0x27D4EB2Fu;
      mix ^= mix >> 15;
      const uint32_t next = left ^ (mix & mask_);
      left = right;
      right = next;
    }
    return (left << halfBits_) | right;
  }
  uint32_t count_;
  int halfBits_ = 1;
  uint32_t mask_ = 1;
};

// Writes the risks records 0..records-1, in that order or scrambled; record
// n is the same in both files.
void WriteRisks(const std::string& path, const std::vector<DbfFieldSpec>& specs, int records, bool scrambled) {
  testing::DbfStreamWriter out(path, specs);
  const Scramble scramble(static_cast<uint32_t>(records));
  uint32_t seed = 12345;
  char date[16], amount[32];
  for (int i = 0; i < records; ++i) {
    const int n = scrambled ? static_cast<int>(scramble(static_cast<uint32_t>(i))) : i;
    const uint32_t r = scrambled ? LcgAt(12345, static_cast<uint32_t>(n) + 1) : (seed = seed * 1664525u + 1013904223u);
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
  rules.push_back({"SINISTROS", "APOLICE", "", "1", "20", "0", "1", "0", "0", "2"});
  rules.push_back({"SINISTROS", "ITEM", "", "1", "6", "0", "1", "0", "0", "3"});
  rules.push_back({"SINISTROS", "COD_MOD", "", "3", "0", "0", "1", "0", "0", "4"});
  rules.push_back({"SINISTROS", "D_AVISO", "", "1", "8", "0", "1", "0", "0", "5"});
  rules.push_back({"SINISTROS", "INDENIZ", "", "6", "0", "0", "1", "0", "0", "6"});
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

  WriteRisks(dir.File("riscos.dbf"), specs, records, false);
  WriteRisks(dir.File("riscos_embaralhado.dbf"), specs, records, true);
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

void Measure(int records, bool withIndex) {
  testing::TempDir dir;
  std::printf("Generating %d records...\n", records);
  WriteFiles(dir, records);
  const std::string file = dir.File("riscos.dbf");
  const std::string cat = "cat '" + file + "' > /dev/null";
  const double catTime = Best(5, [&] {
    if (std::system(cat.c_str()) != 0) std::abort();
  });

  testing::FakeHost host;
  host.folder = dir.Path();
  host.risk = file;
  ValidationRun run(host);
  const double runTime = Best(3, [&] { run.Execute(); });
  std::printf("records: %d (%d counted)\n", records, run.State().riskCount);
  std::printf("cat to /dev/null:   %8.3f s\n", catTime);
  std::printf("validation run:     %8.3f s  (%.0f records/s)\n", runTime, records / runTime);
  std::printf("run / cat ratio:    %8.1f\n", runTime / catTime);
  std::printf("peak memory after the record checks: %8ld KiB\n", PeakKiB());
  if (!withIndex) {
    std::printf("\n");
    return;
  }

  // The claims-without-policy test's work: build the index, search it;
  // over the risks file in key order and over the same records scrambled.
  const int claims = records * 3 / 10;
  WriteClaims(dir, records, claims);
  for (const bool scrambled : {false, true}) {
    const std::string risks = scrambled ? dir.File("riscos_embaralhado.dbf") : file;
    int64_t misses = 0;
    double buildTime = 0;
    const double indexTime = Best(3, [&] {
      DbfTable risksTable("tbRiscos", host.settings), claimsTable("tbSinistros", host.settings);
      risksTable.SetDeleted(true);
      claimsTable.SetDeleted(true);
      risksTable.SetDBFFileName(risks);
      claimsTable.SetDBFFileName(dir.File("sinistros.dbf"));
      risksTable.Open();
      claimsTable.Open();
      buildTime = Seconds([&] {
        NtxIndex& index = risksTable.Indexes().Add("apolice");
        index.SetKeyExpresion("apolice+item");
        index.SetNTXFileName(dir.File("apolice.ntx"));
        index.SetCreateNow(true);
      });
      misses = 0;
      for (; !claimsTable.AtEnd(); claimsTable.Next()) {
        const Variant key = Add(claimsTable.FieldValue("apolice"), claimsTable.FieldValue("item"), host.settings);
        if (!risksTable.FindKey({key})) ++misses;
      }
      risksTable.Indexes().Delete(0);
      risksTable.DBFIndexDefs().Delete(0);
    });
    std::printf("%s risks file:\n", scrambled ? "scrambled" : "key-ordered");
    std::printf("  index build + %d searches: %8.3f s  (build %.3f s, %lld misses)\n", claims, indexTime, buildTime,
                static_cast<long long>(misses));
    std::printf("  index / record checks:    %8.2f\n", indexTime / runTime);
  }
  std::printf("peak memory after the index: %8ld KiB\n", PeakKiB());

  host.claim = dir.File("sinistros.dbf");
  const double bothTime = Seconds([&] { run.Execute(); });
  std::string sentence;
  for (const std::string& line : host.log.Lines())
    if (line.find(" sinistros sem ") != std::string::npos) sentence = line;
  std::printf("whole run, both files:    %8.3f s  (%s)\n", bothTime, Cp1252ToUtf8(sentence).c_str());
  std::printf("peak memory so far: %8ld KiB\n\n", PeakKiB());
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
  // A small file first, without the index: the peak memory after the
  // record checks of the large one shows whether memory grows with the
  // number of records.
  Measure(records / 10, false);
  Measure(records, true);
  return 0;
}
