#include "core/file_tools.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "core/block_file.h"
#include "core/errors.h"
#include "core/text.h"
#include "core/windows_names.h"

namespace merva {

namespace {
// Large enough that a copy through the program costs about what the system's own copy costs,
// small enough to keep memory flat whatever the file's size.
constexpr uint32_t kBufferBytes = 1 << 20;
const std::array<uint8_t, 2048> kZeros{};
}  // namespace

void CopyExact(TBlockFile& source, TBlockFile& target, int64_t bytes) {
  if (target.CopyFrom(source, bytes)) return;  // inside the system, where it can
  thread_local std::vector<uint8_t> buffer;
  buffer.resize(kBufferBytes);
  while (bytes > 0) {
    const auto n = static_cast<uint32_t>(std::min<int64_t>(bytes, kBufferBytes));
    source.ReadExact(buffer.data(), n);
    target.WriteExact(buffer.data(), n);
    bytes -= n;
  }
}

void WriteZeros(TBlockFile& target, int64_t count) {
  while (count > 0) {
    const auto n = static_cast<uint32_t>(std::min<int64_t>(count, kZeros.size()));
    target.WriteExact(kZeros.data(), n);
    count -= n;
  }
}

const char kBesideSuffix[] = ".merva-tmp";

TFileBeside::TFileBeside(IFileSystem& fs, std::string temp, std::string target)
    : fs_(fs), temp_(std::move(temp)), target_(std::move(target)) {
  // A temporary name is ours alone: what a killed run left there goes, and a link planted there
  // is removed itself, so that the new version is never written through it.
  RemoveStaleName(fs_, temp_);
}

void RemoveStaleName(IFileSystem& fs, const std::string& path) {
  if (fs.IsLink(path) || fs.FileExists(path)) fs.DeleteFile(path);
}

void RefuseReadOnly(IFileSystem& fs, const std::string& path) {
  if (!fs.IsLink(path) && fs.FileExists(path) && fs.IsReadOnly(path))
    throw EFileError(path,
                     "is read-only (its read-only attribute is set), so it cannot be "
                     "replaced; clear the attribute in the file's Properties, then try "
                     "again. Nothing was changed.");
}

TFileBeside::~TFileBeside() {
  if (pending_) fs_.DeleteFile(temp_);
}

int TFileBeside::Replace() {
  const int code = fs_.MoveFileReplace(temp_, target_);
  if (code != 0) fs_.DeleteFile(temp_);
  pending_ = false;
  return code;
}

std::string ReadWholeFile(IFileSystem& fs, const std::string& path) {
  TBlockFile file = TBlockFile::OpenReadOnly(fs, path);
  const int64_t size = file.Size();
  std::string bytes(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  if (!bytes.empty()) file.ReadExact(bytes.data(), static_cast<uint32_t>(bytes.size()));
  file.Close();
  return bytes;
}

void WriteWholeFile(IFileSystem& fs, const std::string& path, const std::string& bytes) {
  TBlockFile file = TBlockFile::Create(fs, path);
  if (!bytes.empty()) file.WriteExact(bytes.data(), static_cast<uint32_t>(bytes.size()));
  file.Close();
}

void WriteFileFlushed(IFileSystem& fs, const std::string& path, const std::string& bytes) {
  TBlockFile file = TBlockFile::Create(fs, path);
  if (!bytes.empty()) file.WriteExact(bytes.data(), static_cast<uint32_t>(bytes.size()));
  file.Flush();
  file.Close();
}

void AppendRange(TBlockFile& source, int64_t position, int64_t count, TBlockFile& target) {
  const int64_t length = source.Size();
  // A damaged directory may point before the start or past the end: only what is there is read.
  const int64_t start = std::clamp<int64_t>(position, 0, length);
  const int64_t present = std::clamp<int64_t>(position + count, start, length) - start;
  const int64_t before = std::clamp<int64_t>(start - position, 0, count);
  WriteZeros(target, before);
  source.Seek(start);
  CopyExact(source, target, present);
  WriteZeros(target, count - before - present);
}

void CopyRange(IFileSystem& fs, TBlockFile& source, int64_t position, int64_t count,
               const std::string& to) {
  TBlockFile target = TBlockFile::Create(fs, to);
  AppendRange(source, position, count, target);
  target.Close();
}

int64_t CopyWholeFile(IFileSystem& fs, const std::string& from, const std::string& to, bool flush) {
  TBlockFile source = TBlockFile::OpenReadOnly(fs, from);
  const int64_t size = source.Size();
  CopyRange(fs, source, 0, size, to);
  source.Close();
  if (flush) FlushFiles(fs, {to});
  return size;
}

void FlushFiles(IFileSystem& fs, const std::vector<std::string>& paths, IProgress* progress) {
  const auto flush = [&fs](const std::string& path) {
    TBlockFile file = TBlockFile::Open(fs, path, TOpenAccess::kReadWrite);
    file.Flush();
    file.Close();
  };
  // A few files are flushed one by one: the threads would cost more than they save.
  constexpr size_t kParallelFrom = 64, kThreads = 8;
  if (paths.size() < kParallelFrom) {
    for (const std::string& path : paths) {
      flush(path);
      if (progress) progress->Wait();
    }
    return;
  }
  std::atomic<size_t> next{0}, finished{0};
  std::mutex failed;
  std::exception_ptr error;
  std::vector<std::thread> threads;
  for (size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (size_t i; (i = next++) < paths.size();) {
        try {
          flush(paths[i]);
        } catch (...) {
          std::lock_guard<std::mutex> lock(failed);
          if (!error) error = std::current_exception();
          next = paths.size();
        }
      }
      ++finished;
    });
  }
  do {
    if (progress) progress->Wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (finished < kThreads);
  for (std::thread& thread : threads) thread.join();
  if (error) std::rethrow_exception(error);
}

std::string LinkOnTheWay(IFileSystem& fs, const std::string& folder, const std::string& relative) {
  std::string path = folder;
  for (const std::string& part : SplitAt(relative, "\\/")) {
    if (part.empty() || part == ".") continue;
    path += "\\" + part;
    if (fs.IsLink(path)) return path;
    if (fs.KindOf(path) == TPathKind::kMissing) break;  // nothing further along exists
  }
  return "";
}

std::string LinkOnTheWayText(const std::string& folderKind, const std::string& link) {
  return "The " + folderKind + " holds a link at " + link +
         ", which Merva does not follow. Nothing was changed.";
}

std::string FileSystemSafeName(std::string name) {
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string("<>:\"/\\|?*").find(c) != std::string::npos)
      c = '_';
  return name;
}

