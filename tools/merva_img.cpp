// merva-img: lists, checks and changes a game IMG archive exactly as the installer does.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "archive/archive.h"
#include "core/block_file.h"
#include "core/errors.h"
#include "tools/cli_support.h"

using namespace merva;

namespace {

const char kUsage[] =
    "usage: merva-img COMMAND ARCHIVE [FILE...]\n"
    "\n"
    "  list ARCHIVE           the directory: index, offset and size (sectors), name\n"
    "  check ARCHIVE          the header, every entry inside the file, no overlaps;\n"
    "                         warns of what the game cannot use. Exit 0 only when sound\n"
    "  put ARCHIVE FILE...    puts each file in turn, replacing entries of its name\n"
    "                         or appending a new one\n"
    "  sort ARCHIVE           sorts the directory by data position and writes it back\n"
    "  compact ARCHIVE        rebuilds the archive without gaps through temp.img beside it\n"
    "  create ARCHIVE         writes a new, empty archive\n";

struct Tool {
  ConsoleBoxes boxes{"merva-img"};
  NoMessages pump;
  IFileSystem& fs = SystemFileSystem();
  TGTA3Archive archive;

  void Open(const std::string& path) {
    OpenArchive(archive, path, fs, boxes);
    if (!archive.Loaded) throw EAbort();
  }
};

int List(Tool& tool, const std::string& path) {
  tool.Open(path);
  for (int32_t i = 0; i < tool.archive.Count; ++i) {
    const TArchiveEntry& e = tool.archive.Entries[i];
    std::printf("%d %d %d %s\n", i, e.Offset, e.Size, ConsoleText(EntryName(e)).c_str());
  }
  return 0;
}

int Check(Tool& tool, const std::string& path) {
  TBlockFile file = TBlockFile::OpenReadOnly(tool.fs, path);
  const int64_t length = file.Size();
  file.Close();
  tool.Open(path);
  const TGTA3Archive& a = tool.archive;
  int problems = 0, warnings = 0;
  auto problem = [&](const std::string& text) {
    std::printf("error: %s\n", text.c_str());
    ++problems;
  };
  const int64_t directoryEnd = 8 + int64_t{a.Count} * 32;
  std::vector<int32_t> withData;
  for (int32_t i = 0; i < a.Count; ++i) {
    const TArchiveEntry& e = a.Entries[i];
    const std::string name = ConsoleText(EntryName(e));
    const std::string where = "entry " + std::to_string(i) + " (" + name + ")";
    const int64_t start = int64_t{e.Offset} * kSector;
    const int64_t end = start + int64_t{e.Size} * kSector;
    if (e.Size < 0) problem(where + " has a negative size");
    if (e.Size > 0 && start < directoryEnd) problem(where + " starts inside the directory");
    if (e.Size > 0 && end > length) problem(where + " runs past the end of the file");
    if (e.Size > 0) withData.push_back(i);
    if (std::string(e.Name, sizeof e.Name).find('\0') == std::string::npos) {
      std::printf("warning: %s: the game reads only the first 23 characters of the name\n",
                  where.c_str());
      ++warnings;
    }
    if (e.Size > 65535) {
      std::printf("warning: %s: more than 65,535 sectors, which the game cannot read\n",
                  where.c_str());
      ++warnings;
    }
  }
  std::sort(withData.begin(), withData.end(),
            [&](int32_t x, int32_t y) { return a.Entries[x].Offset < a.Entries[y].Offset; });
  for (size_t k = 1; k < withData.size(); ++k) {
    const TArchiveEntry& before = a.Entries[withData[k - 1]];
    const TArchiveEntry& after = a.Entries[withData[k]];
    if (int64_t{before.Offset} + before.Size > after.Offset)
      problem("entries " + std::to_string(withData[k - 1]) + " and " + std::to_string(withData[k]) +
              " overlap");
  }
  std::printf("%s: %d entries, %lld bytes, %d errors, %d warnings\n",
              problems ? "damaged" : "sound", a.Count, static_cast<long long>(length), problems,
              warnings);
  return problems ? 1 : 0;
}

int Put(Tool& tool, const std::string& path, const std::vector<std::string>& files) {
  tool.archive.FileName = path;
  ConsoleProgress progress("put");
  progress.SetMax(static_cast<int>(files.size()));
  for (const std::string& file : files) {
    PutFileIntoArchive(tool.archive, file, {tool.fs, tool.boxes, tool.pump});
    progress.SetPosition(progress.Position() + 1);
  }
  return 0;
}

int Sort(Tool& tool, const std::string& path) {
  tool.archive.FileName = path;
  RewriteSortedDirectory(tool.archive, tool.fs, tool.boxes);
  return 0;
}

int Compact(Tool& tool, const std::string& path) {
  const auto slash = path.find_last_of('\\');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  ConsoleProgress progress("compact");
  CompactArchiveFile(tool.archive, path, folder + "temp.img", progress, tool.fs);
  return 0;
}

int Create(Tool& tool, const std::string& path) {
  TBlockFile file = TBlockFile::Create(tool.fs, path);
  char sector[kSector] = {'V', 'E', 'R', '2'};  // no entries yet, padded to one sector
  file.WriteExact(sector, sizeof sector);
  file.Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return RunTool("merva-img", [&] {
    const std::vector<std::string> args = ToolArguments(argc, argv);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
      std::cout << kUsage;
      return args.empty() ? 2 : 0;
    }
    const std::string& command = args[0];
    if (args.size() < 2 || (command == "put" && args.size() < 3)) {
      std::cerr << kUsage;
      return 2;
    }
    Tool tool;
    if (command == "list") return List(tool, args[1]);
    if (command == "check") return Check(tool, args[1]);
    if (command == "put") return Put(tool, args[1], {args.begin() + 2, args.end()});
    if (command == "sort") return Sort(tool, args[1]);
    if (command == "compact") return Compact(tool, args[1]);
    if (command == "create") return Create(tool, args[1]);
    std::cerr << "merva-img: unknown command " << command << "\n" << kUsage;
    return 2;
  });
}
