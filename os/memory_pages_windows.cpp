#include <windows.h>

#include <algorithm>
#include <new>

#include "os/memory_pages.h"

namespace tarvelo::os {

// Reserved and committed at once; the system gives the pages zeroed, and
// only those touched take memory.
MemoryPages::MemoryPages(size_t bytes) : length_(std::max<size_t>(bytes, 1)) {
  void* pages = ::VirtualAlloc(nullptr, length_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (pages == nullptr) throw std::bad_alloc();
  data_ = static_cast<uint8_t*>(pages);
}

MemoryPages::~MemoryPages() { ::VirtualFree(data_, 0, MEM_RELEASE); }

}  // namespace tarvelo::os
