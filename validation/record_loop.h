#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dbf/dbf_table.h"
#include "validation/record_checks.h"
#include "validation/reference_totals.h"

namespace tarvelo {

/// The record loop of one data file: every visible record is counted, then
/// checked (RecordChecker) and, unless it belongs to another company,
/// added to the run's totals (TotalsAccumulator).
///
/// The file is cut into chunks of consecutive records. Worker threads take
/// the chunks in turn, read and check each one into a slot of their own:
/// its failure counts, the additions to the totals in record order, and
/// what ended it early (a record of another company, or an error located
/// at its record and field). The calling thread merges the slots strictly
/// in chunk order, and stops at the first chunk that ended early, so
/// counts, totals (added one by one in record order), the stop and the
/// error are those of one thread reading the file from the first record
/// to the last. Slots are reused in a ring, so memory does not grow with
/// the file; nothing is allocated per record.
class RecordLoop {
 public:
  /// data is open; shownPath names it in error locations ("Arquivo:
  /// <shownPath>, registro <n>, campo <field>"). threads is the most
  /// threads to use; 1 (or a file of one chunk) checks on the calling
  /// thread alone.
  /// details, when given, receives one row per failure counted, in record
  /// order, as one thread would give them.
  RecordLoop(DbfTable& data, const RecordChecker& checker, const TotalsAccumulator& totals, std::string shownPath,
             int threads, DetailSink* details = nullptr);
  /// Joins the worker threads that are still running.
  ~RecordLoop();
  RecordLoop(const RecordLoop&) = delete;
  RecordLoop& operator=(const RecordLoop&) = delete;

  /// Runs the loop over the whole file. recordCount grows by the records
  /// counted (the record a stop falls on included), totals take the
  /// additions and counts (checker.FieldCount() entries) the failures.
  /// Returns false when a record of another company stopped the loop.
  /// Raises the first error in record order, with its location set, and
  /// IntegerOverflowError when the count would leave the 32-bit range;
  /// the worker threads are joined before it returns or raises.
  bool Run(int32_t& recordCount, RunTotals& totals, std::vector<FieldCounts>& counts);
  /// Asked before each chunk is merged: when it answers true, Run ends by
  /// raising RunStoppedError (the chunks merged so far counted). None by
  /// default.
  void SetStopCheck(std::function<bool()> stopRequested) { stopRequested_ = std::move(stopRequested); }

  /// Records of one chunk, for a record of recordLength bytes.
  static size_t ChunkRecords(int recordLength);

 private:
  struct Chunk;
  enum class Step { kGoOn, kFileEnd, kOtherCompany };

  /// Reads and checks chunk number index into chunk.
  void Process(int64_t index, Chunk& chunk) const;
  /// Adds a processed chunk to the loop's results; raises its error.
  Step Merge(const Chunk& chunk, int32_t& recordCount, RunTotals& totals, std::vector<FieldCounts>& counts) const;
  /// Merges the chunks the running workers fill, in chunk order, as Run.
  bool MergeInTurn(int32_t& recordCount, RunTotals& totals, std::vector<FieldCounts>& counts);
  void Work();
  void StopWorkers();
  std::string Where(int64_t recno, const std::string& field) const;
  /// Passes the chunk's noted failures of its first `upTo` counted records
  /// to details_.
  void PassNotes(const Chunk& chunk, int32_t upTo) const;

  DbfTable& data_;
  const RecordChecker& checker_;
  const TotalsAccumulator& totals_;
  std::string shownPath_;
  int threads_;
  size_t chunkRecords_;
  DetailSink* details_;
  std::function<bool()> stopRequested_;
  const DbfField* policyField_ = nullptr;  // named in the detail rows, when the file has them
  const DbfField* itemField_ = nullptr;

  // Shared with the workers, under mutex_.
  std::mutex mutex_;
  std::condition_variable chunkDone_;  // a worker finished a chunk
  std::condition_variable slotFree_;   // the merge freed a slot, or the loop ends
  std::vector<std::unique_ptr<Chunk>> slots_;
  int64_t nextChunk_ = 0;          // the next chunk a worker takes
  int64_t merged_ = 0;             // chunks merged so far
  int64_t lastChunk_ = INT64_MAX;  // no chunk after this one is needed
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace tarvelo
