#pragma once
// Whole-file operations on the checked block file: copies, flushes, folders made and removed,
// and the replacing write of a file beside its target.
#include <cstdint>
#include <string>
#include <vector>

#include "core/block_file.h"
#include "core/file_system.h"
#include "core/progress.h"

namespace merva {

// Copies `bytes` from the source's position to the target's position, exact both ways: inside
// the system where it can, else through one 1 MiB buffer.
void CopyExact(TBlockFile& source, TBlockFile& target, int64_t bytes);
// Writes `count` zero bytes.
void WriteZeros(TBlockFile& target, int64_t count);

// What a new version of a file is written under, beside it, until it takes the file's place.
extern const char kBesideSuffix[];  // ".merva-tmp"

// A new version of `target`, written and flushed beside it under `temp`, that takes the target's
// place in one replacing move: the target is never half-written, and a temporary file that did
// not take its place is removed.
class TFileBeside {
 public:
  TFileBeside(IFileSystem& fs, std::string temp, std::string target);
  // Under the target's name with kBesideSuffix.
  TFileBeside(IFileSystem& fs, const std::string& target)
      : TFileBeside(fs, target + kBesideSuffix, target) {}
  ~TFileBeside();
  TFileBeside(const TFileBeside&) = delete;
  TFileBeside& operator=(const TFileBeside&) = delete;
  // Where the new version is written.
  const std::string& Path() const { return temp_; }
  const std::string& Target() const { return target_; }
  // Moves it over the target; 0, or the system's error code with the temporary file removed.
  int Replace();
  // Someone else moves it from here on: it is no longer removed.
  void HandOver() { pending_ = false; }

 private:
  IFileSystem& fs_;
  std::string temp_, target_;
  bool pending_ = true;
};

// Clears a name that is the program's own (a temporary name, a leftover of a killed run): a file
// or a link at it is deleted (a link itself, never what it points to), a folder is left alone.
void RemoveStaleName(IFileSystem& fs, const std::string& path);
// Refuses, before a run changes anything, a file it would replace that carries Windows'
// read-only attribute: moved aside, it could never be removed, and the run never finished.
void RefuseReadOnly(IFileSystem& fs, const std::string& path);

std::string ReadWholeFile(IFileSystem& fs, const std::string& path);
void WriteFileFlushed(IFileSystem& fs, const std::string& path, const std::string& bytes);
// The same, not flushed: see FlushFiles.
void WriteWholeFile(IFileSystem& fs, const std::string& path, const std::string& bytes);
// Copies `count` bytes of `source` starting at `position` to the target's position; what lies
// outside `source` is written as zeros.
void AppendRange(TBlockFile& source, int64_t position, int64_t count, TBlockFile& target);
// The same into a new file `to`. Not flushed: see FlushFiles.
void CopyRange(IFileSystem& fs, TBlockFile& source, int64_t position, int64_t count,
               const std::string& to);
// Copies a whole file to a new file `to`, flushed when `flush` is set; returns its size.
int64_t CopyWholeFile(IFileSystem& fs, const std::string& from, const std::string& to, bool flush);
// Flushes files written before. Many files are flushed side by side, since each flush waits for
// the disk on its own: thousands of kept files would otherwise take seconds.
// `progress`, when given, is told meanwhile.
void FlushFiles(IFileSystem& fs, const std::vector<std::string>& paths,
                IProgress* progress = nullptr);
// Creates a folder and every folder above it that is missing.
void CreateFolderPath(IFileSystem& fs, const std::string& path);
// Removes a folder with everything in it, as far as it can; never raises. A link inside is
// removed itself, never followed; a folder that is a link is left alone.
void RemoveFolderTree(IFileSystem& fs, const std::string& path);
// The first link (symbolic link, junction) on the way from `folder` to `folder\relative`, the
// last part included; empty when there is none. What lies beyond a link is outside the folder.
std::string LinkOnTheWay(IFileSystem& fs, const std::string& folder, const std::string& relative);
// The message for such a link, ending in "Nothing was changed.".
std::string LinkOnTheWayText(const std::string& folderKind, const std::string& link);
// `name` with every character that some file system refuses (control characters and
// <>:"/\|?*) turned into "_".
std::string FileSystemSafeName(std::string name);
// The folder part of a path, without the last separator.
std::string ParentFolder(const std::string& path);
// The key under which the system finds `path`, existing or not: from the root, the part that
// exists as the system knows it (links resolved), the rest compared as Windows compares names.
// Two paths with one key name one place, however they are spelt.
std::string PlaceKey(IFileSystem& fs, const std::string& path);
// True when `path` is `folder` or lies below it (both as PlaceKey gives them).
bool PlaceIsInside(const std::string& pathKey, const std::string& folderKey);

}  // namespace merva
