// Writes the starting corpus of ntx_index_fuzz: ntx_fuzz_seeds <folder>.
// The records are encoded by the test DBF writer: risks-like policies and
// items with repeated and deleted keys, an empty table, a one-field key, a
// tree of two levels and fields cut short by a NUL byte.

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/ntx_fuzz_case.h"
#include "testing/dbf_writer.h"

using tarvelo::fuzzing::NtxCase;
using tarvelo::fuzzing::NtxSearch;

namespace {

// Adds a record of the case's layout from one text per key field.
void AddRecord(NtxCase& c, const std::vector<std::string>& keyFields, bool deleted = false) {
  std::vector<std::string> values = {std::to_string(c.records.size() % 1000)};
  values.insert(values.end(), keyFields.begin(), keyFields.end());
  c.records.push_back(tarvelo::testing::DbfWriter(c.Fields()).EncodeRecord(values, deleted));
}

NtxSearch Search(std::vector<std::optional<std::string>> values) { return NtxSearch{std::move(values)}; }

std::string Pad(std::string text, size_t width) {
  text.resize(width, ' ');
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  std::vector<NtxCase> cases;

  // The system's index: policy (20) and item (6), searched with the
  // claim's joined text.
  NtxCase risks;
  risks.widths = {20, 6};
  for (int n = 0; n < 40; ++n)
    AddRecord(risks, {"10" + std::to_string(4000000 + (n * 7) % 13), "00000" + std::to_string(1 + n % 3)}, n % 11 == 5);
  AddRecord(risks, {"P9", "0001"}, true);
  AddRecord(risks, {"P9", "0001"});
  AddRecord(risks, {"P8", "0001"}, true);
  risks.searches = {Search({Pad("P9", 20) + "0001"}),
                    Search({Pad("P8", 20) + "0001"}),
                    Search({Pad("104000003", 20) + "000002"}),
                    Search({"10400000"}),
                    Search({"p9"}),
                    Search({""}),
                    Search({Pad("P9", 20) + "0001  extra"}),
                    Search({"P9", "0001"}),
                    Search({std::nullopt, "0001"})};
  cases.push_back(risks);
  risks.hideDeleted = false;
  risks.reopen = true;
  cases.push_back(risks);

  NtxCase empty;
  empty.widths = {5, 2};
  empty.searches = {Search({"A"}), Search({""}), Search({"A", "B"})};
  cases.push_back(empty);

  // One field: one value is an exact search.
  NtxCase single;
  single.widths = {4};
  for (const char* key : {"AB", "ABC", "ABCD", "B", "AB"}) AddRecord(single, {key});
  single.searches = {Search({"AB"}), Search({"ABC"}), Search({"ABCDE"}), Search({"A"}), Search({std::nullopt})};
  cases.push_back(single);

  // Enough short keys for a tree of two levels, walked from the top down.
  NtxCase tree;
  tree.widths = {2, 1};
  tree.descending = true;
  tree.smallCache = true;
  tree.forgetDeleted = true;
  tree.bufferSize = 128;
  for (int n = 0; n < 250; ++n)
    AddRecord(
        tree,
        {std::string(1, static_cast<char>('A' + n % 26)) + static_cast<char>('a' + n % 7), std::to_string(n % 10)},
        n % 4 == 0);
  tree.searches = {Search({"Aa"}), Search({"Z"}), Search({"Ba", "1"}), Search({"Ab", "7", "x"})};
  cases.push_back(tree);

  // Three fields, the expression last to first, texts cut short by a NUL.
  NtxCase cut;
  cut.widths = {3, 4, 2};
  cut.reversed = true;
  cut.bufferSize = 80;
  AddRecord(cut, {std::string("A\0Z", 3), "BB", "C"});
  AddRecord(cut, {"A", std::string("BB\0\xFF", 4), "C"});
  AddRecord(cut, {"\xE9", "b", std::string("\0C", 2)});
  cut.searches = {Search({"C A"}), Search({"C ", "BB  ", "A  "}), Search({"  b   \xE9"}),
                  Search({std::string("C\0", 2)})};
  cases.push_back(cut);

  for (size_t i = 0; i < cases.size(); ++i)
    tarvelo::testing::WriteFile(folder + "seed_" + std::to_string(i), tarvelo::fuzzing::WriteCase(cases[i]));
  return 0;
}
