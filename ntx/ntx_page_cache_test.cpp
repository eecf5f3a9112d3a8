#include "ntx/ntx_page_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ntx/ntx_test_support.h"
#include "os/file_system.h"
#include "testing/expect_error.h"
#include "testing/temp_dir.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using namespace ntx_testing;

TEST(NtxPageCacheTest, PagesSurviveEvictionAndFlush) {
  tarvelo::testing::TempDir dir;
  const std::string path = dir.File("paginas.ntx");
  const os::LockedFile made = os::CreateLockedFile(path);
  ASSERT_TRUE(made.file.IsOpen()) << made.reason;
  const os::FileHandle fd = made.file.Handle();
  constexpr int kPage = NtxPageCache::kPageSize;
  {
    NtxPageCache cache(fd, path, 20);
    EXPECT_EQ(cache.Capacity(), 16u);  // a multiple of the ways, at least the minimum
    EXPECT_EQ(cache.Sets(), 2u);
    EXPECT_EQ(NtxPageCache(fd, path, 1).Capacity(), NtxPageCache::kMinCapacity);
    EXPECT_EQ(NtxPageCache(fd, path, 100).Capacity(), 96u);

    // 100 new pages in a cache of 16: most are written out as others come.
    const auto fill = [](uint8_t* page, uint32_t number) {
      for (int i = 0; i < kPage; ++i) page[i] = static_cast<uint8_t>(number * 7 + static_cast<uint32_t>(i));
    };
    const auto holds = [](const uint8_t* page, uint32_t number) {
      for (int i = 0; i < kPage; ++i) {
        if (page[i] != static_cast<uint8_t>(number * 7 + static_cast<uint32_t>(i))) return false;
      }
      return true;
    };
    for (uint32_t number = 1; number <= 100; ++number) fill(cache.Allocate(number * kPage), number);
    EXPECT_EQ(cache.Peek(1 * kPage), nullptr);
    ASSERT_NE(cache.Peek(100 * kPage), nullptr);
    EXPECT_TRUE(holds(cache.Peek(100 * kPage), 100));

    // Pages read back from the file; a change marked for writing survives
    // its eviction.
    bool loaded = false;
    uint8_t* page = cache.Fetch(3 * kPage, true, loaded);
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(holds(page, 3));
    page[0] = 0xEE;
    // A page stays put while fewer pages than the ways of its set are
    // fetched after it (pages of one set lie Sets() pages apart).
    for (uint32_t other = 1; other < NtxPageCache::kWays; ++other)
      (void)cache.Fetch((3 + 2 * other) * kPage, false, loaded);
    EXPECT_EQ(page[0], 0xEE);
    for (uint32_t other = 20; other < 60; ++other) (void)cache.Fetch(other * kPage, false, loaded);
    EXPECT_EQ(cache.Peek(3 * kPage), nullptr);
    page = cache.Fetch(3 * kPage, true, loaded);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(page[0], 0xEE);
    page[0] = static_cast<uint8_t>(3 * 7);

    EXPECT_ERROR(DbfError, cache.Fetch(200 * kPage, false, loaded), "NtxIndex.ReadPage: Read error \"" + path + "\"");
    cache.Flush();
  }
  // Every page on disk, the ones flushed last included.
  const std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 101u * kPage);
  for (uint32_t number = 1; number <= 100; ++number) {
    for (int i = 0; i < kPage; i += 97)
      ASSERT_EQ(static_cast<uint8_t>(bytes[number * kPage + static_cast<uint32_t>(i)]),
                static_cast<uint8_t>(number * 7 + static_cast<uint32_t>(i)))
          << "page " << number << " byte " << i;
  }
}

}  // namespace
}  // namespace tarvelo
