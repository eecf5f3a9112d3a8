#include "validation/claims_without_policy.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "ntx/ntx_build.h"
#include "validation/report_format.h"
#include "values/cp1252_literal.h"
#include "values/errors.h"
#include "values/text.h"
#include "values/variant_operators.h"

namespace tarvelo {
namespace {

// Claims read, searched or passed on between two questions whether the
// run is to stop.
constexpr int64_t kClaimsBlock = 4096;

// Asks stopRequested, when given, once every kClaimsBlock calls; raises
// RunStoppedError when it answers true.
class StopPoint {
 public:
  explicit StopPoint(const std::function<bool()>& stopRequested) : stopRequested_(stopRequested) {}
  void Pass() {
    if (stopRequested_ && passed_++ % kClaimsBlock == 0 && stopRequested_()) throw RunStoppedError();
  }

 private:
  const std::function<bool()>& stopRequested_;
  int64_t passed_ = 0;
};

// A claim's policy or item text as the risks key holds it, appended to key:
// a text cut short by a NUL byte is filled with blanks to the field's width.
void AppendClaimKeyPart(std::string& key, const DbfField& field) {
  const std::string_view text = field.CharacterText();
  key.append(text);
  if (text.size() < static_cast<size_t>(field.Width()))
    key.append(static_cast<size_t>(field.Width()) - text.size(), ' ');
}

// The value of a claim's policy or item field as the risks key holds it.
Variant ClaimKeyPart(const DbfField& field) {
  if (field.DataType() != ftString) return field.AsVariant();
  std::string text;
  AppendClaimKeyPart(text, field);
  return Variant::String(std::move(text));
}

// The row of a claim without a policy item, the claims table standing on it.
void PassMiss(DbfTable& claims, const DbfField& policy, const DbfField& item, DetailSink& details) {
  details.Row({claims.RecordNumber(),
               "APOLICE+ITEM",
               DetailRule::NoPolicy,
               {},
               policy.CharacterText(),
               item.CharacterText(),
               {}});
}

// One search per claim, in the claims file's order.
int64_t SearchInFileOrder(NtxIndex& risks, DbfTable& claims, const DbfField& policy, const DbfField& item,
                          const RegionalSettings& settings, DetailSink* details, StopPoint& stop) {
  // Two character fields, the usual case, join as texts do (the sum of two
  // text values), without values made on the way.
  const bool texts = policy.DataType() == ftString && item.DataType() == ftString;
  std::vector<Variant> key(1);
  std::string joined;
  int64_t misses = 0;
  for (claims.First(); !claims.AtEnd(); claims.Next()) {
    stop.Pass();
    if (texts) {
      joined.clear();
      AppendClaimKeyPart(joined, policy);
      AppendClaimKeyPart(joined, item);
      key[0] = Variant::String(joined);
    } else {
      key[0] = Add(ClaimKeyPart(policy), ClaimKeyPart(item), settings);
    }
    if (risks.FindKey(key)) continue;
    ++misses;
    if (details) PassMiss(claims, policy, item, *details);
  }
  return misses;
}

// The claims' keys sorted, then searched in ascending order; the misses
// are marked by record number and passed on in the claims file's order.
ClaimsSearchResult SearchInKeyOrder(NtxIndex& risks, DbfTable& claims, const DbfField& policy, const DbfField& item,
                                    size_t sortBytes, DetailSink* details, StopPoint& stop) {
  const std::string& indexPath = risks.NTXFileName();
  const size_t slash = indexPath.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : indexPath.substr(0, slash + 1);
  const size_t policyWidth = static_cast<size_t>(policy.Width());
  const size_t itemWidth = static_cast<size_t>(item.Width());
  const size_t keyLength = policyWidth + itemWidth;
  // No more memory than the claims' keys need.
  const size_t budget = std::min(
      sortBytes,
      NtxKeySorter::BytesFor(static_cast<int>(keyLength), static_cast<uint64_t>(claims.PhysicalRecordCount())));
  auto sorter = std::make_unique<NtxKeySorter>(static_cast<int>(keyLength), false, budget, folder, PathText(indexPath));
  for (claims.First(); !claims.AtEnd(); claims.Next()) {
    stop.Pass();
    char* key = reinterpret_cast<char*>(sorter->NextKey());
    const std::string_view policyText = policy.CharacterText();
    const std::string_view itemText = item.CharacterText();
    std::memset(key, ' ', keyLength);
    std::memcpy(key, policyText.data(), policyText.size());
    std::memcpy(key + policyWidth, itemText.data(), itemText.size());
    sorter->Add(static_cast<uint32_t>(claims.RecordNumber()));
  }

  ClaimsSearchResult result;
  // A claim's record number is marked when it has no policy item, for the
  // rows of the listing.
  std::vector<uint64_t> missed;
  if (details) missed.assign(static_cast<size_t>(claims.PhysicalRecordCount() / 64 + 1), 0);
  std::vector<Variant> search(1);
  std::string previous;
  bool searched = false, found = false;
  const uint8_t* key = nullptr;
  uint32_t recno = 0;
  for (sorter->Rewind(); sorter->Next(key, recno);) {
    stop.Pass();
    const std::string_view text(reinterpret_cast<const char*>(key), keyLength);
    if (!searched || text != previous) {
      searched = true;
      previous.assign(text);
      search[0] = Variant::String(previous);
      found = risks.FindKey(search);
    }
    if (found) continue;
    ++result.misses;
    if (details) missed[recno / 64] |= uint64_t{1} << (recno % 64);
  }
  result.runsOnFile = sorter->RunsOnFile();
  sorter.reset();  // its memory is given back before the listing's pass

  if (details && result.misses > 0) {
    for (claims.First(); !claims.AtEnd(); claims.Next()) {
      stop.Pass();
      const uint64_t number = static_cast<uint64_t>(claims.RecordNumber());
      if ((missed[number / 64] >> (number % 64)) & 1) PassMiss(claims, policy, item, *details);
    }
  }
  return result;
}

// Builds the index "apolice" at path (BuildPolicyIndex).
std::unique_ptr<NtxIndex> BuildPolicyIndexAt(DbfTable& risks, const std::string& path, int threads,
                                             std::function<bool()> stopRequested,
                                             std::shared_ptr<const os::Folder> folder) {
  auto made = std::make_unique<NtxIndex>(risks, "apolice");
  NtxIndex& index = *made;
  index.SetKeyExpresion("apolice+item");
  index.SetNTXFileName(path);
  index.SetFolder(std::move(folder));
  index.SetTemporary(true);
  index.SetThreads(threads);
  // Searched in key order, the tree is read once, in the order of its file,
  // through a few pages of memory.
  index.SetCachePages(kPolicyIndexCachePages);
  index.SetReadAheadPages(kPolicyIndexReadAhead);
  index.SetStopCheck(std::move(stopRequested));
  index.SetCreateNow(true);
  return made;
}

}  // namespace

double ClaimsShare(int64_t misses, int32_t claimCount) {
  // 64-bit product and extended-precision division: no count overflows.
  return static_cast<double>(static_cast<long double>(misses) * 100.0L / claimCount);
}

std::string ClaimsWithoutPolicySentence(int64_t misses, int32_t claimCount, const RegionalSettings& settings) {
  return std::to_string(misses) + " sinistros sem apólices no período, num total de "_cp1252 +
         std::to_string(claimCount) + " sinistros (" + FormatNumber(ClaimsShare(misses, claimCount), 2, settings) +
         "%).";
}

std::string PolicyIndexName(const std::string& path, int number) {
  if (number == 0) return path;
  const size_t name = path.find_last_of(os::kFolderSeparators);
  const size_t dot = path.rfind('.');
  const size_t at = dot == std::string::npos || (name != std::string::npos && dot < name) ? path.size() : dot;
  return path.substr(0, at) + "-" + std::to_string(number) + path.substr(at);
}

std::unique_ptr<NtxIndex> BuildPolicyIndex(DbfTable& risks, const std::string& path, int threads,
                                           std::function<bool()> stopRequested,
                                           std::shared_ptr<const os::Folder> folder) {
  // Runs at once in one folder each build under a name no other holds.
  std::exception_ptr firstInUse;
  for (int number = 0; number < kPolicyIndexNames; ++number) {
    try {
      return BuildPolicyIndexAt(risks, PolicyIndexName(path, number), threads, stopRequested, folder);
    } catch (const IndexFileInUseError&) {
      if (!firstInUse) firstInUse = std::current_exception();
    }
  }
  std::rethrow_exception(firstInUse);
}

ClaimsSearchResult CountClaimsWithoutPolicyItem(NtxIndex& risks, DbfTable& claims, const RegionalSettings& settings,
                                                DetailSink* details, const ClaimsSearch& search) {
  const DbfField& policy = claims.FieldByName("apolice");
  const DbfField& item = claims.FieldByName("item");
  StopPoint stop(search.stopRequested);
  if (search.order == ClaimsSearchOrder::kKeyOrder && policy.DataType() == ftString && item.DataType() == ftString)
    return SearchInKeyOrder(risks, claims, policy, item, search.sortBytes, details, stop);
  return {SearchInFileOrder(risks, claims, policy, item, settings, details, stop), 0};
}

}  // namespace tarvelo
