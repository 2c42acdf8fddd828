// The one-pass installation against the step-by-step put, sort and compaction, on many generated
// archives and mods: the same bytes, or the same error with the archive left as it was.
#include <gtest/gtest.h>

#include <random>

#include "core/errors.h"
#include "package/install.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/step_install.h"
#include "wizard/controls.h"

namespace merva {
namespace {

struct Generated {
  std::string Archive;
  std::vector<std::pair<std::string, std::string>> Files;
  TDATAInst Script;
};

class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  Generated Make() {
    Generated g;
    const int counts[] = {0, 1, 2, 5, 30, 62, 63, 64, 70, 127};
    const int n = counts[Pick(10)];
    std::vector<test::EntrySpec> entries;
    for (int i = 0; i < n; ++i) entries.push_back({0, Pick(4), Name(i)});
    // Data in directory order, in another order, or with gaps; sometimes one entry at sector 1,
    // where a growing directory reaches it.
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    if (Pick(2)) std::shuffle(order.begin(), order.end(), random_);
    const bool gaps = Pick(2);
    int32_t at = FirstCompactedOffset(n) + (gaps ? Pick(3) : 0);
    for (const int i : order) {
      entries[i].Offset = at;
      at += entries[i].Size + (gaps ? Pick(3) : 0);
    }
    if (n > 0 && Pick(3) == 0) {
      test::EntrySpec& low = entries[Pick(n)];
      low.Offset = 1;
      if (Pick(3) == 0) low.Size = at + Pick(4);  // damaged: its data runs past the end
    }
    g.Archive = test::ArchiveBytes(entries, at);
    for (size_t b = 8 + 32 * static_cast<size_t>(n); b < g.Archive.size(); ++b)
      g.Archive[b] = static_cast<char>(random_());
    if (Pick(4) == 0 && g.Archive.size() > 2048)
      g.Archive.resize(g.Archive.size() - 1 - Pick(2047));  // a part sector at the end

    // The mod: names of the archive in any letter case, new ones, 24 characters; files smaller,
    // equal to and larger than the entries they replace, and empty ones.
    const int files = Pick(12);
    for (int f = 0; f < files; ++f) {
      std::string name = n > 0 && Pick(2) ? entries[Pick(n)].Name : Name(1000 + Pick(8));
      if (Pick(3) == 0) name = Recased(name);
      const int sizes[] = {0, 1, 100, 2048, 4096, 4097, 6000, 10000};
      std::string data(static_cast<size_t>(sizes[Pick(8)]), '\0');
      for (char& c : data) c = static_cast<char>(random_());
      g.Files.push_back({name, data});
    }
    for (int item = Pick(16); item > 0; --item) {
      if (!g.Files.empty() && Pick(6) != 0) {
        const std::string& name = g.Files[Pick(static_cast<int>(g.Files.size()))].first;
        g.Script.ArchiveFiles.push_back(Pick(2) ? name : Recased(name));  // repeats too
      } else {
        g.Script.ArchiveFiles.push_back("missing.dff");
      }
    }
    return g;
  }

 private:
  int Pick(int below) {
    return below <= 1 ? 0 : static_cast<int>(random_() % static_cast<uint32_t>(below));
  }
  std::string Name(int i) {
    if (i % 17 == 3) return std::string(20, static_cast<char>('a' + i % 26)) + ".dff";  // 24
    return (i % 2 ? "Car" : "tex") + std::to_string(i) + (i % 3 ? ".dff" : ".TXD");
  }
  std::string Recased(std::string name) {
    for (char& c : name)
      if (Pick(2))
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c >= 'A' && c <= 'Z' ? c + 32 : c);
    return name;
  }
  std::mt19937 random_;
};

TEST(OnePassInstallation, LeavesTheArchiveOfThePutSortAndCompaction) {
  int installed = 0, refused = 0;
  for (uint32_t seed = 1; seed <= 600; ++seed) {
    const Generated g = Generator(seed).Make();
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
