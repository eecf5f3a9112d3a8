#include <windows.h>

#include <algorithm>
#include <new>

#include "dbf/ntx_page_cache.h"

namespace tarvelo {

// Reserved and committed at once; the system gives the pages zeroed, and
// only those touched take memory.
MappedMemory::MappedMemory(size_t bytes) : length_(std::max<size_t>(bytes, 1)) {
  void* pages = ::VirtualAlloc(nullptr, length_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (pages == nullptr) throw std::bad_alloc();
  data_ = static_cast<uint8_t*>(pages);
}

MappedMemory::~MappedMemory() { ::VirtualFree(data_, 0, MEM_RELEASE); }

}  // namespace tarvelo
