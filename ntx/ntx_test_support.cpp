#include "ntx/ntx_test_support.h"

#include <functional>

namespace tarvelo {
namespace ntx_testing {

CheckResult CheckNtxFile(const std::string& path, const ExpectedIndex& expected) {
  CheckResult result;
  auto& problems = result.problems;
  const std::string file = ReadBytes(path);
  const std::string table = ReadBytes(expected.tablePath);
  int keyLength = 0;
  for (const KeyPart& part : expected.parts) keyLength += part.width;

  if (file.size() < 2048 || file.size() % 1024 != 0) {
    problems.push_back("file size " + std::to_string(file.size()));
    return result;
  }
  const int entrySize = keyLength + 8;
  const int maxKeys = (1020 - entrySize) / (entrySize + 2) / 2 * 2;
  const auto expect = [&](const char* what, uint32_t actual, uint32_t wanted) {
    if (actual != wanted)
      problems.push_back(std::string(what) + " is " + std::to_string(actual) + ", expected " + std::to_string(wanted));
  };
  expect("signature", Le16(file, 0), static_cast<uint32_t>(expected.signature));
  expect("version", Le16(file, 2), 1);
  expect("free page", Le32(file, 8), 0);
  expect("entry size", Le16(file, 12), static_cast<uint32_t>(entrySize));
  expect("key size", Le16(file, 14), static_cast<uint32_t>(keyLength));
  expect("decimals", Le16(file, 16), 0);
  expect("max keys", Le16(file, 18), static_cast<uint32_t>(maxKeys));
  expect("half page", Le16(file, 20), static_cast<uint32_t>(maxKeys / 2));
  const std::string expression = file.substr(22, 256);
  if (expression.substr(0, expected.expression.size() + 1) != expected.expression + std::string(1, '\0'))
    problems.push_back("key expression " + expression.substr(0, expression.find('\0')));
  expect("unique", static_cast<uint8_t>(file[278]), expected.unique ? 1 : 0);
  expect("reserved 279", static_cast<uint8_t>(file[279]), 0);
  expect("descending", static_cast<uint8_t>(file[280]), expected.descending ? 1 : 0);
  expect("reserved 281", static_cast<uint8_t>(file[281]), 0);
  if (file.substr(282, expected.filter.size() + 1) != expected.filter + std::string(1, '\0'))
    problems.push_back("filter expression");
  if (file.find_first_not_of('\0', 538) < 1024) problems.push_back("order name or reserved bytes not zero");

  // Valid slot positions of a page.
  std::set<uint32_t> slots;
  for (int i = 0; i <= maxKeys; ++i) slots.insert(static_cast<uint32_t>(2 + 2 * (maxKeys + 1) + i * entrySize));

  std::set<uint32_t> visited;
  int leafDepth = -1;
  // Recursive in-order walk.
  std::function<void(uint32_t, int, bool)> walk = [&](uint32_t page, int depth, bool isRoot) {
    if (page < 1024 || page % 1024 != 0 || page + 1024 > file.size() || !visited.insert(page).second) {
      problems.push_back("bad or repeated page offset " + std::to_string(page));
      return;
    }
    const int n = static_cast<int>(Le16(file, page));
    if (n > maxKeys || (n == 0 && !isRoot)) {
      problems.push_back("page " + std::to_string(page) + " holds " + std::to_string(n) + " keys");
      return;
    }
    std::set<uint32_t> seen;
    std::vector<uint32_t> offsets;
    for (int i = 0; i <= maxKeys; ++i) {
      const uint32_t offset = Le16(file, page + 2 + 2 * static_cast<size_t>(i));
      if (slots.count(offset) == 0 || !seen.insert(offset).second) {
        problems.push_back("page " + std::to_string(page) + " offset table entry " + std::to_string(i));
        return;
      }
      offsets.push_back(offset);
    }
    const auto child = [&](int i) { return Le32(file, page + offsets[static_cast<size_t>(i)]); };
    const bool leaf = child(0) == 0;
    for (int i = 0; i <= n; ++i) {
      if ((child(i) == 0) != leaf) problems.push_back("page " + std::to_string(page) + " mixes leaf and inner");
    }
    if (leaf) {
      if (leafDepth < 0) leafDepth = depth;
      if (depth != leafDepth) problems.push_back("leaf at depth " + std::to_string(depth));
    }
    for (int i = 0; i <= n; ++i) {
      if (!leaf) walk(child(i), depth + 1, false);
      if (i < n) {
        const size_t at = page + offsets[static_cast<size_t>(i)];
        result.entries.emplace_back(file.substr(at + 8, static_cast<size_t>(keyLength)), Le32(file, at + 4));
      }
    }
  };
  walk(Le32(file, 4), 1, true);
  result.depth = leafDepth;
  result.pages = visited.size();
  if (visited.size() != file.size() / 1024 - 1)
    problems.push_back("reached " + std::to_string(visited.size()) + " of " + std::to_string(file.size() / 1024 - 1) +
                       " pages");

  for (size_t i = 1; i < result.entries.size(); ++i) {
    const int order = result.entries[i - 1].first.compare(result.entries[i].first);  // unsigned bytes
    if (expected.descending ? order < 0 : order > 0)
      problems.push_back("keys out of order at entry " + std::to_string(i));
    if (expected.unique && order == 0)
      problems.push_back("repeated key in a unique index at entry " + std::to_string(i));
  }

  const uint32_t headerLength = Le16(table, 8);
  const uint32_t recordLength = Le16(table, 10);
  const uint32_t records = static_cast<uint32_t>((table.size() - headerLength) / recordLength);
  std::set<uint32_t> wanted = expected.records;
  if (wanted.empty() && !expected.unique)
    for (uint32_t r = 1; r <= records; ++r) wanted.insert(r);
  std::set<uint32_t> found;
  for (const auto& [key, recno] : result.entries) {
    if (recno < 1 || recno > records || !found.insert(recno).second) {
      problems.push_back("bad or repeated record number " + std::to_string(recno));
      continue;
    }
    std::string recordKey;
    for (const KeyPart& part : expected.parts)
      recordKey += table.substr(headerLength + (recno - 1) * recordLength + static_cast<uint32_t>(part.offset),
                                static_cast<size_t>(part.width));
    if (recordKey != key)
      problems.push_back("record " + std::to_string(recno) + " has key " + recordKey + ", entry " + key);
  }
  if (!expected.unique && found != wanted)
    problems.push_back("entries for " + std::to_string(found.size()) + " records, expected " +
                       std::to_string(wanted.size()));
  return result;
}

}  // namespace ntx_testing
}  // namespace tarvelo
