// Measures installation at the game's scale: a synthetic archive shaped like the stock one
// (16,000 entries, about 1 GiB, data partly out of directory order; random bytes, as the game's
// compressed textures and binary models are, or with --letters one repeated letter per sector),
// mods of 50, 1,000 and
// 5,000 files installed into it with `merva-img install` (files replaced in place, moved to the
// end, appended), and the compaction alone; natively and, when Wine and the Windows build are
// there, with merva-img.exe under Wine. Every time is printed beside a safe replacing copy
// (`cp`, `sync`, `mv` over the original) of as many bytes as the step leaves (the archive and
// the restore point), measured in the same run, as the median of each round's own ratio, with
// the bytes the kernel counts as written for the step (ru_oublock) against those it leaves, its
// CPU time and peak resident memory, and, for its last round, the time of
// each step of the run (MERVA_TIMINGS). Every installation keeps its restore
// point (its size is printed), and taking it back (`merva-img undo`) is timed the same way, as
// the newest and under a later installation of half as many of the same files; and the same
// mod with half of its files into models\gta_int.img (a copy of the stock archive), which
// rebuilds both archives. Also
// the planning of a 5,000-file put into the 16,000-entry directory and the directory sort on
// 100,000 entries. The disk's floor comes first: the archive read, written and copied, and
// copied entry by entry as a rebuild copies it. Every round is printed; the disk is settled (sync
// and a pause) before each timed step, and the copy and the step alternate, so that neither pays
// for the other. BENCH_NO_WINE=1 leaves Wine out; BENCH_MODS="1000 5000" measures only those mods;
// BENCH_NO_COMPACT=1 leaves the compaction out; BENCH_MERVA_IMG=PATH measures another build's
// merva-img (to set two builds side by side). With --cold the page cache is dropped before
// every timed step and every copy, as a player's archive lies on the disk when the installer
// starts (root only on Linux; without root it says so and measures warm).
//
//   archive_bench FOLDER [ENTRIES] [ROUNDS] [--letters] [--cold]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/text.h"
#include "package/package.h"
#include "tests/support/fakes.h"

using namespace merva;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Name(int i) {
  return "stock" + std::to_string(i) + ".dff";
}

struct TRun {
  double Seconds = 0;
  double CpuSeconds = 0;
  double PeakMiB = 0;
  double WrittenMiB = 0;  // what the kernel counts as written for it (ru_oublock)
  bool Ok = false;
};

double Mib(double bytes) {
  return bytes / (1 << 20);
}

// Runs a command (no shell) and waits for it: its wall time and its own peak resident memory.
TRun Child(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::fflush(stdout);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (!std::getenv("BENCH_VERBOSE")) {
      if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  TRun run;
  run.Seconds = Seconds(start);
  run.PeakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  run.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.WrittenMiB = Mib(static_cast<double>(usage.ru_oublock) * 512);
  run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!run.Ok) std::fprintf(stderr, "failed: %s\n", command[0].c_str());
  return run;
}

void Shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
}

// Writes the archive: sizes of 1 to 63 sectors (32 on average, 64 KiB), a tenth of the entries'
// data swapped out of directory order.
void MakeArchive(const std::string& path, int entries, std::mt19937& random, bool letters) {
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
  std::vector<uint64_t> sector(kSector / sizeof(uint64_t));
  std::mt19937_64 bytes(random());
  for (int i : order) {
    for (int32_t s = 0; s < directory[i].Size; ++s) {
      if (letters)
        std::memset(sector.data(), 'a' + (i + s) % 26, kSector);
      else
        for (uint64_t& word : sector) word = bytes();
      out.write(reinterpret_cast<const char*>(sector.data()), kSector);
    }
  }
}

