#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvelo::os {

/// Memory pages of its own straight from the system rather than the
/// allocator's: taken only where touched, and given back whole when
/// destroyed (memory the allocator frees may stay with the process). Raises std::bad_alloc when the system has none to
/// give. memory_pages_posix.cpp implements it; the build picks the implementation of the system it builds for.
class MemoryPages {
 public:
  explicit MemoryPages(size_t bytes);
  ~MemoryPages();
  MemoryPages(const MemoryPages&) = delete;
  MemoryPages& operator=(const MemoryPages&) = delete;
  uint8_t* Data() const { return data_; }

 private:
  size_t length_;
  uint8_t* data_;
};

}  // namespace tarvelo::os
