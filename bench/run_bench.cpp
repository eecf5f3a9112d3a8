// The figures of bench/run: generates a risks file (200-byte records, 21
// fields, most of them with rules; about 2% bad values and 1% deleted
// records; in scrambled key order, as files are written in the order
// policies were sold) with a key-ordered copy, and a claims file of 30% as
// many records (5% of them without a policy item), kept in a folder
// outside the repository between runs. Then prints, measured in this one
// run: cat of the files (best of five), the record checks of the risks
// file on one thread and on every core, the index build and the searches
// of the claims-without-policy test over the scrambled and the key-ordered
// file, the whole tarvelo-cli run over both files with its peak memory,
// and pgdbf over the risks file when it is installed; each against the
// bars of the speed work.
//
//   run_bench [RECORDS] [--dir DIR] [--cli PATH] [--bad-every N]
//
// --bad-every N puts a bad value in one risks record in N (default 50,
// about 2%; 20 gives about 5%), in files of their own. The whole run is
// also timed with --detalhes, the detail listing of every failure.
//     RECORDS  risks records (default 1000000)
//     DIR      where the files are kept (default $TMPDIR or /tmp, then
//              tarvelo-bench-RECORDS)
//     PATH     the tarvelo-cli to time (default: beside this program)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "dbf/ntx_index.h"
#include "testing/catalogue_fixture.h"
#include "testing/dbf_writer.h"
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
    return BenchField{{name, 'C', width},
                      {"", name, depende, "1", std::to_string(width), dominio, nulo, data, data, "", zerosesq}};
  };
  const auto number = [](const char* name, int width, int decimals, const char* dominio, const char* nulo) {
    const bool integer = decimals == 0 && width <= 9;
    return BenchField{{name, 'N', width, decimals},
                      {"", name, "", integer ? "3" : "6", "0", dominio, nulo, "0", "0", ""}};
  };
  return {text("COD_SEG", 5, "0", "0", "0", "1"),
          text("APOLICE", 20, "0", "0", "0", "0"),
          text("ITEM", 6, "0", "0", "0", "1"),
          number("COD_MOD", 2, 0, "1", "0"),
          text("COD_CULT", 4, "1", "0", "0", "1", "COD_MOD"),
          text("INICIO_VIG", 8, "0", "0", "1", "1"),
          text("FIM_VIG", 8, "0", "0", "1", "1"),
          text("UF", 2, "1", "0", "0", "0"),
          text("MUNICIPIO", 7, "0", "0", "0", "1"),
          text("CPF_CNPJ", 14, "0", "0", "0", "0"),
          text("NOME", 40, "0", "0", "0", "0"),
          number("AREA", 10, 2, "0", "0"),
          number("IS", 14, 2, "0", "0"),
          number("PREMIO", 14, 2, "0", "0"),
          text("TIPO_PESS", 1, "1", "0", "0", "0"),
          text("SUBVENCAO", 1, "1", "0", "0", "0"),
          text("D_EMISSAO", 8, "0", "1", "1", "1"),
          text("LATITUDE", 10, "0", "1", "0", "0"),
          text("LONGITUDE", 10, "0", "1", "0", "0"),
          text("COBERTURA", 3, "1", "0", "0", "0"),
          number("PRODUTIV", 8, 2, "0", "1")};
}

const char* const kStates[] = {"SP", "PR", "RS", "MG", "GO", "MT", "MS", "BA", "SC"};
const char* const kCrops[] = {"0101", "0102", "0103", "0201", "0401"};
const char* const kModalities[] = {"61", "62", "64", "63"};

