// Writes a few small valid tables as the fuzzer's starting corpus:
// dbf_fuzz_seeds <folder>.

#include <cstdio>
#include <string>

#include "testing/dbf_writer.h"

using tarvelo::testing::DbfWriter;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];

  DbfWriter all({{"NOME", 'C', 8, 0},
                 {"QTD", 'N', 5, 0},
                 {"GRANDE", 'N', 12, 0},
                 {"VALOR", 'N', 9, 2},
                 {"DATA", 'D', 8, 0},
                 {"ATIVO", 'L', 1, 0},
                 {"OBS", 'M', 10, 0}},
                0x83);
  all.AddRecord({"ANA", "12", "123456789012", "1234.56", "20240229", "T", "         1"});
  all.AddRecord({"BIA", "-3", "x", "1,5", "20221301", "?", ""}, true);
  all.AddRecord({"", "$1F", "", "1.5E3", "20220:01", "F", ""});
  all.WriteTo(folder + "/types.dbf");

  DbfWriter many({{"SEQ", 'N', 6, 0}, {"FILL", 'C', 40, 0}});
  for (int i = 1; i <= 120; ++i) many.AddRecord({std::to_string(i), "abc"}, i % 7 == 0);
  many.WriteTo(folder + "/blocks.dbf");

  DbfWriter empty({{"A", 'C', 1, 0}}, 0x03);
  empty.WriteTo(folder + "/empty.dbf");

  DbfWriter later({{"A", 'C', 2, 0}, {"B", 'I', 4, 0}, {"C", 'N', 3, 0}}, 0x31);
  later.AddRecord({"zz", "abcd", "7"});
  later.WriteTo(folder + "/later.dbf");

  // A seventh-dialect header with 48-byte descriptors.
  std::string seventh(68, '\0');
  seventh[0] = 0x04;
  std::string descriptor(48, '\0');
  descriptor.replace(0, 4, "NAME");
  descriptor[32] = 'C';
  descriptor[33] = 3;
  seventh += descriptor;
  seventh += '\x0D';
  seventh[8] = static_cast<char>(seventh.size());
  seventh[10] = 4;
  seventh += " abc def";
  tarvelo::testing::WriteFile(folder + "/seventh.dbf", seventh);
  return 0;
}
