#include "validation/record_loop.h"

#include <algorithm>
#include <limits>
#include <system_error>

#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

// Bytes of records in one chunk.
constexpr size_t kChunkBytes = size_t{256} << 10;
// Threads beyond this many would gain little (the merge and the file's
// reads become the limit) while each adds two slots of memory.
constexpr int kMostThreads = 8;

}  // namespace

// One chunk of consecutive records and what checking them found. A worker
// fills it; the merge reads it once the worker has marked it done.
struct RecordLoop::Chunk {
  // An addition to the totals, with the record it came from: its number
  // and its place among the chunk's counted records (from 1).
  struct Addition {
    int64_t recno;
    int32_t ordinal;
    bool animal;
    Variant amount;
  };
  enum class End { kNone, kOtherCompany, kError };

  int64_t index = -1;
  bool done = false;
  std::vector<char> bytes;
  size_t records = 0;   // records read; fewer than a chunk's at the end of the file
  int32_t counted = 0;  // visible records counted, up to the one that ended the chunk
  std::vector<FieldCounts> counts;
  std::vector<Addition> additions;
  End end = End::kNone;
  std::exception_ptr error;  // with End::kError: raised by the merge
  FailureNotes notes;        // only when the loop passes rows on

  Chunk(size_t chunkRecords, int recordLength, int fields)
      : bytes(chunkRecords * static_cast<size_t>(recordLength)), counts(static_cast<size_t>(fields)) {
    additions.reserve(chunkRecords);
  }
};

size_t RecordLoop::ChunkRecords(int recordLength) {
  return std::max<size_t>(1, kChunkBytes / static_cast<size_t>(std::max(recordLength, 1)));
}

RecordLoop::RecordLoop(DbfTable& data, const RecordChecker& checker, const TotalsAccumulator& totals,
                       std::string shownPath, int threads, DetailSink* details)
    : data_(data),
      checker_(checker),
      totals_(totals),
      shownPath_(std::move(shownPath)),
      // A chunk no larger than the file (with room for the end to show).
      chunkRecords_(static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(ChunkRecords(data.RecordLength())),
                                                          std::max<int64_t>(data.PhysicalRecordCount(), 0) + 1))),
      details_(details) {
  if (details_) {
    policyField_ = data_.FindField("apolice");
    itemField_ = data_.FindField("item");
  }
  const int64_t chunks =
      (data.PhysicalRecordCount() + static_cast<int64_t>(chunkRecords_) - 1) / static_cast<int64_t>(chunkRecords_);
  threads_ = static_cast<int>(std::clamp<int64_t>(std::min(threads, kMostThreads), 1, std::max<int64_t>(chunks, 1)));
}

RecordLoop::~RecordLoop() { StopWorkers(); }

std::string RecordLoop::Where(int64_t recno, const std::string& field) const {
  return FileLocation(shownPath_) + ", registro " + std::to_string(recno) + ", campo " + field;
}

void RecordLoop::Process(int64_t index, Chunk& chunk) const {
  chunk.index = index;
  chunk.records = 0;
  chunk.counted = 0;
  std::fill(chunk.counts.begin(), chunk.counts.end(), FieldCounts{});
  chunk.additions.clear();
  chunk.notes.notes.clear();
  chunk.end = Chunk::End::kNone;
  chunk.error = nullptr;
  const int64_t first = index * static_cast<int64_t>(chunkRecords_) + 1;
  try {
    chunk.records = data_.ReadRecords(first, chunkRecords_, chunk.bytes.data());
  } catch (...) {
    chunk.end = Chunk::End::kError;
    chunk.error = std::current_exception();
    return;
  }
  const size_t length = static_cast<size_t>(data_.RecordLength());
  const bool hideDeleted = data_.Deleted();
  const std::string* field = nullptr;
  const char* totalsField = "";
  bool animal = false;
  Variant amount;
  for (size_t i = 0; i < chunk.records; ++i) {
    const char* record = chunk.bytes.data() + i * length;
    if (hideDeleted && record[0] == '*') continue;
    ++chunk.counted;
    const int64_t recno = first + static_cast<int64_t>(i);
    bool checking = true;
    FailureNotes* notes = nullptr;
    if (details_) {
      notes = &chunk.notes;
      notes->recno = recno;
      notes->ordinal = chunk.counted;
      notes->offset = i * length;
    }
    try {
      if (!checker_.Check(record, chunk.counts.data(), field, notes)) {
        chunk.end = Chunk::End::kOtherCompany;
        return;
      }
      checking = false;
      if (totals_.Select(record, animal, amount, totalsField))
        chunk.additions.push_back({recno, chunk.counted, animal, std::move(amount)});
    } catch (TarveloError& error) {
      error.SetWhere(Where(recno, checking ? *field : std::string(totalsField)));
      chunk.end = Chunk::End::kError;
      chunk.error = std::current_exception();
      return;
    } catch (...) {
      chunk.end = Chunk::End::kError;
      chunk.error = std::current_exception();
      return;
    }
  }
}