// A claims file whose records point at risks records (in the risks file's
// numbering, whatever its order): one in 20 names a policy that the risks
// file does not have.
void WriteClaims(const std::string& path, int riskRecords, int claimRecords) {
  testing::DbfStreamWriter out(path, {{"COD_SEG", 'C', 5},
                                      {"APOLICE", 'C', 20},
                                      {"ITEM", 'C', 6},
                                      {"COD_MOD", 'N', 2},
                                      {"D_AVISO", 'C', 8},
                                      {"INDENIZ", 'N', 14, 2}});
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
  uint32_t a = 1, c = 0;                                    // n steps so far
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
// n is the same in both files. One record in badEvery has one bad value (a
// state or crop outside the domain, an impossible date, an item of the wrong
// length); one in 100 is deleted.
void WriteRisks(const std::string& path, const std::vector<DbfFieldSpec>& specs, int records, bool scrambled,
                int badEvery) {
  testing::DbfStreamWriter out(path, specs);
  const Scramble scramble(static_cast<uint32_t>(records));
  char date[16], amount[32];
  for (int i = 0; i < records; ++i) {
    const int n = scrambled ? static_cast<int>(scramble(static_cast<uint32_t>(i))) : i;
    const uint32_t r = LcgAt(12345, static_cast<uint32_t>(n) + 1);
    std::snprintf(date, sizeof date, "20%02u%02u%02u", 22 + (r % 2), 1 + (r >> 3) % 12, 1 + (r >> 8) % 28);
    std::snprintf(amount, sizeof amount, "%u.%02u", (r >> 4) % 90000, r % 100);
    const int bad = n % badEvery == 0 ? 1 + (n / badEvery) % 4 : 0;
    const std::string item = (bad == 4 ? "" : "00000") + std::to_string(1 + n % 3);
    out.AddRecord({"05631",
                   "10" + std::to_string(4000000 + n / 3),
                   item,
                   kModalities[r % 4],
                   bad == 2 ? "9999" : kCrops[(r >> 5) % 5],
                   date,
                   bad == 3 ? "2023-01-01" : date,
                   bad == 1 ? "XX" : kStates[(r >> 7) % 9],
                   "3550308",
                   "12345678000190",
                   "PRODUTOR RURAL " + std::to_string(n % 1000),
                   "125.50",
                   amount,
                   amount,
                   (r % 2) ? "F" : "J",
                   "S",
                   date,
                   "-23.5505",
                   "-46.6333",
                   (r % 3) ? "BAS" : "REP",
                   "55.20"},
                  n % 100 == 37);
  }
  out.Finish();
}

// Writes the catalogue and the data files into folder, unless a stamp
// says that an earlier run left them there for this many records.
void WriteFiles(const std::string& folder, int records, int badEvery) {
  const std::string stamp = folder + "stamp";
  const std::string wanted =
      "tarvelo bench files 2, " + std::to_string(records) + " records, bad every " + std::to_string(badEvery);
  {
    std::ifstream in(stamp);
    std::string found;
    if (std::getline(in, found) && found == wanted) return;
  }
  std::printf("Generating the files in %s ...\n", folder.c_str());
  std::fflush(stdout);
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
  testing::WriteTabelas(folder + "tabelas.dbf", rules);

  std::vector<testing::DomainRow> domain;
  for (const char* m : kModalities) domain.push_back({"RISCOS", "COD_MOD", m, ""});
  for (const char* uf : kStates) domain.push_back({"RISCOS", "UF", uf, ""});
  for (const char* crop : kCrops)
    for (const char* m : kModalities) domain.push_back({"RISCOS", "COD_CULT", crop, m});
  for (const char* v : {"F", "J"}) domain.push_back({"RISCOS", "TIPO_PESS", v, ""});
  for (const char* v : {"S", "N"}) domain.push_back({"RISCOS", "SUBVENCAO", v, ""});
  for (const char* v : {"BAS", "REP", "FAT"}) domain.push_back({"RISCOS", "COBERTURA", v, ""});
  testing::WriteAnexos(folder + "anexos.dbf", domain);
  testing::WriteQdp(folder + "DadosQdp.DBF",
                    {{"05631", "SEGURADORA EXEMPLO S.A.", "1000000", "0", "250000", "0", "20220701", "20230630"}});

  WriteRisks(folder + "riscos.dbf", specs, records, true, badEvery);
  WriteRisks(folder + "riscos_ordenado.dbf", specs, records, false, badEvery);
  WriteClaims(folder + "sinistros.dbf", records, records * 3 / 10);
  std::ofstream(stamp) << wanted << "\n";
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

// Runs a program with its standard output to /dev/null; its wall time and
// peak memory (KiB). False when it could not run or failed.
bool RunProgram(const std::vector<std::string>& arguments, double& seconds, long& peakKiB) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const auto start = std::chrono::steady_clock::now();
  const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return false;
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return false;
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  peakKiB = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Best wall time of a program over times runs, and its highest peak memory.
bool BestRun(int times, const std::vector<std::string>& arguments, double& best, long& peakKiB) {
  best = 1e300;
  peakKiB = 0;
  for (int i = 0; i < times; ++i) {
    double seconds = 0;
    long peak = 0;
    if (!RunProgram(arguments, seconds, peak)) return false;
    best = std::min(best, seconds);
    peakKiB = std::max(peakKiB, peak);
  }
  return true;
}

double LoadAverage() {
  double load = -1;
  std::ifstream("/proc/loadavg") >> load;
  return load;
}

int64_t FileBytes(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

// The record checks of the risks file alone: a run without a claims file.
// Lines of a text file.
double LineCount(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return static_cast<double>(std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

double RecordChecks(testing::FakeHost& host, const std::string& risks, int threads, int32_t& counted) {
  host.risk = risks;
  host.claim.clear();
  host.threads = threads;
  ValidationRun run(host);
  const double best = Best(3, [&] { run.Execute(); });
  counted = run.State().riskCount;
  return best;
}

// The claims-without-policy test's work: the index build over the risks
// file and one search per claim, as the run makes them.
double IndexAndSearches(const testing::FakeHost& host, const std::string& risks, const std::string& claims,
                        const std::string& folder, double& buildTime, int64_t& misses) {
  return Best(3, [&] {
    DbfTable risksTable("tbRiscos", host.settings), claimsTable("tbSinistros", host.settings);
    risksTable.SetDeleted(true);
    claimsTable.SetDeleted(true);
    risksTable.SetDBFFileName(risks);
    claimsTable.SetDBFFileName(claims);
    risksTable.Open();
    claimsTable.Open();
    buildTime = Seconds([&] {
      NtxIndex& index = risksTable.Indexes().Add("apolice");
      index.SetKeyExpresion("apolice+item");
      index.SetNTXFileName(folder + "apolice.ntx");
      index.SetTemporary(true);
      index.SetThreads(host.Threads());
      index.SetCreateNow(true);
    });
    misses = CountClaimsWithoutPolicyItem(risksTable, claimsTable, host.settings, nullptr).misses;
    risksTable.Indexes().Delete(0);
    risksTable.DBFIndexDefs().Delete(0);
  });
}

void Row(const char* what, double seconds, double records, double cat) {
  std::printf("%-40s %8.3f s %12.0f rec/s %7.1f x cat\n", what, seconds, records / seconds, seconds / cat);
}

const char* Verdict(bool met) { return met ? "met" : "NOT MET"; }

}  // namespace

int main(int argc, char** argv) {
  int records = 1000000;
  std::string folder;
  std::string cli;
  int badEvery = 50;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--dir" && i + 1 < argc) {
      folder = argv[++i];
    } else if (argument == "--cli" && i + 1 < argc) {
      cli = argv[++i];
    } else if (argument == "--bad-every" && i + 1 < argc) {
      badEvery = std::max(1, std::atoi(argv[++i]));
    } else if (!argument.empty() && argument[0] != '-') {
      records = std::atoi(argument.c_str());
    } else {
      std::fprintf(stderr, "usage: run_bench [RECORDS] [--dir DIR] [--cli PATH] [--bad-every N]\n");
      return 2;
    }
  }
  if (records < 1000) records = 1000;
  if (folder.empty()) {
    const char* temporary = std::getenv("TMPDIR");
    folder = std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") + "/tarvelo-bench-" +
             std::to_string(records) + (badEvery == 50 ? "" : "-bad-" + std::to_string(badEvery));
  }
  if (folder.back() != '/') folder += '/';
  ::mkdir(folder.c_str(), 0755);
  if (cli.empty()) {
    std::string self = argv[0];
    const size_t slash = self.rfind('/');
    cli = (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "tarvelo-cli";
  }
  WriteFiles(folder, records, badEvery);
  const std::string risks = folder + "riscos.dbf";
  const std::string ordered = folder + "riscos_ordenado.dbf";
  const std::string claims = folder + "sinistros.dbf";
  const int claimRecords = records * 3 / 10;
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

  std::printf("Files in %s: %d risks (%.0f MB, scrambled key order), %d claims (%.0f MB)\n", folder.c_str(), records,
              FileBytes(risks) / 1e6, claimRecords, FileBytes(claims) / 1e6);
  std::printf("Machine: %d cores, load average %.2f at the start\n\n", cores, LoadAverage());

  double catRisks = 0, catBoth = 0, unused = 0;
  long peak = 0;
  catRisks = Best(5, [&] { RunProgram({"cat", risks}, unused, peak); });
  catBoth = Best(5, [&] { RunProgram({"cat", risks, claims}, unused, peak); });
  Row("cat risks file (best of 5)", catRisks, records, catRisks);
  Row("cat both files (best of 5)", catBoth, records + claimRecords, catRisks);

  testing::FakeHost host;
  host.folder = folder;
  int32_t counted = 0;
  const double checksOne = RecordChecks(host, risks, 1, counted);
  Row("record checks, risks, 1 thread", checksOne, counted, catRisks);
  const double checksAll = RecordChecks(host, risks, cores, counted);
  const std::string allLabel = "record checks, risks, " + std::to_string(cores) + " threads";
  Row(allLabel.c_str(), checksAll, counted, catRisks);

  double buildScrambled = 0, buildOrdered = 0;
  int64_t misses = 0;
  const double indexScrambled = IndexAndSearches(host, risks, claims, folder, buildScrambled, misses);
  const std::string searches = std::to_string(claimRecords) + " searches";
  Row(("index build + " + searches + ", scrambled").c_str(), indexScrambled, records + claimRecords, catRisks);
  const double indexOrdered = IndexAndSearches(host, ordered, claims, folder, buildOrdered, misses);
  Row(("index build + " + searches + ", key order").c_str(), indexOrdered, records + claimRecords, catRisks);
  std::printf("  (builds %.3f s scrambled, %.3f s in key order; %lld claims without a policy item)\n", buildScrambled,
              buildOrdered, static_cast<long long>(misses));

  double whole = 0;
  long wholePeak = 0;
  const bool ran = BestRun(3, {cli, "--riscos", risks, "--sinistros", claims, "--catalogo", folder}, whole, wholePeak);
  if (ran) {
    Row("tarvelo-cli, both files (best of 3)", whole, records + claimRecords, catBoth);
    std::printf("  (ratio to cat of both files; peak memory %.1f MiB)\n", wholePeak / 1024.0);
  } else {
    std::printf("tarvelo-cli (%s) did not run\n", cli.c_str());
  }
  double detailed = 0;
  long detailedPeak = 0;
  const std::string listing = folder + "detalhes.csv";
  const bool ranDetailed =
      ran && BestRun(3, {cli, "--riscos", risks, "--sinistros", claims, "--catalogo", folder, "--detalhes", listing},
                     detailed, detailedPeak);
  if (ranDetailed) {
    Row("tarvelo-cli --detalhes, both files (best of 3)", detailed, records + claimRecords, catBoth);
    std::printf("  (%.2f x the run without it; %.0f listing rows; peak memory %.1f MiB)\n", detailed / whole,
                LineCount(listing) - 1, detailedPeak / 1024.0);
  }
  double pgdbf = 0;
  long pgdbfPeak = 0;
  if (BestRun(3, {"pgdbf", risks}, pgdbf, pgdbfPeak)) {
    Row("pgdbf, risks file (best of 3)", pgdbf, records, catRisks);
  } else {
    std::printf("pgdbf: not installed (apt-get install pgdbf), not measured\n");
  }

  std::printf("\nBars\n");
  std::printf("  index + searches <= 1/2 of 1-thread checks: scrambled %.2f, key order %.2f: %s\n",
              indexScrambled / checksOne, indexOrdered / checksOne,
              Verdict(indexScrambled <= checksOne / 2 && indexOrdered <= checksOne / 2));
  std::printf("  checks on %d threads >= 1.7 x as fast as on 1: %.2f x: %s\n", cores, checksOne / checksAll,
              cores < 2 ? "not measured (one core)" : Verdict(checksOne / checksAll >= 1.7));
  if (ran) {
    std::printf("  whole run <= 30 x cat of both files: %.1f x: %s\n", whole / catBoth, Verdict(whole <= 30 * catBoth));
    std::printf("  peak memory < 64 MiB: %.1f MiB: %s\n", wholePeak / 1024.0, Verdict(wholePeak < 64 * 1024));
  }
  if (ranDetailed) {
    std::printf("  run with --detalhes <= 2 x without: %.2f x: %s\n", detailed / whole, Verdict(detailed <= 2 * whole));
  }
  std::printf("Load average at the end: %.2f\n", LoadAverage());
  return 0;
}
