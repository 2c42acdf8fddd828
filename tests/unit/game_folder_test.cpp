// What the program takes a game file to be now: the one answer that an undo, the status and a
// new restore point compare with what an installation wrote.
#include "game/game_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "core/file_system.h"
#include "core/fingerprint.h"
#include "tests/support/fakes.h"

namespace merva {
namespace {

TEST(GameFileFingerprint, IsTheFilesOwnAndNothingForALinkAFolderOrNothing) {
  test::TTempDir dir;
  test::WriteFile(dir / "file.txt", "the installation's bytes");
  test::MakeDirs(dir / "folder");
  ASSERT_EQ(::symlink((dir.Path() + "/file.txt").c_str(), (dir.Path() + "/link.txt").c_str()), 0);
  TFingerprint expected;
  const std::string bytes = "the installation's bytes";
  expected.Update(bytes.data(), bytes.size());
  const struct {
    const char* Name;
    std::string Fingerprint;
  } cases[] = {
      {"file.txt", expected.HexDigest()},
      // A link to that very file is still nobody's version: no installation writes a link.
      {"link.txt", ""},
      {"folder", ""},
      {"missing.txt", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GameFileFingerprint(SystemFileSystem(), dir / c.Name), c.Fingerprint) << c.Name;
}

}  // namespace
}  // namespace merva
