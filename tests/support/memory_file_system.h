#pragma once
// A file system held in memory, for fuzzing whole runs quickly and without touching the disk.
// Paths are compared as given, with "/" and "\" alike.
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace merva {

class TMemoryFileSystem : public IFileSystem {
 public:
  using Bytes = std::vector<uint8_t>;

  // Files may not grow past this, so that hostile inputs cannot exhaust memory.
  explicit TMemoryFileSystem(size_t limit = 64 << 20) : limit_(limit) {}

  void Put(const std::string& path, const std::string& data);
  // The file's content, or nullptr.
  const Bytes* Get(const std::string& path) const;
  void AddDirectory(const std::string& path) {
    directories_.insert(Key(path));
    made_[Key(path)] = ++folders_;
  }
  // Windows' read-only attribute: such a file is renamed, never deleted or replaced.
  void SetReadOnly(const std::string& path) { readOnly_.insert(Key(path)); }
  bool IsReadOnly(const std::string& path) override { return readOnly_.count(Key(path)) > 0; }
  int ClearReadOnly(const std::string& path) override {
    readOnly_.erase(Key(path));
    return 0;
  }

  int Open(const std::string& path, TOpenAccess access,
           std::unique_ptr<IFileHandle>& handle) override;
  int Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) override;
  bool FileExists(const std::string& path) override { return files_.count(Key(path)) > 0; }
  bool DirectoryExists(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  int MoveFileReplace(const std::string& from, const std::string& to) override;
  bool CreateDirectory(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  bool IsLink(const std::string&) override { return false; }  // no links in memory
  bool ListFolder(const std::string& path, std::vector<std::string>& names) override;
  int MoveFolder(const std::string& from, const std::string& to) override;
  // Locks are kept beside the files, so that trees compare without them.
  int LockExclusive(const std::string& path, std::unique_ptr<IHeldLock>& held) override;
  std::string CanonicalPath(const std::string& path) override {
    return FileExists(path) || DirectoryExists(path) ? Key(path) : "";
  }
  TPathKind KindOf(const std::string& path) override {
    return FileExists(path)        ? TPathKind::kFile
           : DirectoryExists(path) ? TPathKind::kFolder
                                   : TPathKind::kMissing;
  }
  bool SameFile(const std::string& a, const std::string& b) override {
    return FileExists(a) && Key(a) == Key(b);
  }
  std::string AbsolutePath(const std::string& path) override { return path; }  // no current folder
  // Each folder made is numbered: one made again at the same place gets a new number.
  std::string FolderIdentity(const std::string& path) override {
    const auto made = made_.find(Key(path));
    return directories_.count(Key(path)) && made != made_.end() ? std::to_string(made->second) : "";
  }
  // Every file, by path, for comparing whole trees.
  const std::map<std::string, std::shared_ptr<Bytes>>& Files() const { return files_; }
  const std::set<std::string>& Folders() const { return directories_; }

  // How a path is kept: "/" as "\", no final separator; and the folder of such a key.
  static std::string Key(const std::string& path);
  static std::string Parent(const std::string& key);

 private:
  std::shared_ptr<std::set<std::string>> locks_ = std::make_shared<std::set<std::string>>();
  size_t limit_;
  std::map<std::string, std::shared_ptr<Bytes>> files_;
  std::set<std::string> directories_;
  std::map<std::string, uint64_t> made_;  // each folder's number (FolderIdentity)
  uint64_t folders_ = 0;
  std::set<std::string> readOnly_;
};

}  // namespace merva
