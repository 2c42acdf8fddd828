// The one-pass installation against the step-by-step put, sort and compaction, on many generated
// archives and mods: the same bytes, or the same error with the archive left as it was.
#include <gtest/gtest.h>

#include "core/errors.h"
#include "operations/installation.h"
#include "tests/support/archive_generator.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/step_install.h"
#include "wizard/controls.h"

namespace merva {
namespace {

TEST(OnePassInstallation, LeavesTheArchiveOfThePutSortAndCompaction) {
  int installed = 0, refused = 0;
  for (uint32_t seed = 1; seed <= 600; ++seed) {
    const test::TGenerated g = test::TGenerator(seed).Make();
    const std::string package = test::PackageBytes(g.Files);
    const test::TInstallOutcome steps = test::InstallInMemory(g.Script, g.Archive, package, false);
    const test::TInstallOutcome onePass = test::InstallInMemory(g.Script, g.Archive, package, true);
    EXPECT_EQ(onePass.Error, steps.Error) << "seed " << seed;
    if (steps.Error.empty()) {
      ++installed;
      EXPECT_TRUE(onePass.Archive == steps.Archive) << "seed " << seed;
    } else {
      ++refused;
      EXPECT_TRUE(onePass.Archive == g.Archive) << "seed " << seed << ": " << steps.Error;
    }
  }
  // The generator must reach both outcomes, mostly installations.
  EXPECT_GT(installed, 400);
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace merva
