// The hash of a file taken along another reader: whatever that reader hands over, in whatever
// order, the hash is the whole file's, and the file is read here only where it was not.
#include "core/file_hash_along.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/fingerprint.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/read_recorder.h"

namespace merva {
namespace {

struct THandOver {
  int64_t At;
  int64_t Count;
  bool ReadUpToFirst;  // the other reader says where it starts before handing over
};

struct TCase {
  const char* What;
  std::vector<THandOver> Reads;
  int64_t OwnBytes;  // what the hash must read itself
};

TEST(FileHashAlong, GivesTheWholeFilesHashReadingOnlyWhatWasNotHandedOver) {
  constexpr int64_t kSize = 3 << 20;  // three of its own reading parts
  std::string bytes(static_cast<size_t>(kSize), '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
  const TCase cases[] = {
      {"nothing handed over", {}, kSize},
      {"everything, in order", {{0, kSize, false}}, 0},
      {"in parts with gaps",
       {{100, 50, true}, {4096, 8192, false}, {kSize - 10, 10, true}},
       kSize - 50 - 8192 - 10},
      {"overlapping and again",
       {{0, 1000, false}, {500, 1000, false}, {0, 1500, false}},
       kSize - 1500},
      {"backwards: left out", {{2 << 20, 100, true}, {0, 100, false}}, kSize - 100},
      {"past the end: left out", {{kSize - 4, 4, false}, {kSize, 4, false}}, kSize - 4},
  };
  for (const TCase& c : cases) {
    TMemoryFileSystem memory;
    memory.Put("f", bytes);
    test::TReadRecorder recorder(memory, "f");
    TBlockFile file = TBlockFile::OpenReadOnly(recorder, "f");
    TFingerprint along;
    TFileHashAlong hash(file, kSize,
                        [&along](const char* data, size_t size) { along.Update(data, size); });
    for (const THandOver& read : c.Reads) {
      if (read.ReadUpToFirst) hash.ReadUpTo(read.At);
      // The other reader's own position is where it left it, whatever the hash read meanwhile.
      file.Seek(read.At);
      const int64_t end = std::min<int64_t>(read.At + read.Count, kSize);
      const std::string part = read.At < kSize ? bytes.substr(read.At, end - read.At) : "";
      hash.Take(read.At, part.data(), part.size());
      EXPECT_EQ(file.Position(), read.At) << c.What;
    }
    hash.Finish();
    TFingerprint whole;
    whole.Update(bytes.data(), bytes.size());
    EXPECT_EQ(along.HexDigest(), whole.HexDigest()) << c.What;
    int64_t own = 0;
    for (const test::TRead& read : recorder.Reads()) own += read.Count;
    EXPECT_EQ(own, c.OwnBytes) << c.What;
    file.Close();
  }
}

}  // namespace
}  // namespace merva