// A mod folder made by merva-pack: a third of the files fit in place, a third are larger than
// the entry they replace, a third are new.
// With `other`, every second file goes into that archive of the game instead of gta3.img.
void MakeMod(const std::string& folder, int files, int entries, bool letters,
             const std::string& other = "") {
  std::mt19937 random(static_cast<unsigned>(files));
  Shell("rm -rf '" + folder + "' && mkdir -p '" + folder + "/files'");
  std::ofstream manifest(folder + "/manifest.txt");
  manifest << "title = bench\n";
  for (int k = 0; k < files; ++k) {
    const int kind = k % 3;
    const std::string name = kind == 2 ? "mod" + std::to_string(k) + ".txd"
                                       : Name(static_cast<int>((int64_t{k} * 7919) % entries));
    const size_t bytes = kind == 0 ? 1000 : kind == 1 ? 70 * kSector : 20 * kSector + 17;
    std::string data(bytes, 'm');
    if (!letters)
      for (char& c : data) c = static_cast<char>(random());
    std::ofstream(folder + "/files/" + name, std::ios::binary) << data;
    const bool elsewhere = !other.empty() && k % 2 == 1;
    manifest << (elsewhere ? "archive " + other : std::string("archive"))
             << " = files/" + name + "\n";
  }
  manifest.close();
  Child({MERVA_PACK, "build", folder + "/manifest.txt", folder});
  Shell("rm -rf '" + folder + "/files'");
}

bool g_cold = false;

// A virtual machine may give the memory it frees back to its host, which takes it over the next
// seconds (here the kernel's page reporting, counted in this file). Whatever the guest then
// touches first costs a fault on the host: a command timed while memory is still going back runs
// on pages it gets for free, or not, by chance, and the same copy took 0.8 s one moment and 3 s
// the next. So, cold, every command starts once the count has held still for four seconds.
void WaitForFreedMemoryToGoBack() {
  const char* reported = "/sys/module/page_reporting/parameters/reported_kib";
  if (access(reported, R_OK) != 0) return;
  std::string last;
  int still = 0;
  for (int polls = 0; polls < 80 && still < 8; ++polls) {
    std::ifstream file(reported);
    std::string now;
    std::getline(file, now);
    still = now == last ? still + 1 : 0;
    last = now;
    usleep(500 * 1000);
  }
}

// Each measurement starts with nothing waiting to be written, and the disk done with what it
// was sent, so that no step pays for the write-back of another; cold, with nothing read before
// in memory either.
void Settle() {
  Shell("sync && sleep 1");
  if (!g_cold) return;
  Shell("echo 3 > /proc/sys/vm/drop_caches && sleep 1");
  WaitForFreedMemoryToGoBack();
}

// The merva-img measured: this build's, or another's.
std::string Img() {
  const char* other = std::getenv("BENCH_MERVA_IMG");
  return other ? other : MERVA_IMG;
}

// The reference every step is measured against: a safe replacing copy of as many bytes as the
// step leaves on the disk, as a careful script would make it: copy, flush the copy, move it over
// the original.
TRun MeasureSafeCopy(const std::string& from, const std::string& scratch,
                     const std::string& original) {
  Shell("cp '" + from + "' '" + original + "'");
  Settle();
  const TRun copy = Child(
      {"sh", "-c", "cp \"$0\" \"$1\" && sync \"$1\" && mv \"$1\" \"$2\"", from, scratch, original});
  std::remove(original.c_str());
  return copy;
}

// The bytes a step leaves: the archives and the restore folder.
int64_t BytesLeft(const std::vector<std::string>& targets) {
  int64_t bytes = 0;
  for (const std::string& target : targets)
    bytes += std::max<int64_t>(
        static_cast<int64_t>(std::ifstream(target, std::ios::ate | std::ios::binary).tellg()), 0);
  const std::string restore = std::getenv("MERVA_RESTORE_DIR");
  FILE* du = popen(("du -sb '" + restore + "' 2>/dev/null | cut -f1").c_str(), "r");
  long long points = 0;
  if (du) {
    if (std::fscanf(du, "%lld", &points) != 1) points = 0;
    pclose(du);
  }
  return std::max<int64_t>(bytes, 0) + points;
}

