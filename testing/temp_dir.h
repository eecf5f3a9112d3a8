#pragma once

#include <string>

namespace tarvelo::testing {

/// A fresh folder under the system's temporary folder, removed with its
/// contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  /// The folder's path, ending in "/" (on Windows "\\").
  const std::string& Path() const { return path_; }
  /// Path() followed by name.
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

}  // namespace tarvelo::testing
