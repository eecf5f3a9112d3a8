// The figures of bench/run. For each size asked for, generates a risks
// file (200-byte records, 21 fields, most of them with rules; about 2% bad
// values and 1% deleted records; in scrambled key order, as files are
// written in the order policies were sold) with a key-ordered copy, and a
// claims file of 30% as many records (5% of them without a policy item),
// kept in a folder outside the repository between runs. Then prints,
// measured in this one run, each step's wall time and CPU time (user and
// system, every thread): cat of the files (best of five), the record
// checks of the risks file on one thread and on several, the index build
// and the searches of the claims-without-policy test over the scrambled
// and the key-ordered file, the whole tarvelo-cli run over both files with
// its peak memory (with and without --detalhes), and pgdbf over the risks
// file when it is installed. With another tarvelo-cli to compare with,
// both run on the same files in turn, and their reports and listings are
// compared. Then the cost per record of every size side by side, the bars
// with their verdicts, and the load average at the start and at the end.
//
//   run_bench [RECORDS] [--records N,N...] [--big] [--threads N] [--dir DIR]
//             [--cli PATH] [--against-cli PATH --against-name NAME]
//             [--bad-every N]
//
//     RECORDS, --records  the sizes, in risks records (default 1000000 and
//                         4000000); --big adds 10000000
//     --threads N         threads of the record checks and the index build
//                         besides one (default: the machine's cores)
//     DIR                 where the files are kept, in a folder per size
//                         tarvelo-bench-RECORDS (default $TMPDIR or /tmp)
//     --cli PATH          the tarvelo-cli to time (default: beside this
//                         program)
//     --against-cli PATH  another tarvelo-cli to compare with, named NAME
//     --bad-every N       a bad value in one risks record in N (default 50,
//                         about 2%; 20 gives about 5%), in files of their own
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
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ntx/ntx_index.h"
#include "testing/catalogue_fixture.h"
#include "testing/dbf_writer.h"
#include "validation/claims_without_policy.h"
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

// Wall and CPU time (user and system, every thread or the child's) of one
// or more runs of a step, with the child's peak memory.
struct Measure {
  double wall = 0;
  double cpu = 0;
  long peakKiB = 0;
  bool ok = false;
};