// A file of `bytes` bytes that begins as `stock` does, the rest random: what the safe copy copies.
void MakeSameBytes(const std::string& stock, const std::string& path, int64_t bytes) {
  Shell("head -c " + std::to_string(bytes) + " '" + stock + "' > '" + path + "'");
  const int64_t have =
      static_cast<int64_t>(std::ifstream(path, std::ios::ate | std::ios::binary).tellg());
  if (have < bytes)
    Shell("head -c " + std::to_string(bytes - have) + " /dev/urandom >> '" + path + "'");
}

int g_repeats = 3;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Times a step beside a safe copy of as many bytes as it leaves, made just before or after it; the
// writes to disk vary from one moment to the next, so each is the median of a few rounds, each
// round's own ratio. A first run, untimed, tells how many bytes the step leaves. `prepare`, when
// given, runs after the archive is in place and before the step, untimed. `others` are more
// archives of the game, each a copy of the stock one, that the step changes too: the safe copy
// copies as many bytes as all of them and the restore point leave.
void Measure(const char* what, const std::string& stock, const std::string& scratch,
             const std::string& target, const std::vector<std::string>& command,
             const std::vector<std::string>& prepare = {},
             const std::vector<std::string>& others = {}) {
  std::vector<std::string> targets = others;
  targets.insert(targets.begin(), target);
  const auto fresh = [&] {
    for (const std::string& archive : targets) Shell("cp '" + stock + "' '" + archive + "'");
    Shell(std::string("rm -rf '") + std::getenv("MERVA_RESTORE_DIR") + "'");
  };
  fresh();
  bool ok = prepare.empty() || Child(prepare).Ok;
  ok = Child(command).Ok && ok;
  const int64_t left = BytesLeft(targets);
  const std::string same = scratch + ".same";
  MakeSameBytes(stock, same, left);
  std::vector<double> ratios, steps, copies, cpu, written, copyWritten;
  double peak = 0;
  for (int round = 0; round < g_repeats; ++round) {
    // Which of the two goes first alternates, so that neither always finds the disk and the
    // memory as the other left them.
    const bool copyFirst = round % 2 == 0;
    TRun copy;
    if (copyFirst) copy = MeasureSafeCopy(same, scratch, target);
    fresh();
    if (!prepare.empty()) ok = Child(prepare).Ok && ok;
    Settle();
    if (round == g_repeats - 1) setenv("MERVA_TIMINGS", "1", 1);  // the steps of the last round
    const TRun step = Child(command);
    unsetenv("MERVA_TIMINGS");
    if (!copyFirst) copy = MeasureSafeCopy(same, scratch, target);  // the next round starts afresh
    ok = ok && step.Ok;
    steps.push_back(step.Seconds);
    copies.push_back(copy.Seconds);
    ratios.push_back(step.Seconds / copy.Seconds);
    cpu.push_back(step.CpuSeconds);
    written.push_back(step.WrittenMiB);
    copyWritten.push_back(copy.WrittenMiB);
    peak = std::max(peak, step.PeakMiB);
    std::printf("  round %d: %6.2f s against %.2f s (%.2fx), %.0f MiB written (copy %.0f)\n",
                round + 1, step.Seconds, copy.Seconds, ratios.back(), step.WrittenMiB,
                copy.WrittenMiB);
  }
  std::remove(same.c_str());
  std::printf(
      "%-40s %6.2f s  %5.2fx safe copy of %.0f MiB (%.2f s)  written %.0f MiB (%.2fx)  cpu %.2f s  "
      "peak %5.1f MiB%s\n",
      what, Median(steps), Median(ratios), Mib(static_cast<double>(left)), Median(copies),
      Median(written), Median(written) / Mib(static_cast<double>(left)), Median(cpu), peak,
      ok ? "" : "  FAILED");
  std::fflush(stdout);
}

