#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <string>
#include <utility>

#include "os/file_system.h"
#include "os/held_file.h"
#include "testing/temp_dir.h"
#include "values/errors.h"

// What callers of os/ rely on from a file, checked through os/'s own calls
// alone, the same on Linux and on Windows.
namespace tarvelo::os {
namespace {

// A new file at path holding bytes, closed again.
void Make(const std::string& path, const std::string& bytes) {
  const LockedFile made = CreateLockedFile(path);
  ASSERT_TRUE(made.file.IsOpen()) << made.reason;
  ASSERT_EQ(WriteAt(made.file.Handle(), 0, bytes.data(), bytes.size()), 0);
}

// The whole of the file at path; "(closed)" when it cannot be opened.
std::string Read(const std::string& path) {
  const OpenedFile opened = OpenForReading(path);
  if (!opened.file.IsOpen()) return "(closed)";
  std::string bytes(static_cast<size_t>(FileSize(opened.file.Handle())), '\0');
  bytes.resize(ReadAt(opened.file.Handle(), 0, bytes.data(), bytes.size()).bytes);
  return bytes;
}

// Bytes written at offsets, scattered or not, are read back as written,
// a gap left between them reading as zeros; the size and identity of the
// open file are those of the file its name leads to.
TEST(File, ReadsBackWhatWasWrittenAtOffsetsAndKnowsItsSizeAndIdentity) {
  testing::TempDir dir;
  const std::string path = dir.File("data.bin");
  const LockedFile made = CreateLockedFile(path);
  ASSERT_TRUE(made.file.IsOpen()) << made.reason;
  const FileHandle file = made.file.Handle();
  EXPECT_EQ(FileSize(file), 0);
  EXPECT_EQ(WriteAt(file, 0, "abcdef", 6), 0);
  char tail[] = "XY";
  char end[] = "Z";
  const FilePiece written[] = {{tail, 2}, {end, 1}};
  EXPECT_EQ(WritePiecesAt(file, 10, written, 2), 0);
  EXPECT_EQ(SyncFile(file), 0);
  EXPECT_EQ(FileSize(file), 13);

  char back[20] = {};
  const ReadResult got = ReadAt(file, 4, back, sizeof back);
  EXPECT_EQ(got.error, 0);
  EXPECT_EQ(std::string(back, got.bytes), std::string("ef\0\0\0\0XYZ", 9));
  char first[2] = {};
  char second[3] = {};
  const FilePiece pieces[] = {{first, 2}, {second, 3}};
  EXPECT_EQ(ReadPiecesAt(file, 1, pieces, 2).bytes, 5u);
  EXPECT_EQ(std::string(first, 2) + "|" + std::string(second, 3), "bc|def");
  EXPECT_EQ(Read(path), std::string("abcdef\0\0\0\0XYZ", 13));

  FileIdentity open;
  FileIdentity named;
  FileIdentity other;
  ASSERT_TRUE(IdentityOf(file, open));
  ASSERT_TRUE(IdentityAt(path, named));
  EXPECT_EQ(open, named);
  Make(dir.File("other.bin"), "abcdef");
  ASSERT_TRUE(IdentityAt(dir.File("other.bin"), other));
  EXPECT_NE(open, other);
  EXPECT_FALSE(IdentityAt(dir.File("missing.bin"), other));

  const OpenedFile missing = OpenForReading(dir.File("missing.bin"));
  EXPECT_FALSE(missing.file.IsOpen());
  EXPECT_TRUE(IsNoSuchFile(missing.error));
  EXPECT_EQ(SystemReason(missing.error), NoSuchFileReason());
}

// A File closes its file, and so lets its lock go, when it goes, when it
// is closed and when it is given another; a File moved from holds none, and
// the one moved to keeps the file open.
TEST(File, ClosesItsFileWhenItGoesOrIsClosedOrReplaced) {
  testing::TempDir dir;
  const std::string path = dir.File("held.dbf");
  Make(path, "abc");
  const auto lockable = [&] { return OpenLockedFile(path, FileAccess::kReadWrite).file.IsOpen(); };
  {
    LockedFile held = OpenLockedFile(path, FileAccess::kReadWrite);
    ASSERT_TRUE(held.file.IsOpen()) << held.reason;
    const File moved = std::move(held.file);
    EXPECT_FALSE(held.file.IsOpen());
    EXPECT_EQ(held.file.Handle(), kNoFile);
    EXPECT_FALSE(lockable());
    char byte = 0;
    EXPECT_EQ(ReadAt(moved.Handle(), 2, &byte, 1).bytes, 1u);
    EXPECT_EQ(byte, 'c');
  }
  EXPECT_TRUE(lockable());

  LockedFile closed = OpenLockedFile(path, FileAccess::kReadWrite);
  ASSERT_TRUE(closed.file.IsOpen()) << closed.reason;
  EXPECT_EQ(closed.file.Close(), 0);
  EXPECT_FALSE(closed.file.IsOpen());
  EXPECT_TRUE(lockable());
  EXPECT_EQ(closed.file.Close(), 0);  // nothing more to close

  File replaced = std::move(OpenLockedFile(path, FileAccess::kReadWrite).file);
  ASSERT_TRUE(replaced.IsOpen());
  EXPECT_FALSE(lockable());
  replaced = File();
  EXPECT_TRUE(lockable());
  EXPECT_TRUE(CanHold(path));
}

// Runs read a file together under shared locks; a writer's exclusive lock
// keeps readers out and is kept out by them, the refusal saying
// kFileInUse, and a new file is not made over one that is held.
TEST(FileLocks, ReadersShareAFileAndAWriterHasItAlone) {
  testing::TempDir dir;
  const std::string path = dir.File("shared.dbf");
  Make(path, "abc");
  {
    const LockedFile first = OpenLockedFile(path, FileAccess::kRead);
    const LockedFile second = OpenLockedFile(path, FileAccess::kRead);
    EXPECT_TRUE(first.file.IsOpen()) << first.reason;
    EXPECT_TRUE(second.file.IsOpen()) << second.reason;
    const LockedFile writer = OpenLockedFile(path, FileAccess::kReadWrite);
    EXPECT_FALSE(writer.file.IsOpen());
    EXPECT_EQ(writer.reason, kFileInUse);
  }
  const LockedFile writer = OpenLockedFile(path, FileAccess::kReadWrite);
  ASSERT_TRUE(writer.file.IsOpen()) << writer.reason;
  const LockedFile reader = OpenLockedFile(path, FileAccess::kRead);
  EXPECT_FALSE(reader.file.IsOpen());
  EXPECT_EQ(reader.reason, kFileInUse);
  const LockedFile made = CreateLockedFile(path);
  EXPECT_FALSE(made.file.IsOpen());
  EXPECT_EQ(made.reason, kFileInUse);
  EXPECT_EQ(Read(path), "abc");

  const LockedFile missing = OpenLockedFile(dir.File("missing.dbf"), FileAccess::kRead);
  EXPECT_FALSE(missing.file.IsOpen());
  EXPECT_TRUE(IsNoSuchFile(missing.error));
  EXPECT_EQ(missing.reason, NoSuchFileReason());
  EXPECT_FALSE(OpenLockedFile(dir.Path(), FileAccess::kRead).file.IsOpen());
}

// A new locked file takes the place of a leftover of that name unless the
// check says to keep it: that file then stays whole, and the reason is
// the check's.
TEST(FileLocks, ANewFileReplacesALeftoverTheCheckLetsGo) {
  testing::TempDir dir;
  const std::string path = dir.File("apolice.ntx");
  Make(path, "not an index");
  std::string seen;
  const EntryCheck keep = [&](FileHandle file, bool readOnly) -> std::string {
    seen.assign(static_cast<size_t>(FileSize(file)), '\0');
    seen.resize(ReadAt(file, 0, seen.data(), seen.size()).bytes);
    return readOnly || seen != "leftover" ? "Kept" : "";
  };
  const LockedFile kept = CreateLockedFile(path, keep);
  EXPECT_FALSE(kept.file.IsOpen());
  EXPECT_EQ(kept.error, kEntryKept);
  EXPECT_EQ(kept.reason, "Kept");
  EXPECT_EQ(seen, "not an index");
  EXPECT_EQ(Read(path), "not an index");

  Make(dir.File("leftover"), "leftover");
  const LockedFile replaced = CreateLockedFile(dir.File("leftover"), keep);
  ASSERT_TRUE(replaced.file.IsOpen()) << replaced.reason;
  EXPECT_EQ(FileSize(replaced.file.Handle()), 0);
}

#ifndef _WIN32
// POSIX only: flock's locks and another process's record locks.
// Anyone who may read a file may hold flock's exclusive lock on it; that
// keeps no run out. Another program's fcntl write lock, which only one who
// may write the file can take, keeps a reader out while it is held.
TEST(FileLocks, OnlyAWritersRecordLockKeepsAReaderOut) {
  testing::TempDir dir;
  const std::string path = dir.File("tabelas.dbf");
  Make(path, "abc");
  const int reader = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  ASSERT_EQ(::flock(reader, LOCK_EX | LOCK_NB), 0);
  EXPECT_TRUE(OpenLockedFile(path, FileAccess::kRead).file.IsOpen());
  ::close(reader);

  {
    const WriterProcess writer(path);
    ASSERT_TRUE(writer.Holds());
    const LockedFile kept = OpenLockedFile(path, FileAccess::kRead);
    EXPECT_FALSE(kept.file.IsOpen());
    EXPECT_EQ(kept.reason, kFileInUse);
  }
  EXPECT_TRUE(OpenLockedFile(path, FileAccess::kRead).file.IsOpen());
}
#endif

}  // namespace
}  // namespace tarvelo::os