double CpuSeconds(const rusage& usage) {
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The work's wall time and the CPU time this process spent meanwhile.
Measure Timed(const std::function<void()>& work) {
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  const auto start = std::chrono::steady_clock::now();
  work();
  Measure measure;
  measure.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  getrusage(RUSAGE_SELF, &after);
  measure.cpu = CpuSeconds(after) - CpuSeconds(before);
  measure.ok = true;
  return measure;
}

// The least wall and the least CPU time of several measures (on a busy
// machine each is the one least disturbed), the highest peak memory.
void KeepBest(Measure& best, const Measure& next) {
  if (!next.ok) return;
  if (!best.ok) {
    best = next;
    return;
  }
  best.wall = std::min(best.wall, next.wall);
  best.cpu = std::min(best.cpu, next.cpu);
  best.peakKiB = std::max(best.peakKiB, next.peakKiB);
}

Measure Best(int times, const std::function<void()>& work) {
  Measure best;
  for (int i = 0; i < times; ++i) KeepBest(best, Timed(work));
  return best;
}

// Runs a program with its standard output to output: its wall and CPU time
// and peak memory; not ok when it could not run or failed.
Measure SpawnAndWait(const std::vector<std::string>& arguments, const std::string& output) {
  Measure measure;
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child = 0;
  const auto start = std::chrono::steady_clock::now();
  const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return measure;
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return measure;
  measure.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  measure.cpu = CpuSeconds(usage);
  measure.peakKiB = usage.ru_maxrss;
  measure.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return measure;
}

// Starts the programs measured from a small process of its own, made when
// this one starts: the system counts in a program's peak memory the memory
// of the process that started it (whose pages the program shares until it
// replaces them), and this process grows while it measures the steps it
// runs itself.
class Launcher {
 public:
  Launcher() {
    int requests[2], answers[2];
    if (::pipe(requests) != 0 || ::pipe(answers) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(requests[1]);
      ::close(answers[0]);
      Serve(requests[0], answers[1]);
      ::_exit(0);
    }
    ::close(requests[0]);
    ::close(answers[1]);
    requests_ = requests[1];
    answers_ = answers[0];
  }
  ~Launcher() {
    if (requests_ < 0) return;
    ::close(requests_);
    ::close(answers_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  Launcher(const Launcher&) = delete;
  Launcher& operator=(const Launcher&) = delete;

  Measure Run(const std::vector<std::string>& arguments, const std::string& output) {
    if (requests_ < 0) return SpawnAndWait(arguments, output);
    std::string request = output;
    for (const std::string& argument : arguments) request += '\0' + argument;
    const uint32_t length = static_cast<uint32_t>(request.size());
    Measure measure;
    if (!WriteAll(requests_, &length, sizeof length) || !WriteAll(requests_, request.data(), length) ||
        !ReadAll(answers_, &measure, sizeof measure))
      return Measure{};
    return measure;
  }

 private:
  static bool WriteAll(int file, const void* data, size_t count) {
    const char* from = static_cast<const char*>(data);
    while (count > 0) {
      const ssize_t written = ::write(file, from, count);
      if (written <= 0) return false;
      from += written;
      count -= static_cast<size_t>(written);
    }
    return true;
  }
  static bool ReadAll(int file, void* data, size_t count) {
    char* into = static_cast<char*>(data);
    while (count > 0) {
      const ssize_t got = ::read(file, into, count);
      if (got <= 0) return false;
      into += got;
      count -= static_cast<size_t>(got);
    }
    return true;
  }
  // Runs each request (the output path, then the arguments, separated by
  // NUL bytes) and answers with its measure, until the requests end.
  static void Serve(int requests, int answers) {
    uint32_t length = 0;
    while (ReadAll(requests, &length, sizeof length)) {
      std::string request(length, '\0');
      if (!ReadAll(requests, request.data(), length)) return;
      std::vector<std::string> parts;
      size_t start = 0;
      while (true) {
        const size_t end = std::min(request.find('\0', start), request.size());
        parts.push_back(request.substr(start, end - start));
        if (end == request.size()) break;
        start = end + 1;
      }
      const std::vector<std::string> arguments(parts.begin() + 1, parts.end());
      const Measure measure = SpawnAndWait(arguments, parts[0]);
      if (!WriteAll(answers, &measure, sizeof measure)) return;
    }
  }

  pid_t pid_ = -1;
  int requests_ = -1;
  int answers_ = -1;
};

Launcher* launcher = nullptr;

// Runs a program as SpawnAndWait does, through the launcher.
Measure RunProgram(const std::vector<std::string>& arguments, const std::string& output = "/dev/null") {
  return launcher != nullptr ? launcher->Run(arguments, output) : SpawnAndWait(arguments, output);
}

Measure BestRun(int times, const std::vector<std::string>& arguments) {
  Measure best;
  for (int i = 0; i < times; ++i) {
    const Measure next = RunProgram(arguments);
    if (!next.ok) return next;
    KeepBest(best, next);
  }
  return best;
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

// Lines of a text file.
double LineCount(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return static_cast<double>(std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

// The report a run printed, without the two lines that tell the time.
std::string ReportWithoutTimes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string kept, line;
  while (std::getline(in, line))
    if (line.find("cio do processamento: ") == std::string::npos && line.rfind("Fim do processamento: ", 0) != 0)
      kept += line + "\n";
  return kept;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The record checks of the risks file alone: a run without a claims file.
Measure RecordChecks(testing::RunSetup& setup, const std::string& risks, int threads, int32_t& counted) {
  setup.risk = risks;
  setup.claim.clear();
  setup.threads = threads;
  ValidationRun run = setup.NewRun();
  const Measure best = Best(3, [&] { run.Execute(); });
  counted = run.State().riskCount;
  return best;
}

// The claims-without-policy test's work: the index build over the risks
// file and the search of every claim, as the run makes them.
Measure IndexAndSearches(const testing::RunSetup& setup, const std::string& risks, const std::string& claims,
                         const std::string& folder, Measure& build, ClaimsSearchResult& found) {
  return Best(3, [&] {
    DbfTable risksTable("tbRiscos", setup.settings), claimsTable("tbSinistros", setup.settings);
    risksTable.SetDeleted(true);
    claimsTable.SetDeleted(true);
    risksTable.SetDBFFileName(risks);
    claimsTable.SetDBFFileName(claims);
    risksTable.Open();
    claimsTable.Open();
    std::unique_ptr<NtxIndex> index;
    KeepBest(build,
             Timed([&] { index = BuildPolicyIndex(risksTable, folder + "apolice.ntx", setup.Inputs().threads); }));
    found = CountClaimsWithoutPolicyItem(*index, claimsTable, setup.settings, nullptr);
    index->CloseFile();
    index.reset();
  });
}

std::string Thousands(int64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

void Row(const std::string& what, const Measure& m, double records, double cat, const char* catName = "cat") {
  std::printf("%-46s %8.3f s %8.3f s %12.0f %7.1f x %s\n", what.c_str(), m.wall, m.cpu, records / m.wall, m.wall / cat,
              catName);
}

const char* Verdict(bool met) { return met ? "met" : "NOT MET"; }

// What one size measured.
struct SizeResult {
  int records = 0;
  int claims = 0;
  double loadBefore = 0, loadAfter = 0;
  Measure catRisks, catBoth, checksOne, checksMany, indexScrambled, indexOrdered, whole, detailed;
  int64_t listingRows = 0;
  // With --against: the same runs of both programs, alternating.
  bool against = false;
  Measure refWhole, curWhole, refRisks, curRisks;
  bool sameReport = false, sameListing = false;
};

struct Options {
  std::vector<int> sizes;
  std::string base;  // folder of the size folders, ending in "/"
  std::string cli;
  std::string againstCli;
  std::string againstName;
  int badEvery = 50;
  int threads = 0;
};

SizeResult MeasureSize(const Options& options, int records, int threads) {
  SizeResult result;
  result.records = records;
  result.claims = records * 3 / 10;
  const std::string folder = options.base + "tarvelo-bench-" + std::to_string(records) +
                             (options.badEvery == 50 ? "" : "-bad-" + std::to_string(options.badEvery)) + "/";
  ::mkdir(folder.c_str(), 0755);
  WriteFiles(folder, records, options.badEvery);
  const std::string risks = folder + "riscos.dbf";
  const std::string ordered = folder + "riscos_ordenado.dbf";
  const std::string claims = folder + "sinistros.dbf";
  const double both = records + result.claims;

  std::printf("\n%s risks (%.0f MB, scrambled key order) and %s claims (%.0f MB) in %s\n", Thousands(records).c_str(),
              FileBytes(risks) / 1e6, Thousands(result.claims).c_str(), FileBytes(claims) / 1e6, folder.c_str());
  result.loadBefore = LoadAverage();
  std::printf("Load average %.2f before\n", result.loadBefore);
  std::printf("%-46s %10s %10s %12s %9s\n", "", "wall", "CPU", "records/s", "");
  std::fflush(stdout);

  for (int i = 0; i < 5; ++i) KeepBest(result.catRisks, RunProgram({"cat", risks}));
  for (int i = 0; i < 5; ++i) KeepBest(result.catBoth, RunProgram({"cat", risks, claims}));
  const double cat = result.catRisks.wall;
  Row("cat risks file (best of 5)", result.catRisks, records, cat);
  Row("cat both files (best of 5)", result.catBoth, both, cat);

  testing::RunSetup setup;
  setup.folder = folder;
  int32_t counted = 0;
  result.checksOne = RecordChecks(setup, risks, 1, counted);
  Row("record checks, risks, 1 thread", result.checksOne, counted, cat);
  result.checksMany = RecordChecks(setup, risks, threads, counted);
  Row("record checks, risks, " + std::to_string(threads) + " threads", result.checksMany, counted, cat);
  std::fflush(stdout);

  setup.threads = threads;
  Measure buildScrambled, buildOrdered;
  ClaimsSearchResult found;
  result.indexScrambled = IndexAndSearches(setup, risks, claims, folder, buildScrambled, found);
  const std::string searches = Thousands(result.claims) + " claims searched";
  Row("index + " + searches + ", scrambled", result.indexScrambled, both, cat);
  result.indexOrdered = IndexAndSearches(setup, ordered, claims, folder, buildOrdered, found);
  Row("index + " + searches + ", key order", result.indexOrdered, both, cat);
  std::printf(
      "  (builds %.3f s / %.3f s CPU scrambled, %.3f s / %.3f s in key order; %lld claims without a policy "
      "item; claims' keys sorted in %zu runs on file)\n",
      buildScrambled.wall, buildScrambled.cpu, buildOrdered.wall, buildOrdered.cpu,
      static_cast<long long>(found.misses), found.runsOnFile);
  std::fflush(stdout);

  const std::vector<std::string> wholeRun = {options.cli, "--riscos",   risks, "--sinistros",
                                             claims,      "--catalogo", folder};
  result.whole = BestRun(3, wholeRun);
  if (result.whole.ok) {
    Row("tarvelo-cli, both files (best of 3)", result.whole, both, result.catBoth.wall, "cat of both");
    std::printf("  (peak memory %.1f MiB)\n", result.whole.peakKiB / 1024.0);
    const std::string listing = folder + "detalhes.csv";
    std::vector<std::string> detailedRun = wholeRun;
    detailedRun.insert(detailedRun.end(), {"--detalhes", listing});
    result.detailed = BestRun(3, detailedRun);
    if (result.detailed.ok) {
      result.listingRows = static_cast<int64_t>(LineCount(listing)) - 1;
      Row("tarvelo-cli --detalhes, both files (best of 3)", result.detailed, both, result.catBoth.wall, "cat of both");
      std::printf("  (%.2f x the run without it by wall, %.2f x by CPU; %s listing rows; peak memory %.1f MiB)\n",
                  result.detailed.wall / result.whole.wall, result.detailed.cpu / result.whole.cpu,
                  Thousands(result.listingRows).c_str(), result.detailed.peakKiB / 1024.0);
    }
  } else {
    std::printf("tarvelo-cli (%s) did not run\n", options.cli.c_str());
  }
  const Measure pgdbf = BestRun(3, {"pgdbf", risks});
  if (pgdbf.ok) {
    Row("pgdbf, risks file (best of 3)", pgdbf, records, cat);
  } else {
    std::printf("pgdbf: not installed (apt-get install pgdbf), not measured\n");
  }
  std::fflush(stdout);

  if (!options.againstCli.empty() && result.whole.ok) {
    // Both programs on the same files, one run of each in turn, so that a
    // change in the machine's load falls on both alike.
    result.against = true;
    const std::vector<std::string> risksRun = {"--riscos", risks, "--catalogo", folder};
    const auto with = [](const std::string& program, std::vector<std::string> arguments) {
      arguments.insert(arguments.begin(), program);
      return arguments;
    };
    const std::vector<std::string> wholeArguments(wholeRun.begin() + 1, wholeRun.end());
    const std::string refOut = folder + "report-against.txt", curOut = folder + "report-current.txt";
    for (int i = 0; i < 3; ++i) {
      KeepBest(result.refWhole, RunProgram(with(options.againstCli, wholeArguments), refOut));
      KeepBest(result.curWhole, RunProgram(with(options.cli, wholeArguments), curOut));
      KeepBest(result.refRisks, RunProgram(with(options.againstCli, risksRun)));
      KeepBest(result.curRisks, RunProgram(with(options.cli, risksRun)));
    }
    result.sameReport = result.refWhole.ok && result.curWhole.ok &&
                        ReportWithoutTimes(refOut) == ReportWithoutTimes(curOut) && !FileText(curOut).empty();
    const std::string refListing = folder + "detalhes-against.csv", curListing = folder + "detalhes-current.csv";
    std::vector<std::string> refDetailed = with(options.againstCli, wholeArguments),
                             curDetailed = with(options.cli, wholeArguments);
    refDetailed.insert(refDetailed.end(), {"--detalhes", refListing});
    curDetailed.insert(curDetailed.end(), {"--detalhes", curListing});
    result.sameListing = RunProgram(refDetailed).ok && RunProgram(curDetailed).ok &&
                         FileText(refListing) == FileText(curListing) && !FileText(curListing).empty();
    std::printf("Against %s, 3 runs of each in turn (best of each):\n", options.againstName.c_str());
    const auto compare = [&](const char* what, const Measure& ref, const Measure& cur) {
      std::printf("  %-30s %8.3f s wall %8.3f s CPU, now %8.3f s wall %8.3f s CPU: x %.2f wall, x %.2f CPU\n", what,
                  ref.wall, ref.cpu, cur.wall, cur.cpu, cur.wall / ref.wall, cur.cpu / ref.cpu);
    };
    compare("whole run, both files", result.refWhole, result.curWhole);
    compare("risks file alone (checks)", result.refRisks, result.curRisks);
    std::printf("  peak memory %.1f MiB, now %.1f MiB; report %s, detail listing %s\n",
                result.refWhole.peakKiB / 1024.0, result.curWhole.peakKiB / 1024.0,
                result.sameReport ? "identical" : "DIFFERENT", result.sameListing ? "identical" : "DIFFERENT");
  }
  result.loadAfter = LoadAverage();
  std::printf("Load average %.2f after\n", result.loadAfter);
  std::fflush(stdout);
  return result;
}

// Nanoseconds per record, by wall or CPU time.
double PerRecord(double seconds, double records) { return seconds * 1e9 / records; }

void SideBySide(const std::vector<SizeResult>& results, int threads) {
  if (results.size() < 2) return;
  std::printf("\nCost per record in ns, wall / CPU, and the CPU cost's ratio to that of %s records\n",
              Thousands(results[0].records).c_str());
  std::printf("%-34s", "");
  for (const SizeResult& r : results) std::printf(" %26s", Thousands(r.records).c_str());
  std::printf("\n");
  const auto line = [&](const std::string& what, auto measure, auto records) {
    std::printf("%-34s", what.c_str());
    const double first = PerRecord(measure(results[0]).cpu, records(results[0]));
    for (const SizeResult& r : results) {
      const Measure& m = measure(r);
      if (!m.ok) {
        std::printf(" %26s", "-");
        continue;
      }
      char cell[64];
      const double cpu = PerRecord(m.cpu, records(r));
      std::snprintf(cell, sizeof cell, "%.0f / %.0f (%.2f)", PerRecord(m.wall, records(r)), cpu, cpu / first);
      std::printf(" %26s", cell);
    }
    std::printf("\n");
  };
  const auto risks = [](const SizeResult& r) { return static_cast<double>(r.records); };
  const auto all = [](const SizeResult& r) { return static_cast<double>(r.records + r.claims); };
  line(
      "record checks, 1 thread", [](const SizeResult& r) -> const Measure& { return r.checksOne; }, risks);
  line(
      "record checks, " + std::to_string(threads) + " threads",
      [](const SizeResult& r) -> const Measure& { return r.checksMany; }, risks);
  line(
      "index + searches, scrambled", [](const SizeResult& r) -> const Measure& { return r.indexScrambled; }, all);
  line(
      "index + searches, key order", [](const SizeResult& r) -> const Measure& { return r.indexOrdered; }, all);
  line(
      "whole run", [](const SizeResult& r) -> const Measure& { return r.whole; }, all);
  line(
      "whole run --detalhes", [](const SizeResult& r) -> const Measure& { return r.detailed; }, all);
  std::printf("%-34s", "peak memory of the whole run");
  for (const SizeResult& r : results) {
    char cell[32];
    std::snprintf(cell, sizeof cell, "%.1f MiB", r.whole.peakKiB / 1024.0);
    std::printf(" %26s", cell);
  }
  std::printf("\n");
}

void Bars(const Options& options, const std::vector<SizeResult>& results, int threads) {
  std::printf("\nBars (CPU time, which a busy machine disturbs least)\n");
  const SizeResult* million = nullptr;
  for (const SizeResult& r : results)
    if (r.records == 1000000) million = &r;
  if (million == nullptr) {
    std::printf("  (no run of 1,000,000 records: the bars that need one are not measured)\n");
  } else if (!million->against) {
    std::printf(
        "  whole run and one-thread checks against the revision before: not measured (bench/run --against "
        "REF)\n");
  } else {
    const double whole = million->curWhole.cpu / million->refWhole.cpu;
    std::printf("  whole run, 1,000,000 risks, CPU <= 1/2 of %s: x %.2f: %s; report and listing byte-identical: %s\n",
                options.againstName.c_str(), whole, Verdict(whole <= 0.5),
                Verdict(million->sameReport && million->sameListing));
    const double checks = million->refRisks.cpu / million->curRisks.cpu;
    std::printf("  record checks (risks file alone) >= 2 x as fast as %s by CPU: %.2f x: %s\n",
                options.againstName.c_str(), checks, Verdict(checks >= 2));
  }
  for (const auto& [records, bar] : {std::pair<int, double>{4000000, 1.25}, {10000000, 1.4}}) {
    const SizeResult* sized = nullptr;
    for (const SizeResult& r : results)
      if (r.records == records) sized = &r;
    if (million == nullptr || sized == nullptr || !million->whole.ok || !sized->whole.ok) {
      std::printf("  whole run per record at %s <= %.2f x at 1,000,000: not measured%s\n", Thousands(records).c_str(),
                  bar, records == 10000000 ? " (bench/run --big)" : "");
      continue;
    }
    const double ratio = PerRecord(sized->whole.cpu, sized->records + sized->claims) /
                         PerRecord(million->whole.cpu, million->records + million->claims);
    const double wallRatio = PerRecord(sized->whole.wall, sized->records + sized->claims) /
                             PerRecord(million->whole.wall, million->records + million->claims);
    std::printf("  whole run per record at %s <= %.2f x at 1,000,000: x %.2f by CPU (x %.2f by wall): %s\n",
                Thousands(records).c_str(), bar, ratio, wallRatio, Verdict(ratio <= bar));
  }
  bool memoryMet = true;
  std::string memory;
  for (const SizeResult& r : results) {
    memoryMet =
        memoryMet && r.whole.ok && r.detailed.ok && r.whole.peakKiB < 64 * 1024 && r.detailed.peakKiB < 64 * 1024;
    char cell[96];
    std::snprintf(cell, sizeof cell, "%s%s: %.1f MiB", memory.empty() ? "" : ", ", Thousands(r.records).c_str(),
                  std::max(r.whole.peakKiB, r.detailed.peakKiB) / 1024.0);
    memory += cell;
  }
  std::printf("  peak memory < 64 MiB at every size (with --detalhes too): %s: %s\n", memory.c_str(),
              Verdict(memoryMet));

  // The bars of the earlier speed work, at the first size, by wall time.
  const SizeResult& first = results[0];
  std::printf("Earlier bars, at %s records, by wall time\n", Thousands(first.records).c_str());
  // Once a bar ("<= 1/2"); the checks have since become three times cheaper
  // than the index and its searches were measured against, so the ratio is
  // shown for the record, with the key order's search beside the file's.
  std::printf("  index + searches against 1-thread checks (no bar): scrambled %.2f, key order %.2f\n",
              first.indexScrambled.wall / first.checksOne.wall, first.indexOrdered.wall / first.checksOne.wall);
  std::printf("  checks on %d threads >= 1.7 x as fast as on 1: %.2f x: %s\n", threads,
              first.checksOne.wall / first.checksMany.wall,
              threads < 2 ? "not measured (one thread)" : Verdict(first.checksOne.wall / first.checksMany.wall >= 1.7));
  if (first.whole.ok) {
    std::printf("  whole run <= 30 x cat of both files: %.1f x: %s\n", first.whole.wall / first.catBoth.wall,
                Verdict(first.whole.wall <= 30 * first.catBoth.wall));
  }
  if (first.detailed.ok) {
    std::printf("  run with --detalhes <= 2 x without: %.2f x: %s\n", first.detailed.wall / first.whole.wall,
                Verdict(first.detailed.wall <= 2 * first.whole.wall));
  }
}

// A list of record counts: "1000000,4000000".
bool ParseSizes(const std::string& text, std::vector<int>& sizes) {
  sizes.clear();
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const int records = std::atoi(text.substr(start, comma - start).c_str());
    if (records < 1000) return false;
    sizes.push_back(records);
    start = comma + 1;
  }
  return !sizes.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Launcher programs;  // first, while this process is small
  launcher = &programs;
  Options options;
  bool big = false;
  const char* usage =
      "usage: run_bench [RECORDS] [--records N,N...] [--big] [--threads N] [--dir DIR] [--cli PATH]\n"
      "                 [--against-cli PATH --against-name NAME] [--bad-every N]\n";
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool valued = i + 1 < argc;
    if (argument == "--dir" && valued) {
      options.base = argv[++i];
    } else if (argument == "--cli" && valued) {
      options.cli = argv[++i];
    } else if (argument == "--against-cli" && valued) {
      options.againstCli = argv[++i];
    } else if (argument == "--against-name" && valued) {
      options.againstName = argv[++i];
    } else if (argument == "--bad-every" && valued) {
      options.badEvery = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--threads" && valued) {
      options.threads = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--records" && valued) {
      if (!ParseSizes(argv[++i], options.sizes)) {
        std::fprintf(stderr, "run_bench: --records takes counts of 1000 or more, separated by commas\n%s", usage);
        return 2;
      }
    } else if (argument == "--big") {
      big = true;
    } else if (!argument.empty() && argument[0] != '-') {
      options.sizes = {std::max(1000, std::atoi(argument.c_str()))};
    } else {
      std::fprintf(stderr, "%s", usage);
      return 2;
    }
  }
  if (options.sizes.empty()) options.sizes = {1000000, 4000000};
  if (big && std::find(options.sizes.begin(), options.sizes.end(), 10000000) == options.sizes.end())
    options.sizes.push_back(10000000);
  if (options.base.empty()) {
    const char* temporary = std::getenv("TMPDIR");
    options.base = temporary != nullptr && *temporary != '\0' ? temporary : "/tmp";
  }
  if (options.base.back() != '/') options.base += '/';
  ::mkdir(options.base.c_str(), 0755);
  if (options.cli.empty()) {
    std::string self = argv[0];
    const size_t slash = self.rfind('/');
    options.cli = (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "tarvelo-cli";
  }
  if (options.againstName.empty()) options.againstName = options.againstCli;
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int threads = options.threads > 0 ? options.threads : cores;

  const double loadBefore = LoadAverage();
  std::printf("Machine: %d cores; the steps run on %d threads; load average %.2f at the start\n", cores, threads,
              loadBefore);
  std::vector<SizeResult> results;
  for (const int records : options.sizes) results.push_back(MeasureSize(options, records, threads));
  SideBySide(results, threads);
  Bars(options, results, threads);
  std::printf("Load average %.2f at the start, %.2f at the end\n", loadBefore, LoadAverage());
  return 0;
}
