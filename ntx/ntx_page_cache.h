#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ntx/ntx_format.h"
#include "os/file_system.h"
#include "os/memory_pages.h"

namespace tarvelo {

/// Raises DbfError "NtxIndex.WritePage: Write error \"path\"" (path as
/// shown in text) for a write that failed with error (an error number, as
/// os::WriteAt gives it).
[[noreturn]] void ThrowPageWriteError(const std::string& path, int error);

/// A bounded cache of the 1024-byte pages of one index file, changed pages
/// written back when evicted or flushed. Memory is fixed by the
/// capacity, whatever the size of the file: the frames (touched only when
/// used) and a few bytes of bookkeeping per frame.
///
/// The cache is set-associative: page number p may live only in the kWays
/// frames of set p mod Sets(), which evicts its least recently used page.
/// Pages numbered one after another fall into different sets, so a file of
/// no more pages than the capacity is held whole. A page pointer stays
/// valid while at most kWays - 1 further pages are fetched or allocated (a
/// page just touched is the last of its set to go), so callers may hold a
/// few pages at once.
class NtxPageCache {
 public:
  static constexpr int kPageSize = static_cast<int>(ntx::kPageSize);
  /// Frames of one set.
  static constexpr int kWays = 8;
  /// Fewest pages a cache holds, whatever the capacity asked for.
  static constexpr size_t kMinCapacity = 2 * kWays;

  /// file is the open index file (not owned); path names it in errors (as
  /// text, code page 1252). The
  /// capacity is rounded down to a multiple of kWays, at least
  /// kMinCapacity.
  NtxPageCache(os::FileHandle file, std::string path, size_t capacity);

  /// The page at a file offset (a non-zero multiple of kPageSize), read
  /// from the file when not cached; marked changed when forWrite. loaded is
  /// set to true when the page was read from the file just now. Raises
  /// DbfError "NtxIndex.ReadPage: Read error \"path\"" when the file cannot
  /// be read or ends inside the page, and the write error of Flush when
  /// evicting a changed page fails.
  uint8_t* Fetch(uint32_t offset, bool forWrite, bool& loaded);
  /// A frame for the page at a new offset (beyond the file's pages),
  /// marked changed, its bytes left for the caller to fill; nothing is
  /// read.
  uint8_t* Allocate(uint32_t offset);
  /// Reads count pages that follow one another in the file from offset
  /// (none of them cached) into the cache, many in one read, as the most
  /// recently used of their sets: all of them stay when count is at most
  /// the capacity. Raises the read error of Fetch.
  void Load(uint32_t offset, size_t count);
  /// The page at a file offset when it is cached, else nullptr; nothing is
  /// read, evicted or marked used.
  const uint8_t* Peek(uint32_t offset) const;
  /// The page at a file offset when it is cached, marked the most recently
  /// used of its set; else nullptr, nothing read.
  uint8_t* Find(uint32_t offset);
  /// Reads the pages from offset up to count of them, not past fileEnd (the
  /// offset after the file's last page), in one read, and puts those not
  /// cached yet into the cache as the most recently used of their sets;
  /// fewer when the cache has fewer sets or more than kMaxRun are asked
  /// for. Their offsets and frames go to loaded (room for kMaxRun), in file
  /// order; returns how many. Raises the read error of Fetch when the file ends
  /// inside the first page, and the write error of Flush when evicting a
  /// changed page fails.
  struct LoadedPage {
    uint32_t offset;
    uint8_t* data;
  };
  size_t ReadAhead(uint32_t offset, size_t count, uint32_t fileEnd, LoadedPage* loaded);

  /// Most pages one read or write moves.
  static constexpr size_t kMaxRun = 64;

  /// Writes every changed page to the file, in offset order, pages that
  /// follow one another in one write. Raises DbfError
  /// "NtxIndex.WritePage: Write error \"path\"" when a write fails.
  void Flush();
  /// Forgets every page without writing it.
  void Clear();

  size_t Capacity() const { return capacity_; }
  size_t Sets() const { return sets_.size(); }

 private:
  // The tags and use order of one set, in one cache line. A tag is the
  // page's offset, with kChanged set while the page differs from the file;
  // 0 for an empty frame. ranks is a permutation of 0..kWays-1, 0 for the
  // most recently used frame.
  struct alignas(64) Set {
    uint32_t tags[kWays];
    uint8_t ranks[kWays];
  };
  static constexpr uint32_t kChanged = 1;
  static constexpr uint32_t kFlags = kPageSize - 1;

  // Page number mod Sets(), by multiplying with setReciprocal_ (a division
  // costs more than the rest of a lookup).
  size_t SetIndex(uint32_t offset) const {
    const uint64_t fraction = setReciprocal_ * (offset / kPageSize);
    return static_cast<size_t>((static_cast<unsigned __int128>(fraction) * sets_.size()) >> 64);
  }
  Set& SetOf(uint32_t offset) { return sets_[SetIndex(offset)]; }
  const Set& SetOf(uint32_t offset) const { return sets_[SetIndex(offset)]; }
  uint8_t* FrameData(const Set& set, int way) const {
    return frames_->Data() + (static_cast<size_t>(&set - sets_.data()) * kWays + static_cast<size_t>(way)) * kPageSize;
  }
  static void Touch(Set& set, int way);
  /// The least recently used frame of set, emptied (written back first when
  /// changed).
  int TakeWay(Set& set);
  void WriteFrame(const uint8_t* data, uint32_t offset);
  /// Writes count pages that follow one another in the file from offset,
  /// from the frames listed.
  void WriteRun(const std::pair<uint32_t, uint32_t>* run, size_t count);

  os::FileHandle file_;
  std::string path_;
  size_t capacity_;
  // Not zeroed: memory the cache never uses is never touched.
  std::unique_ptr<os::MemoryPages> frames_;
  std::vector<Set> sets_;
  uint64_t setReciprocal_ = 0;      // 2^64 / Sets(), rounded up
  std::vector<uint8_t> readSpace_;  // the pages of a read ahead
};

}  // namespace tarvelo
