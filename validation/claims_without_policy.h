#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "dbf/dbf_table.h"
#include "ntx/ntx_index.h"
#include "validation/detail_listing.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The share of the claims without a policy item in percent, computed
/// without overflow for any count.
double ClaimsShare(int64_t misses, int32_t claimCount);

/// The report's sentence about claims without a policy item: the misses,
/// the claims file's record count and the misses' share in percent. The
/// share is computed without overflow for any count.
std::string ClaimsWithoutPolicySentence(int64_t misses, int32_t claimCount, const RegionalSettings& settings);

/// Pages the index of the claims test keeps in memory (1 MiB): its searches
/// come in key order and meet each page once.
constexpr size_t kPolicyIndexCachePages = 1024;
/// Pages one read of that index brings.
constexpr size_t kPolicyIndexReadAhead = 64;

/// The names the index of the claims test tries, PolicyIndexName 0 to
/// kPolicyIndexNames - 1.
constexpr int kPolicyIndexNames = 1000;

/// The name number of the index of the claims test whose first name is
/// path: path itself for 0, else "-<number>" put before the extension of
/// its file name ("apolice.ntx", "apolice-1.ntx", "apolice-2.ntx"...).
std::string PolicyIndexName(const std::string& path, int number);

/// Makes over risks (open) the index "apolice" on "apolice+item" in the
/// file path (the file system's bytes), its own (removed with the index),
/// built on at most threads threads for searches in key order, builds it
/// and returns it. When another open file holds that name (another run
/// building its index there), the next PolicyIndexName that none holds is
/// taken; NTXFileName() says which. stopRequested, when given, is asked
/// during the build (NtxIndex::SetStopCheck); folder, when given, is the
/// open folder the file is made in (NtxIndex::SetFolder). Raises the errors
/// of NtxIndex::SetKeyExpresion and NtxIndex::SetCreateNow, the index then
/// gone with its file; IndexFileInUseError of path only when every name is
/// held.
std::unique_ptr<NtxIndex> BuildPolicyIndex(DbfTable& risks, const std::string& path, int threads,
                                           std::function<bool()> stopRequested = {},
                                           std::shared_ptr<const os::Folder> folder = {});

/// The order in which the claims are searched for.
enum class ClaimsSearchOrder {
  /// One search per claim, as the claims file holds them.
  kFileOrder,
  /// The claims' keys gathered and sorted first (as an index build sorts
  /// its keys: within sortBytes, the rest in sorted runs in a nameless file
  /// beside the index), then searched in ascending order, a key that
  /// repeats once: the index's pages are met once each, in the order of its
  /// file, whatever its size. Claims whose policy or item is no character
  /// field are searched in file order.
  kKeyOrder,
};

struct ClaimsSearch {
  ClaimsSearchOrder order = ClaimsSearchOrder::kKeyOrder;
  size_t sortBytes = NtxIndex::kSortBytes;
  /// Asked, when given, before each block of claims read, searched or
  /// passed on: true ends the search with RunStoppedError.
  std::function<bool()> stopRequested;
};

/// What the search found.
struct ClaimsSearchResult {
  int64_t misses = 0;
  /// Sorted runs of claims' keys the search wrote to a file (0 when they
  /// fitted in memory, and in file order).
  size_t runsOnFile = 0;
};

/// The search of the claims test: counts the visible records of claims
/// (from the first) whose policy and item, joined as the risks key joins
/// them, begin no visible record's key in risks, the index of the risks
/// table (BuildPolicyIndex), and
/// passes each of them to details unless it is null, in the order of the
/// claims file whatever the search's. Raises DatabaseError when claims
/// lacks "apolice" or "item", the errors of reading either table and the
/// index, in key order the errors of the sort's file (NtxKeySorter), and
/// RunStoppedError when asked to stop.
ClaimsSearchResult CountClaimsWithoutPolicyItem(NtxIndex& risks, DbfTable& claims, const RegionalSettings& settings,
                                                DetailSink* details, const ClaimsSearch& search = {});

}  // namespace tarvelo