std::string ParentFolder(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string PlaceKey(IFileSystem& fs, const std::string& path) {
  const std::string full = fs.AbsolutePath(path);
  std::vector<std::string> missing;  // the parts below what exists, innermost first
  for (std::string known = full;;) {
    const std::string canonical = fs.CanonicalPath(known);
    if (!canonical.empty()) {
      std::vector<std::string> parts = SplitAt(canonical, "\\/");
      for (auto part = missing.rbegin(); part != missing.rend(); ++part) {
        if (*part == "..") {
          if (parts.size() > 1) parts.pop_back();
        } else if (!part->empty() && *part != ".") {
          parts.push_back(*part);
        }
      }
      return WindowsPathKey(parts);
    }
    const std::string parent = ParentFolder(known);
    if (parent.empty() || parent.size() >= known.size())
      return WindowsPathKey(SplitAt(full, "\\/"));
    missing.push_back(known.substr(parent.size() + 1));
    known = parent;
  }
}

bool PlaceIsInside(const std::string& pathKey, const std::string& folderKey) {
  if (folderKey.empty()) return false;
  if (pathKey == folderKey) return true;
  const std::string prefix = folderKey.back() == '\\' ? folderKey : folderKey + "\\";
  return pathKey.size() > prefix.size() && pathKey.compare(0, prefix.size(), prefix) == 0;
}

void CreateFolderPath(IFileSystem& fs, const std::string& path) {
  if (path.empty() || fs.DirectoryExists(path)) return;
  const std::string parent = ParentFolder(path);
  if (!parent.empty() && parent != path) CreateFolderPath(fs, parent);
  if (fs.CreateDirectory(path) || fs.DirectoryExists(path)) return;
  const TPathKind kind = fs.KindOf(path);
  throw Exception(
      "Unable to create the folder " + path +
      (kind == TPathKind::kFile || kind == TPathKind::kOther ? ": a file has that name" : ""));
}

void RemoveFolderTree(IFileSystem& fs, const std::string& path) {
  if (fs.IsLink(path)) return;
  std::vector<std::string> names;
  if (!fs.ListFolder(path, names)) return;
  for (const std::string& name : names) {
    const std::string child = path + "\\" + name;
    if (fs.IsLink(child))
      fs.DeleteFile(child);  // the link itself: what it points to is not ours
    else if (fs.DirectoryExists(child))
      RemoveFolderTree(fs, child);
    else
      fs.DeleteFile(child);
  }
  fs.RemoveDirectory(path);
}

}  // namespace merva
