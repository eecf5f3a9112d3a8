#include "os/folder.h"

#include <utility>

// What a folder held open is and does on every system; folder_posix.cpp and
// folder_windows.cpp open, check and close it.
namespace tarvelo::os {

Folder::~Folder() { Close(); }

Folder::Folder(Folder&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoFile)),
      path_(std::move(other.path_)),
      error_(other.error_),
      parent_(std::exchange(other.parent_, kNoFile)),
      name_(std::move(other.name_)),
      slot_(std::exchange(other.slot_, -1)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this == &other) return *this;
  Close();
  handle_ = std::exchange(other.handle_, kNoFile);
  path_ = std::move(other.path_);
  error_ = other.error_;
  parent_ = std::exchange(other.parent_, kNoFile);
  name_ = std::move(other.name_);
  slot_ = std::exchange(other.slot_, -1);
  return *this;
}

}  // namespace tarvelo::os
