// The in-memory file system the fuzz targets and the differential tests run on must behave as
// the real ones do where the code relies on it: the same error codes, moves and folders.
#include "tests/support/memory_file_system.h"

#include <gtest/gtest.h>

#include "core/block_file.h"
#include "core/errors.h"

namespace merva {
namespace {

struct TMemoryFileSystemTest : ::testing::Test {
  TMemoryFileSystem fs{64};
  void SetUp() override {
    fs.AddDirectory("G");
    fs.Put("G\\a.txt", "hello");
  }
  int OpenCode(const std::string& path) {
    std::unique_ptr<IFileHandle> handle;
    return fs.Open(path, TOpenAccess::kReadOnly, handle);
  }
  int CreateCode(const std::string& path) {
    std::unique_ptr<IFileHandle> handle;
    return fs.Create(path, handle);
  }
};

TEST_F(TMemoryFileSystemTest, OpensAndCreatesWithTheSystemsCodes) {
  EXPECT_EQ(OpenCode("G\\a.txt"), 0);
  EXPECT_EQ(OpenCode("G/a.txt"), 0);  // either separator
  EXPECT_EQ(OpenCode("G\\b.txt"), kFileNotFound);
  EXPECT_EQ(OpenCode("G"), kAccessDenied);  // a folder is no file
  EXPECT_EQ(CreateCode("nowhere\\b.txt"), kPathNotFound);
  EXPECT_EQ(CreateCode("G"), kAccessDenied);
  EXPECT_EQ(CreateCode("G\\b.txt"), 0);
  EXPECT_TRUE(fs.FileExists("G\\b.txt"));
  EXPECT_FALSE(fs.FileExists("G"));
}

TEST_F(TMemoryFileSystemTest, ReadsCountWritesRespectAccessAndTheLimit) {
  TBlockFile readOnly = TBlockFile::OpenReadOnly(fs, "G\\a.txt");
  char buffer[16] = {};
  EXPECT_EQ(readOnly.ReadCounted(buffer, sizeof buffer), 5u);  // short at the end: no error
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_THROW(readOnly.WriteExact("x", 1), EInOutError);
  EXPECT_THROW(readOnly.Seek(-1), EInOutError);

  TBlockFile created = TBlockFile::Create(fs, "G\\big.bin");
  const std::string sixty(60, 'z');
  created.WriteExact(sixty.data(), 60);
  try {
    created.WriteExact(sixty.data(), 10);  // past the 64-byte limit
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode(), kDiskFull);
  }
  created.Seek(100);
  EXPECT_EQ(created.ReadCounted(buffer, 4), 0u);
}

TEST_F(TMemoryFileSystemTest, MovesReplaceAndTellWhyTheyFail) {
  fs.Put("G\\b.txt", "old");
  EXPECT_EQ(fs.MoveFileReplace("G\\a.txt", "G\\b.txt"), 0);
  EXPECT_EQ(std::string(fs.Get("G\\b.txt")->begin(), fs.Get("G\\b.txt")->end()), "hello");
  EXPECT_EQ(fs.Get("G\\a.txt"), nullptr);
  EXPECT_EQ(fs.MoveFileReplace("G\\a.txt", "G\\c.txt"), kFileNotFound);
  EXPECT_EQ(fs.MoveFileReplace("G\\b.txt", "nowhere\\c.txt"), kPathNotFound);
  EXPECT_EQ(fs.MoveFileReplace("G\\b.txt", "G"), kAccessDenied);
  EXPECT_TRUE(fs.FileExists("G\\b.txt"));
}

TEST_F(TMemoryFileSystemTest, FoldersAreMadeAndRemovedOneLevelAtATime) {
  EXPECT_FALSE(fs.CreateDirectory("H\\I"));  // no parent
  EXPECT_TRUE(fs.CreateDirectory("G\\I"));
  EXPECT_FALSE(fs.CreateDirectory("G\\I"));  // already there
  EXPECT_TRUE(fs.DirectoryExists("G\\I\\"));
  fs.Put("G\\I\\x", "x");
  EXPECT_FALSE(fs.RemoveDirectory("G\\I"));  // not empty
  EXPECT_TRUE(fs.DeleteFile("G\\I\\x"));
  EXPECT_TRUE(fs.RemoveDirectory("G\\I"));
  EXPECT_FALSE(fs.DirectoryExists("G\\I"));
  EXPECT_TRUE(fs.DeleteFile("G\\a.txt"));
  EXPECT_FALSE(fs.DeleteFile("G\\a.txt"));
}

}  // namespace
}  // namespace merva
