#pragma once
// Archives and mods generated from a seed, for differential tests of whole installations: names
// of every length and letter case, repeats, replacements smaller and larger than the entries,
// growth of the directory that moves entries, gaps, damage and part sectors.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "script/script.h"
#include "tests/support/fakes.h"

namespace merva::test {

struct TGenerated {
  std::string Archive;
  std::vector<std::pair<std::string, std::string>> Files;
  TDATAInst Script;
};

class TGenerator {
 public:
  // `compacted`: the archive as the game's own is, data back to back in directory order from
  // the first sector a compaction uses, with nothing between; else gaps, other orders, damage.
  explicit TGenerator(uint32_t seed, bool compacted = false)
      : random_(seed), compacted_(compacted) {}

  TGenerated Make() {
    TGenerated g;
    const int counts[] = {0, 1, 2, 5, 30, 62, 63, 64, 70, 127};
    const int n = counts[Pick(10)];
    std::vector<TEntryLayout> entries;
    for (int i = 0; i < n; ++i) entries.push_back({0, Pick(4), Name(i)});
    // Data in directory order, in another order, or with gaps; sometimes one entry at sector 1,
    // where a growing directory reaches it.
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    if (!compacted_ && Pick(2)) std::shuffle(order.begin(), order.end(), random_);
    const bool gaps = !compacted_ && Pick(2);
    int32_t at = FirstCompactedOffset(n) + (gaps ? Pick(3) : 0);
    for (const int i : order) {
      entries[i].Offset = at;
      at += entries[i].Size + (gaps ? Pick(3) : 0);
    }
    if (!compacted_ && n > 0 && Pick(3) == 0) {
      TEntryLayout& low = entries[Pick(n)];
      low.Offset = 1;
      if (Pick(3) == 0) low.Size = at + Pick(4);  // damaged: its data runs past the end
    }
    g.Archive = ArchiveBytes(entries, at);
    if (compacted_) {
      for (size_t b = static_cast<size_t>(FirstCompactedOffset(n)) * 2048; b < g.Archive.size();
           ++b)
        g.Archive[b] = static_cast<char>(random_());
      return WithMod(g, entries, n);
    }
    for (size_t b = 8 + 32 * static_cast<size_t>(n); b < g.Archive.size(); ++b)
      g.Archive[b] = static_cast<char>(random_());
    if (Pick(4) == 0 && g.Archive.size() > 2048)
      g.Archive.resize(g.Archive.size() - 1 - Pick(2047));  // a part sector at the end
    return WithMod(g, entries, n);
  }

 private:
  TGenerated WithMod(TGenerated& g, const std::vector<TEntryLayout>& entries, int n) {
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
  bool compacted_;
};

}  // namespace merva::test
