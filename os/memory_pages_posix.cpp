#include "os/memory_pages.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

namespace tarvelo::os {

MemoryPages::MemoryPages(size_t bytes) : length_(std::max<size_t>(bytes, 1)) {
  void* mapping = ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<uint8_t*>(mapping);
}

MemoryPages::~MemoryPages() { ::munmap(data_, length_); }

}  // namespace tarvelo::os
