#include "testing/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#ifdef _WIN32
#include <random>
#endif

namespace tarvelo::testing {

#ifdef _WIN32
TempDir::TempDir() {
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path folder = base / ("tarvelo-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(folder, error)) {
      const std::u8string name = folder.u8string();
      path_ = std::string(name.begin(), name.end()) + "\\";
      return;
    }
  }
  throw std::runtime_error("no temporary folder could be made");
}
#else
TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/tarvelo-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}
#endif

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tarvelo::testing
