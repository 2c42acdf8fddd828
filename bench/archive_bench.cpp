// Measures installation at the game's scale: a synthetic archive shaped like the stock one
// (16,000 entries, about 1 GiB, data partly out of directory order), a mod put into it (files
// replaced in place, moved to the end, appended), the directory rewrite and the compaction,
// timed beside a plain `cp` of the same archive in the same run. Also the directory sort on
// 100,000 entries.
//
//   archive_bench FOLDER [ENTRIES] [MOD_FILES]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "core/block_file.h"

using namespace merva;
using Clock = std::chrono::steady_clock;

namespace {

class NoBoxes : public IMessageBoxes {
 public:
  void Show(TBoxKind, const std::string& text) override {
    std::fprintf(stderr, "box: %s\n", text.c_str());
  }
};
class NoPump : public IMessagePump {
 public:
  void ProcessMessages() override {}
};
class NoProgress : public IProgress {
 public:
  void SetMin(int) override {}
  void SetMax(int) override {}
  void SetPosition(int value) override { position_ = value; }
  int Position() const override { return position_; }

 private:
  int position_ = 0;
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Name(int i) {
  return "stock" + std::to_string(i) + ".dff";
}

// Writes the archive: sizes of 1 to 63 sectors (32 on average, 64 KiB), a tenth of the entries'
// data swapped out of directory order.
void MakeArchive(const std::string& path, int entries, std::mt19937& random) {
  std::vector<TArchiveEntry> directory(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) {
    directory[i] = TArchiveEntry{};
    directory[i].Size = 1 + static_cast<int32_t>(random() % 63);
    const std::string name = Name(i);
    std::memcpy(directory[i].Name, name.data(), std::min(name.size(), sizeof directory[i].Name));
  }
  std::vector<int> order(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) order[i] = i;
  for (int k = 0; k < entries / 10; ++k)
    std::swap(order[random() % entries], order[random() % entries]);
  int32_t at = FirstCompactedOffset(entries);
  for (int i : order) {
    directory[i].Offset = at;
    at += directory[i].Size;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<char> head(static_cast<size_t>(FirstCompactedOffset(entries)) * kSector, 0);
  std::memcpy(head.data(), "VER2", 4);
  std::memcpy(head.data() + 4, &entries, 4);
  std::memcpy(head.data() + 8, directory.data(), directory.size() * 32);
  out.write(head.data(), static_cast<std::streamsize>(head.size()));
  std::vector<char> sector(kSector);
  for (int i : order) {
    for (int32_t s = 0; s < directory[i].Size; ++s) {
      std::memset(sector.data(), 'a' + (i + s) % 26, sector.size());
      out.write(sector.data(), kSector);
    }
  }
}

// The mod: a third of the files fit in place, a third are larger, a third are new.
std::vector<std::string> MakeMod(const std::string& folder, int files, int entries,
                                 std::mt19937& random) {
  std::vector<std::string> paths;
  for (int k = 0; k < files; ++k) {
    const int kind = k % 3;
    const std::string name =
        kind == 2 ? "mod" + std::to_string(k) + ".txd" : Name(static_cast<int>(random() % entries));
    const size_t bytes = kind == 0 ? 1000 : kind == 1 ? 70 * kSector : 20 * kSector + 17;
    const std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'm');
    paths.push_back(path);
  }
  return paths;
}

double CopyTime(const std::string& from, const std::string& to, bool userSpace = false) {
  const auto start = Clock::now();
  // cp copies inside the kernel (copy_file_range); dd with 64 KiB blocks copies through a
  // buffer in the program, as the installer must.
  const std::string command =
      userSpace ? "dd if='" + from + "' of='" + to + "' bs=64K status=none && sync"
                : "cp '" + from + "' '" + to + "' && sync";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cp failed\n");
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: archive_bench FOLDER [ENTRIES] [MOD_FILES]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int entries = argc > 2 ? std::atoi(argv[2]) : 16000;
  std::vector<int> modSizes = {50, 1000};
  if (argc > 3) modSizes = {std::atoi(argv[3])};
  std::mt19937 random(1);
  IFileSystem& fs = SystemFileSystem();
  NoBoxes boxes;
  NoPump pump;
  NoProgress progress;
  std::system(("mkdir -p '" + folder + "/game/models' '" + folder + "/mod'").c_str());
  const std::string stock = folder + "/stock.img";
  const std::string img = folder + "/game/models/gta3.img";
  MakeArchive(stock, entries, random);

  for (int files : modSizes) {
    const double copy = CopyTime(stock, img);  // also lays out the archive for the run
    const std::vector<std::string> mod = MakeMod(folder + "/mod", files, entries, random);
    const auto start = Clock::now();
    TGTA3Archive archive;
    archive.FileName = img;
    for (const std::string& path : mod) {
      std::string windowsPath = path;
      for (char& c : windowsPath)
        if (c == '/') c = '\\';
      PutFileIntoArchive(archive, windowsPath, {fs, boxes, pump});
    }
    const double put = Seconds(start);
    RewriteSortedDirectory(archive, fs, boxes);
    const auto compactStart = Clock::now();
    CompactArchive(archive, folder + "/game", progress, fs);
    const double compact = Seconds(compactStart);
    std::system("sync");
    const double total = Seconds(start);
    // The copy is timed before and after the install, since the page cache favours either.
    const double copyAfter = CopyTime(img, folder + "/copy.img");
    const double meanCopy = (copy + copyAfter) / 2;
    const double ddCopy = CopyTime(img, folder + "/copy.img", true);
    std::printf(
        "%d entries, %d mod files: put %.2f s, compact %.2f s, install+compact %.2f s, "
        "cp %.2f s and %.2f s (ratio %.2f), dd bs=64K %.2f s (ratio %.2f)\n",
        entries, files, put, compact, total, copy, copyAfter, total / meanCopy, ddCopy,
        total / ddCopy);
    std::remove((folder + "/copy.img").c_str());
  }

  std::vector<TArchiveEntry> big(100000);
  for (size_t i = 0; i < big.size(); ++i) big[i].Offset = static_cast<int32_t>(random() % 50000);
  const auto sortStart = Clock::now();
  SortArchiveEntries(big, static_cast<int32_t>(big.size()));
  std::printf("sort of 100000 entries: %.3f s\n", Seconds(sortStart));
  std::system(("rm -rf '" + folder + "'").c_str());
  return 0;
}
