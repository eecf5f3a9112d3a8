#pragma once

// What the NTX index tests share: a checker that walks an index file
// through its own bytes, the risks table they index and a fixture that
// writes it, opens it and builds its index.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dbf/dbf_table.h"
#include "ntx/ntx_index.h"
#include "ntx/ntx_index_list.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"
#include "values/variant.h"

namespace tarvelo {
namespace ntx_testing {

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline uint32_t Le16(const std::string& bytes, size_t at) {
  return static_cast<uint8_t>(bytes[at]) | (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8);
}

inline uint32_t Le32(const std::string& bytes, size_t at) { return Le16(bytes, at) | (Le16(bytes, at + 2) << 16); }

// A piece of the key in the table's records: field offset and width.
struct KeyPart {
  int offset;
  int width;
};

// What an index file must hold, for the checker.
struct ExpectedIndex {
  std::string expression = "apolice+item";
  std::string filter;
  int signature = 6;
  bool descending = false;
  bool unique = false;
  // The table file and the key's fields in its records.
  std::string tablePath;
  std::vector<KeyPart> parts;
  // Records that must have an entry (1-based); empty: every record.
  std::set<uint32_t> records;
};

struct CheckResult {
  std::vector<std::string> problems;
  int depth = 0;
  size_t pages = 0;
  std::vector<std::pair<std::string, uint32_t>> entries;  // key order

  std::string Report() const {
    std::ostringstream out;
    for (size_t i = 0; i < problems.size() && i < 20; ++i) out << problems[i] << "\n";
    return out.str();
  }
};

/// Walks an index file through its own bytes, never through NtxIndex: the
/// header fields, every page's count and offset table, uniform leaf depth,
/// every page reached exactly once, keys in order, and one entry per
/// record whose key equals the record's key bytes in the table file.
/// Returns the problems found (none: the file is sound), the leaf depth,
/// the pages reached and the entries in key order; a file too short or not
/// a whole number of pages gives that one problem and nothing else.
CheckResult CheckNtxFile(const std::string& path, const ExpectedIndex& expected);

// Offsets in the risks layout below.
inline const std::vector<testing::DbfFieldSpec> kRiskFields = {
    {"COD_SEG", 'C', 5, 0}, {"APOLICE", 'C', 20, 0}, {"ITEM", 'C', 6, 0}, {"PREMIO", 'N', 14, 2}};
inline const std::vector<KeyPart> kPolicyAndItem = {{6, 20}, {26, 6}};

struct Risk {
  std::string apolice;
  std::string item;
  bool deleted = false;
  std::string codSeg = "05631";
};

inline std::string Pad(const std::string& text, size_t width) { return text + std::string(width - text.size(), ' '); }

inline std::string KeyOf(const Risk& risk) { return Pad(risk.apolice, 20) + Pad(risk.item, 6); }

// Policies in ascending order, three items each.
inline std::vector<Risk> OrderedRisks(int count) {
  std::vector<Risk> risks;
  for (int n = 0; n < count; ++n)
    risks.push_back({"10" + std::to_string(4000000 + n / 3), "00000" + std::to_string(1 + n % 3)});
  return risks;
}

// The same risks in a scrambled, repeatable order.
inline std::vector<Risk> ShuffledRisks(int count) {
  std::vector<Risk> risks = OrderedRisks(count);
  uint32_t seed = 2023;
  for (size_t i = risks.size(); i > 1; --i) {
    seed = seed * 1664525u + 1013904223u;
    std::swap(risks[i - 1], risks[(seed >> 8) % i]);
  }
  return risks;
}

class NtxIndexTest : public ::testing::Test {
 protected:
  std::string WriteRisks(const std::string& name, const std::vector<Risk>& risks) {
    testing::DbfWriter writer(kRiskFields);
    for (const Risk& risk : risks) writer.AddRecord({risk.codSeg, risk.apolice, risk.item, "10.50"}, risk.deleted);
    const std::string path = dir_.File(name);
    writer.WriteTo(path);
    return path;
  }

  // Opens path in table (deleted records hidden unless told otherwise).
  void OpenTable(DbfTable& table, const std::string& path, bool hideDeleted = true) {
    table.SetDBFFileName(path);
    table.SetDeleted(hideDeleted);
    table.Open();
  }

  // The system's calling order up to the build.
  NtxIndex& BuildIndex(NtxIndexList& indexes, const std::string& expression = "apolice+item",
                       const std::string& file = "apolice.ntx") {
    NtxIndex& index = indexes.Add("apolice");
    index.SetKeyExpresion(expression);
    index.SetNTXFileName(dir_.File(file));
    index.SetCreateNow(true);
    return index;
  }

  ExpectedIndex Expected(const std::string& tablePath) const {
    ExpectedIndex expected;
    expected.tablePath = tablePath;
    expected.parts = kPolicyAndItem;
    return expected;
  }

  bool Find(NtxIndexList& indexes, const std::string& text) { return indexes.FindKey({Variant::String(text)}); }

  std::string CurrentKey(DbfTable& table) {
    return table.FieldByName("APOLICE").AsText() + table.FieldByName("ITEM").AsText();
  }

  tarvelo::testing::TempDir dir_;
  RegionalSettings settings_ = RegionalSettings::Brazilian();
  DbfTable table_{"tbRiscos", settings_};
  NtxIndexList indexes_{table_};
};

}  // namespace ntx_testing
}  // namespace tarvelo