RecordLoop::Step RecordLoop::Merge(const Chunk& chunk, int32_t& recordCount, RunTotals& totals,
                                   std::vector<FieldCounts>& counts) const {
  const int32_t base = recordCount;
  // Records this chunk may still count before the count overflows.
  const int32_t room = std::numeric_limits<int32_t>::max() - base;
  for (const Chunk::Addition& addition : chunk.additions) {
    if (addition.ordinal > room) break;
    try {
      totals_.Add(totals, addition.animal, addition.amount);
    } catch (TarveloError& error) {
      // The record's checks came before its totals.
      PassNotes(chunk, addition.ordinal);
      recordCount = base + addition.ordinal;
      error.SetWhere(Where(addition.recno, totals_.AmountField()));
      throw;
    }
  }
  if (chunk.counted > room) {
    PassNotes(chunk, room);
    recordCount = std::numeric_limits<int32_t>::max();
    throw IntegerOverflowError();
  }
  PassNotes(chunk, chunk.counted);
  recordCount = base + chunk.counted;
  for (size_t i = 0; i < counts.size(); ++i) {
    counts[i].nulls += chunk.counts[i].nulls;
    counts[i].invalid += chunk.counts[i].invalid;
  }
  if (chunk.end == Chunk::End::kError) std::rethrow_exception(chunk.error);
  if (chunk.end == Chunk::End::kOtherCompany) return Step::kOtherCompany;
  return chunk.records < chunkRecords_ ? Step::kFileEnd : Step::kGoOn;
}

void RecordLoop::PassNotes(const Chunk& chunk, int32_t upTo) const {
  if (!details_) return;
  for (const FailureNotes::Note& note : chunk.notes.notes) {
    if (note.ordinal > upTo) break;
    const char* record = chunk.bytes.data() + note.offset;
    // Only a refused code looks for the field its codes depend on: rows
    // are few beside records.
    const DbfField* depend = note.rule == DetailRule::Domain ? checker_.DependFieldOf(*note.field) : nullptr;
    details_->Row({note.recno, note.field->FieldName(), note.rule, note.field->CharacterText(record),
                   policyField_ ? policyField_->CharacterText(record) : std::string_view(),
                   itemField_ ? itemField_->CharacterText(record) : std::string_view(),
                   depend ? TrimView(depend->CharacterText(record)) : std::string_view()});
  }
}

bool RecordLoop::Run(int32_t& recordCount, RunTotals& totals, std::vector<FieldCounts>& counts) {
  const int fields = checker_.FieldCount();
  if (threads_ > 1) {
    // Enough slots that the workers seldom wait for the merge.
    slots_.clear();
    for (int i = 0; i < 2 * threads_ + 2; ++i)
      slots_.push_back(std::make_unique<Chunk>(chunkRecords_, data_.RecordLength(), fields));
    nextChunk_ = 0;
    merged_ = 0;
    lastChunk_ = INT64_MAX;
    stopping_ = false;
    // A thread the system refuses (its stack is memory too) leaves the
    // work to the others, or to the calling thread alone.
    for (int i = 0; i < threads_; ++i) {
      try {
        workers_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;
      }
    }
    if (!workers_.empty()) return MergeInTurn(recordCount, totals, counts);
    slots_.clear();
  }
  Chunk chunk(chunkRecords_, data_.RecordLength(), fields);
  for (int64_t index = 0;; ++index) {
    if (stopRequested_ && stopRequested_()) throw RunStoppedError();
    Process(index, chunk);
    const Step step = Merge(chunk, recordCount, totals, counts);
    if (step != Step::kGoOn) return step != Step::kOtherCompany;
  }
}

bool RecordLoop::MergeInTurn(int32_t& recordCount, RunTotals& totals, std::vector<FieldCounts>& counts) {
  const int64_t slotCount = static_cast<int64_t>(slots_.size());
  try {
    for (int64_t index = 0;; ++index) {
      if (stopRequested_ && stopRequested_()) throw RunStoppedError();
      Chunk* chunk = slots_[static_cast<size_t>(index % slotCount)].get();
      {
        std::unique_lock<std::mutex> lock(mutex_);
        chunkDone_.wait(lock, [&] { return chunk->done && chunk->index == index; });
      }
      const Step step = Merge(*chunk, recordCount, totals, counts);
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        chunk->done = false;
        merged_ = index + 1;
      }
      slotFree_.notify_all();
      if (step != Step::kGoOn) {
        StopWorkers();
        return step != Step::kOtherCompany;
      }
    }
  } catch (...) {
    StopWorkers();
    throw;
  }
}

void RecordLoop::Work() {
  const int64_t slotCount = static_cast<int64_t>(slots_.size());
  while (true) {
    int64_t index = 0;
    Chunk* chunk = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      slotFree_.wait(lock, [&] { return stopping_ || nextChunk_ > lastChunk_ || nextChunk_ < merged_ + slotCount; });
      if (stopping_ || nextChunk_ > lastChunk_) return;
      index = nextChunk_++;
      chunk = slots_[static_cast<size_t>(index % slotCount)].get();
    }
    Process(index, *chunk);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      chunk->done = true;
      // No chunk after one that ended early or at the end of the file is needed.
      if (chunk->end != Chunk::End::kNone || chunk->records < chunkRecords_) lastChunk_ = std::min(lastChunk_, index);
    }
    chunkDone_.notify_all();
    slotFree_.notify_all();
  }
}

void RecordLoop::StopWorkers() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  slotFree_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

}  // namespace tarvelo
