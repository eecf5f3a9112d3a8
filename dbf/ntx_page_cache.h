#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvelo {

/// A bounded cache of the 1024-byte pages of one index file, least recently
/// used pages evicted first, changed pages written back with pwrite when
/// evicted or flushed.
///
/// A page pointer stays valid until capacity - 1 further pages have been
/// fetched or allocated (a page just touched is the last one evicted), so
/// callers may hold a few pages at once.
class NtxPageCache {
 public:
  static constexpr int kPageSize = 1024;
  /// Fewest pages a cache holds, whatever the capacity asked for.
  static constexpr size_t kMinCapacity = 16;

  /// fd is the open index file (not owned); path names it in errors.
  NtxPageCache(int fd, std::string path, size_t capacity);

  /// The page at a file offset (a multiple of kPageSize), read from the
  /// file when not cached; marked changed when forWrite. loaded is set to
  /// true when the page was read from the file just now. Raises DbfError
  /// "NtxIndex.ReadPage: Read error \"path\"" when the file cannot be read
  /// or ends inside the page, and the write error of Flush when evicting a
  /// changed page fails.
  uint8_t* Fetch(uint32_t offset, bool forWrite, bool& loaded);
  /// A page at a new offset (beyond the file's pages), all zero bytes and
  /// marked changed; nothing is read.
  uint8_t* Allocate(uint32_t offset);

  /// Writes every changed page to the file, in offset order. Raises DbfError
  /// "NtxIndex.WritePage: Write error \"path\"" when a write fails.
  void Flush();
  /// Forgets every page without writing it.
  void Clear();

  size_t Capacity() const { return capacity_; }

 private:
  int FindSlot(uint32_t offset) const;
  void InsertSlot(int frame);
  void EraseSlot(uint32_t offset);
  int TakeFrame();
  void Unlink(int frame);
  void PushFront(int frame);
  void WriteFrame(int frame);
  uint8_t* FrameData(int frame) { return frames_.get() + static_cast<size_t>(frame) * kPageSize; }

  int fd_;
  std::string path_;
  size_t capacity_;
  // Not zeroed: memory the cache never uses is never touched.
  std::unique_ptr<uint8_t[]> frames_;
  std::vector<uint32_t> offsets_;
  std::vector<uint8_t> dirty_;
  std::vector<int> prev_;
  std::vector<int> next_;
  int head_ = -1;  // most recently used
  int tail_ = -1;  // least recently used
  int used_ = 0;
  // Open-addressing table from page offset to frame (-1 free).
  std::vector<int> slots_;
  uint32_t mask_ = 0;
  int shift_ = 31;  // 32 minus the bits of a slot number
};

}  // namespace tarvelo
