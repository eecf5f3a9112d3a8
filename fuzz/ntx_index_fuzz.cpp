// Builds an NTX index over a small table made from the input and searches it
// with texts made from the input, exactly and partially. Every answer must
// be the one a scan of the visible records gives, and a walk in key order
// must visit each visible record once, in key order.
//
// Input (see ReadCase): seven bytes of settings and sizes, the searches, then
// the records. Past its end the input goes on as a repeatable stream of
// bytes, so that a short input can make a table of many records.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "dbf/dbf_table.h"
#include "fuzz/ntx_fuzz_case.h"
#include "ntx/ntx_index.h"
#include "ntx/ntx_index_list.h"
#include "ntx/ntx_page_cache.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"

namespace {

using tarvelo::fuzzing::NtxCase;
using tarvelo::fuzzing::NtxSearch;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "ntx_index_fuzz: %s\n", what.c_str());
  std::abort();
}

// What a search looks for. With a value for every key field it is exact:
// each text cut or padded with blanks to its field's width, the whole key
// equal to them. With fewer it is partial: the texts joined, and a key
// beginning with them (on the key's length at most) answers it.
struct Wanted {
  bool exact = false;
  std::string text;

  Wanted(const NtxCase& c, const NtxSearch& search) {
    const std::vector<size_t> order = c.ExpressionOrder();
    exact = search.values.size() >= order.size();
    // An exact search takes no more values than the key has fields.
    const size_t count = exact ? order.size() : search.values.size();
    for (size_t k = 0; k < count; ++k) {
      std::string piece = search.values[k].value_or("");
      if (exact) piece.resize(static_cast<size_t>(c.widths[order[k]]), ' ');
      text += piece;
    }
  }

  bool Matches(const std::string& key) const {
    if (exact) return key == text;
    const size_t length = std::min(text.size(), key.size());
    return key.compare(0, length, text, 0, length) == 0;
  }
};

struct Files {
  tarvelo::testing::TempDir dir;
  std::string table = dir.File("riscos.dbf");
  std::string index = dir.File("apolice.ntx");
};

// Each search of the case, checked against a scan of the visible records:
// found or not as the scan says, standing on the first answer in key order
// (or where the table stood when there is none).
void CheckSearches(const NtxCase& c, tarvelo::DbfTable& table, tarvelo::NtxIndexList& indexes,
                   const std::vector<std::string>& keys, const std::vector<bool>& visible) {
  // True when key a comes before key b in the index's order.
  const auto before = [&](const std::string& a, const std::string& b) { return c.descending ? b < a : a < b; };
  for (size_t s = 0; s < c.searches.size(); ++s) {
    const NtxSearch& search = c.searches[s];
    const Wanted wanted(c, search);
    // The first matching visible key in the index's order, by a scan.
    std::optional<std::string> first;
    for (size_t r = 0; r < c.records.size(); ++r) {
      if (visible[r] && wanted.Matches(keys[r]) && (!first || before(keys[r], *first))) first = keys[r];
    }
    std::vector<tarvelo::Variant> values;
    for (const auto& value : search.values)
      values.push_back(value ? tarvelo::Variant::String(*value) : tarvelo::Variant::Null());

    const int64_t recnoBefore = table.RecordNumber();
    const bool atEndBefore = table.AtEnd();
    const bool found = indexes.FindKey(values);
    const std::string which = "search " + std::to_string(s);
    if (found != first.has_value()) Fail(which + (found ? " found a record the scan does not" : " missed a record"));
    if (!found) {
      if (table.RecordNumber() != recnoBefore || table.AtEnd() != atEndBefore) Fail(which + " moved the table");
      continue;
    }
    const int64_t recno = table.RecordNumber();
    if (recno < 1 || recno > static_cast<int64_t>(c.records.size()) || table.AtEnd())
      Fail(which + " stands on record " + std::to_string(recno));
    const size_t at = static_cast<size_t>(recno - 1);
    if (!visible[at] || !wanted.Matches(keys[at])) Fail(which + " stands on a record that does not answer it");
    if (keys[at] != *first) Fail(which + " stands on a record that is not the first in key order");
    if (table.CurrentRecord() != c.records[at]) Fail(which + " reads other bytes than record " + std::to_string(recno));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Files files;
  static const tarvelo::RegionalSettings settings = tarvelo::RegionalSettings::Brazilian();
  const NtxCase c = tarvelo::fuzzing::ReadCase(data, size);

  tarvelo::testing::DbfWriter writer(c.Fields());
  for (const std::string& record : c.records) writer.AddRawRecord(record);
  writer.WriteTo(files.table);

  std::vector<std::string> keys;
  std::vector<bool> visible;
  size_t visibleCount = 0;
  for (const std::string& record : c.records) {
    keys.push_back(c.KeyOf(record));
    visible.push_back(!(c.hideDeleted && record[0] == '*'));
    if (visible.back()) ++visibleCount;
  }
  // True when key a comes before key b in the index's order.
  const auto before = [&](const std::string& a, const std::string& b) { return c.descending ? b < a : a < b; };

  tarvelo::DbfTable table("tbRiscos", settings);
  table.SetDBFFileName(files.table);
  table.SetDeleted(c.hideDeleted);
  table.SetBufferSize(c.bufferSize);
  table.Open();
  tarvelo::NtxIndexList indexes(table);
  tarvelo::NtxIndex& index = indexes.Add("apolice");
  // The smallest cache evicts pages all the time; the other one holds the
  // whole tree, as the default one does, without taking its 40 MiB for
  // every input.
  index.SetCachePages(c.smallCache ? tarvelo::NtxPageCache::kMinCapacity : 1024);
  if (c.forgetDeleted) index.SetDeletedRecordsKept(1);
  index.SetDescending(c.descending);
  index.SetKeyExpresion(c.Expression());
  index.SetNTXFileName(files.index);
  index.SetCreateNow(true);
  if (c.reopen) {
    // The index file read back as the table's Open finds it, through the
    // list that keeps it.
    table.Close();
    table.Open();
  }
  if (index.KeyLength() != static_cast<int>(c.KeyLength())) Fail("key length " + std::to_string(index.KeyLength()));

  // The walk in key order.
  std::vector<int64_t> walked;
  for (index.First(); !table.AtEnd(); index.Next()) {
    const int64_t recno = table.RecordNumber();
    if (recno < 1 || recno > static_cast<int64_t>(c.records.size()))
      Fail("walk reached record " + std::to_string(recno));
    if (walked.size() == visibleCount) Fail("walk visits more than the visible records");
    const size_t at = static_cast<size_t>(recno - 1);
    if (!visible[at]) Fail("walk reached hidden record " + std::to_string(recno));
    if (!walked.empty() && before(keys[at], keys[static_cast<size_t>(walked.back() - 1)]))
      Fail("walk out of key order at record " + std::to_string(recno));
    walked.push_back(recno);
  }
  std::sort(walked.begin(), walked.end());
  if (walked.size() != visibleCount || std::adjacent_find(walked.begin(), walked.end()) != walked.end())
    Fail("walk visits " + std::to_string(walked.size()) + " records of " + std::to_string(visibleCount));

  CheckSearches(c, table, indexes, keys, visible);

  indexes.Delete(0);
  indexes.DBFIndexDefs().Delete(0);
  table.Close();
  return 0;
}