// The archive copied as a rebuild copies it, with nothing else: each entry's data one kernel
// copy (copy_file_range), read in the order it lies in and written where the directory's order
// puts it, then flushed. What a rebuild cannot go under, however little it does besides.
double EntryByEntryCopy(const std::string& stock, const std::string& scratch) {
  TArchiveFile archive(SystemFileSystem());
  std::string img = stock;
  std::replace(img.begin(), img.end(), '/', '\\');
  archive.Open(img, TOpenAccess::kReadOnly);
  std::vector<TArchiveEntry> entries = archive.State().Entries;
  archive.Close();
  std::vector<int64_t> to(entries.size());
  int64_t end = SectorBytes(FirstCompactedOffset(static_cast<int32_t>(entries.size())));
  for (size_t i = 0; i < entries.size(); ++i) {
    to[i] = end;
    end += SectorBytes(entries[i].Size);
  }
  std::vector<size_t> order(entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return entries[a].Offset < entries[b].Offset; });
  Settle();
  const auto start = Clock::now();
  const int in = open(stock.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = open(scratch.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  for (const size_t i : order) {
    loff_t from = EntryStart(entries[i]), at = to[i];
    for (int64_t left = SectorBytes(entries[i].Size); left > 0;) {
      const ssize_t n = copy_file_range(in, &from, out, &at, static_cast<size_t>(left), 0);
      if (n <= 0) {  // a copy that stopped short would time as a fast floor
        std::perror(("entry by entry: " + scratch).c_str());
        std::exit(1);
      }
      left -= n;
    }
  }
  fsync(out);
  close(out);
  close(in);
  const double seconds = Seconds(start);
  std::remove(scratch.c_str());
  return seconds;
}

// Where the disk itself is the floor: the archive's bytes read cold, written from memory and
// flushed, both (the safe copy), and the same copy made entry by entry.
void MeasureDisk(const std::string& stock, const std::string& scratch) {
  std::vector<double> reads, writes, copies, entryByEntry, ratios;
  for (int round = 0; round < g_repeats; ++round) {
    Settle();
    reads.push_back(Child({"sh", "-c", "cat \"$0\" > /dev/null", stock}).Seconds);
    Shell("cat '" + stock + "' > /dev/null");  // in memory for the write alone
    Shell("sync");
    writes.push_back(
        Child({"sh", "-c", "cat \"$0\" > \"$1\" && sync \"$1\"", stock, scratch}).Seconds);
    std::remove(scratch.c_str());
    copies.push_back(MeasureSafeCopy(stock, scratch, scratch + ".target").Seconds);
    entryByEntry.push_back(EntryByEntryCopy(stock, scratch));
    ratios.push_back(entryByEntry.back() / copies.back());
  }
  std::printf(
      "%-40s read %.2f s, write and flush %.2f s, safe copy %.2f s, entry by entry %.2f s "
      "(%.2fx)\n",
      "the disk, the archive's bytes", Median(reads), Median(writes), Median(copies),
      Median(entryByEntry), Median(ratios));
}

std::string WinePath(const std::string& path) {
  std::string out = "Z:" + path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

// Finding the places of a mod's files: the plan of a put of every file, in memory.
double PlanTime(const std::string& archivePath, const std::string& packagePath) {
  IFileSystem& fs = SystemFileSystem();
  std::string img = archivePath, cab = packagePath;
  std::replace(img.begin(), img.end(), '/', '\\');
  std::replace(cab.begin(), cab.end(), '/', '\\');
  TBlockFile package = TBlockFile::OpenReadOnly(fs, cab);
  test::TFakeBoxes boxes;
  TPackageDirectory directory;
  ReadPackageDirectory(package, directory, boxes);
  TArchiveFile archive(fs);
  archive.Open(img, TOpenAccess::kReadOnly);
  const auto start = Clock::now();
  TPlannedBody plan(archive.File(), archive.File().Size());
  archive.WriteTo(plan);
  auto position = static_cast<uint32_t>(PackageDataOffset(directory.PackageEntryCount));
  for (const TPackageEntry& entry : directory.PackageEntries) {
    archive.Put(AsciiLower(PackageEntryName(entry)), {package, position, entry.Size}, nullptr);
    position += entry.Size;
  }
  archive.SortDirectory();
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const auto letters = std::find(args.begin(), args.end(), "--letters");
  const bool withLetters = letters != args.end();
  if (withLetters) args.erase(letters);
  const auto cold = std::find(args.begin(), args.end(), "--cold");
  if (cold != args.end()) {
    args.erase(cold);
    g_cold = geteuid() == 0;
    if (!g_cold) std::printf("--cold needs root to drop the page cache: measured warm\n");
  }
  if (args.empty()) {
    std::fprintf(stderr, "usage: archive_bench FOLDER [ENTRIES] [ROUNDS] [--letters] [--cold]\n");
    return 2;
  }
  const std::string folder = args[0];
  const int entries = args.size() > 1 ? std::atoi(args[1].c_str()) : 16000;
  if (args.size() > 2) g_repeats = std::max(1, std::atoi(args[2].c_str()));
  const std::string exe = MERVA_IMG_EXE;
  // The shipped 32-bit tool is timed where Wine's 32-bit loader starts: a kernel without
  // 32-bit support refuses it, and the tool is then not timed at all rather than timed failing.
  const bool wine = !std::getenv("BENCH_NO_WINE") && access(exe.c_str(), F_OK) == 0 &&
                    std::system("/usr/lib/wine/wine --version >/dev/null 2>&1") == 0;
  if (!wine && !std::getenv("BENCH_NO_WINE"))
    std::printf("Wine cannot start the 32-bit %s here: measured natively only\n", exe.c_str());
  if (wine) {
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEARCH", "win32", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d", 1);
    if (!std::getenv("WINEPREFIX")) setenv("WINEPREFIX", (folder + "/wine-prefix").c_str(), 1);
    Shell("wineserver -p >/dev/null 2>&1; wine '" + exe + "' --help >/dev/null 2>&1");
  }
  // Restore points go beside the archives, never into the user's own folder.
  const std::string restore = folder + "/restore";
  setenv("MERVA_RESTORE_DIR", restore.c_str(), 1);
  std::mt19937 random(1);
  Shell("mkdir -p '" + folder + "/game/models'");
  const std::string stock = folder + "/stock.img";
  const std::string img = folder + "/game/models/gta3.img";
  const std::string scratch = folder + "/copy.img";
  MakeArchive(stock, entries, random, withLetters);
  std::printf(
      "archive: %d entries, %.2f GiB of %s; each step beside a safe copy made just before or "
      "after it, medians of %d rounds, %s\n",
      entries, static_cast<double>(std::ifstream(stock, std::ios::ate).tellg()) / (1 << 30),
      withLetters ? "one letter per sector" : "random bytes", g_repeats,
      g_cold ? "cold (the page cache dropped before each)" : "warm");

  MeasureDisk(stock, scratch);
  const std::string compacted = folder + "/compacted.img";
  const bool compaction = !std::getenv("BENCH_NO_COMPACT");
  if (compaction)
    Measure("compaction, merva-img compact", stock, scratch, compacted,
            {Img(), "compact", compacted});
  if (compaction && wine)
    Measure("compaction, merva-img.exe (Wine)", stock, scratch, compacted,
            {"wine", exe, "compact", WinePath(compacted)});
  std::remove(compacted.c_str());

  std::vector<int> mods = {50, 1000, 5000};
  if (const char* only = std::getenv("BENCH_MODS")) {
    mods.clear();
    for (const std::string& word : SplitAt(only, " ,"))
      if (!word.empty()) mods.push_back(std::atoi(word.c_str()));
  }
  for (const int files : mods) {
    const std::string mod = folder + "/mod" + std::to_string(files);
    MakeMod(mod, files, entries, withLetters);
    const std::string label = std::to_string(files) + "-file mod, merva-img install";
    const std::vector<std::string> install = {Img(), "install", folder + "/game", mod};
    Measure(label.c_str(), stock, scratch, img, install);
    Shell("printf '%-40s %s bytes on disk; ' 'its restore point' \"$(du -sb '" + restore +
          "' | cut -f1)\"; grep -h 'keeps' '" + restore + "'/*/changes.txt");
    if (std::getenv("BENCH_INSTALL_ONLY")) {
      Shell("rm -rf '" + mod + "'");
      continue;
    }
    const std::string undoLabel = std::to_string(files) + "-file mod, merva-img undo";
    Measure(undoLabel.c_str(), stock, scratch, img, {Img(), "undo", folder + "/game"}, install);
    // The same installation taken back under a later one that rewrote half of its files: one
    // rebuild like the newest's, and the later restore point rewritten.
    const std::string later = mod + "-later";
    MakeMod(later, files / 2, entries, withLetters);
    const std::string both = "'" + Img() + "' install '" + folder + "/game' '" + mod +
                             "' >/dev/null && '" + Img() + "' install '" + folder + "/game' '" +
                             later + "' >/dev/null";
    const std::string olderLabel = std::to_string(files) + "-file mod, undo under a later one";
    Measure(olderLabel.c_str(), stock, scratch, img,
            {Img(), "undo", "--point", "game 1", folder + "/game"}, {"sh", "-c", both});
    Shell("rm -rf '" + later + "'");
    // Half of the files into gta_int.img: two archives rebuilt, against a safe copy of both.
    const std::string interior = folder + "/game/models/gta_int.img";
    const std::string split = mod + "-split";
    MakeMod(split, files, entries, withLetters, "models\\gta_int.img");
    const std::string splitLabel = std::to_string(files) + "-file mod into two archives";
    Measure(splitLabel.c_str(), stock, scratch, img, {Img(), "install", folder + "/game", split},
            {}, {interior});
    Shell("rm -rf '" + split + "' '" + interior + "'");
    if (wine) {
      const std::string wineLabel = std::to_string(files) + "-file mod, merva-img.exe (Wine)";
      const std::vector<std::string> wineInstall = {
          "env",        "MERVA_RESTORE_DIR=" + WinePath(restore),
          "wine",       exe,
          "install",    WinePath(folder + "/game"),
          WinePath(mod)};
      Measure(wineLabel.c_str(), stock, scratch, img, wineInstall);
      const std::string wineUndo = std::to_string(files) + "-file mod, undo under Wine";
      Measure(wineUndo.c_str(), stock, scratch, img,
              {"env", "MERVA_RESTORE_DIR=" + WinePath(restore), "wine", exe, "undo",
               WinePath(folder + "/game")},
              wineInstall);
    }
    if (files == 5000) {
      std::printf("%-40s %6.3f s\n", "placing 5000 files in the directory",
                  PlanTime(stock, mod + "/data.cab"));
    }
    Shell("rm -rf '" + mod + "'");
  }

  std::vector<TArchiveEntry> big(100000);
  for (size_t i = 0; i < big.size(); ++i) big[i].Offset = static_cast<int32_t>(random() % 50000);
  const auto sortStart = Clock::now();
  SortArchiveEntries(big, static_cast<int32_t>(big.size()));
  std::printf("%-40s %6.3f s\n", "sort of 100000 entries", Seconds(sortStart));
  Shell("rm -rf '" + folder + "/game' '" + stock + "' '" + scratch + "' '" + restore + "'");
  return 0;
}
