#include <cstring>
#include <utility>

#include "archive/archive.h"
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/errors.h"

namespace merva {

namespace {

// The selection sort as written: for each position, the first entry of the smallest Offset
// among the rest is exchanged into it.
void SelectionSort(std::vector<TArchiveEntry>& entries, int32_t count,
                   std::vector<int32_t>* carried) {
  for (int32_t i = 0; i + 1 < count; ++i) {
    int32_t m = i;
    for (int32_t j = i + 1; j < count; ++j)
      if (entries[j].Offset < entries[m].Offset) m = j;
    std::swap(entries[i], entries[m]);
    if (carried) std::swap((*carried)[i], (*carried)[m]);
  }
}

// The same exchanges, found in logarithmic time: a tournament tree over the positions keeps
// the first position of the smallest Offset in each range, so the game's 16,000-entry
// directory (and far larger ones) sorts at once while the order among equal offsets stays
// exactly the selection sort's.
void TournamentSelectionSort(std::vector<TArchiveEntry>& entries, int32_t count,
                             std::vector<int32_t>* carried) {
  size_t leaves = 1;
  while (leaves < static_cast<size_t>(count)) leaves *= 2;
  std::vector<int32_t> tree(2 * leaves, -1);  // position of the winner, -1 for none
  auto better = [&](int32_t a, int32_t b) {
    if (a < 0) return b;
    if (b < 0) return a;
    return entries[b].Offset < entries[a].Offset ? b : a;  // ties keep the earlier position
  };
  auto update = [&](size_t position, int32_t value) {
    size_t node = leaves + position;
    tree[node] = value;
    for (node /= 2; node >= 1; node /= 2) tree[node] = better(tree[2 * node], tree[2 * node + 1]);
  };
  for (int32_t p = 0; p < count; ++p) tree[leaves + p] = p;
  for (size_t node = leaves - 1; node >= 1; --node)
    tree[node] = better(tree[2 * node], tree[2 * node + 1]);
  for (int32_t i = 0; i + 1 < count; ++i) {
    const int32_t m = tree[1];  // the first smallest among positions i..count-1
    std::swap(entries[i], entries[m]);
    if (carried) std::swap((*carried)[i], (*carried)[m]);
    update(static_cast<size_t>(i), -1);  // position i is settled
    if (m != i) update(static_cast<size_t>(m), m);
  }
}

}  // namespace

void SortArchiveEntries(std::vector<TArchiveEntry>& entries, int32_t count,
                        std::vector<int32_t>* carried) {
  if (count < 64) {
    SelectionSort(entries, count, carried);
  } else {
    TournamentSelectionSort(entries, count, carried);
  }
}

void SortArchiveEntriesByDefinition(std::vector<TArchiveEntry>& entries, int32_t count) {
  SelectionSort(entries, count, nullptr);
}

void RewriteSortedDirectory(const std::string& path, IFileSystem& fs) {
  // A directory that was not read is never written back.
  TArchiveFile archive(fs);
  if (!archive.Open(path, TOpenAccess::kReadWriteOthersRead)) throw EArchiveMissing(path);
  archive.SortDirectory();
  archive.Close();
}

}  // namespace merva
