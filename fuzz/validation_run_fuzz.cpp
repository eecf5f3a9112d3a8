// Runs the whole validation with one of its five files replaced by
// arbitrary bytes; only the system's own errors may come out.
//
// Input: a selector byte, then the file's bytes. The selector modulo 5
// picks the file (risks data, claims data, "tabelas.dbf", "anexos.dbf",
// "DadosQdp.DBF"); the selector divided by 5 holds three switches: bit 0
// starts a new run object (otherwise the one of the last input with the
// same boxes is used again, whatever state an error left it in), bit 1
// leaves the risks box blank and bit 2 leaves the claims box blank.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/validation_fuzz_files.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"
#include "validation/report_format.h"
#include "validation/validation_run.h"
#include "values/errors.h"

namespace {

struct Fixture {
  tarvelo::testing::TempDir dir;
  std::array<std::string, 5> valid = tarvelo::fuzzing::WriteValidFiles(dir.Path());
  tarvelo::testing::RunSetup setup;
  // A run object per pair of box switches: a run's inputs are its own.
  std::array<std::unique_ptr<tarvelo::ValidationRun>, 4> runs;

  Fixture() { setup.folder = dir.Path(); }
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Fixture& f = TheFixture();
  const size_t which = data[0] % 5;
  const unsigned switches = data[0] / 5;
  const std::string path = f.dir.File(tarvelo::fuzzing::kFileNames[which]);
  tarvelo::testing::WriteFile(path, std::string(reinterpret_cast<const char*>(data + 1), size - 1));

  // A new run object replaces the old one, which may still hold tables
  // that an error left open.
  f.setup.risk = (switches & 2) ? " " : f.dir.File(tarvelo::fuzzing::kFileNames[0]);
  f.setup.claim = (switches & 4) ? "" : f.dir.File(tarvelo::fuzzing::kFileNames[1]);
  std::unique_ptr<tarvelo::ValidationRun>& run = f.runs[(switches >> 1) & 3];
  if ((switches & 1) || !run) {
    run.reset();
    run = std::make_unique<tarvelo::ValidationRun>(f.setup.Inputs(), &f.setup);
  }

  bool completed = false;
  try {
    run->Execute();
    completed = true;
  } catch (const tarvelo::TarveloError& error) {
    // The text the front ends show for it.
    if (tarvelo::ErrorText(error).empty()) std::abort();
  }
  // Whatever happened, the header was written; a completed run ends with
  // its closing lines.
  const auto& lines = run->Report().Lines();
  if (lines.size() < 3) std::abort();
  if (completed && (lines.size() < 9 || lines.back() != std::string(80, '='))) std::abort();
  if (f.setup.lines != lines) std::abort();  // the observer was told the report
  const tarvelo::RunState& state = run->State();
  if (state.riskCount < 0 || state.claimCount < 0) std::abort();

  tarvelo::testing::WriteFile(path, f.valid[which]);
  return 0;
}
