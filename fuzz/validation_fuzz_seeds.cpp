// Writes the starting corpus of validation_run_fuzz:
// validation_fuzz_seeds <folder>. Each seed is a selector byte followed by
// one of the valid files, so every file and every switch starts from a run
// that completes.

#include <cstdio>
#include <string>

#include "fuzz/validation_fuzz_files.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  tarvelo::testing::TempDir scratch;
  const auto valid = tarvelo::fuzzing::WriteValidFiles(scratch.Path());

  // Selector: file index + 5 x switches (bit 0 new run object, bit 1 blank
  // risks box, bit 2 blank claims box).
  for (int which = 0; which < 5; ++which) {
    for (int switches : {0, 1, 2, 4}) {
      const int selector = which + 5 * switches;
      tarvelo::testing::WriteFile(folder + "seed_" + std::to_string(selector),
                                  std::string(1, static_cast<char>(selector)) + valid[which]);
    }
  }
  return 0;
}
