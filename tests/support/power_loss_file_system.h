#pragma once
// A file system that loses power. It runs on a memory file system and keeps, beside it, what
// the disk would hold after a power cut: a file's bytes as of its last flush, and the creations,
// renames and deletions of a folder as of that folder's last flush (in the order they were
// made, as a journaling file system commits them). At the chosen operation the power goes:
// that operation and every later one fail, and AfterCut gives what the disk still holds.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/memory_file_system.h"

namespace merva {

class TPowerLossFileSystem : public IFileSystem {
 public:
  // What `live` holds now is on the disk.
  explicit TPowerLossFileSystem(TMemoryFileSystem& live);

  // The power goes at the `n`th operation that changes anything (1 for the first); 0 never.
  void CutPowerAt(uint64_t n) { cutAt_ = n; }
  bool Cut() const { return cut_; }
  uint64_t Operations() const { return operations_; }
  // What the disk holds after the cut (or now, had the power gone now).
  std::unique_ptr<TMemoryFileSystem> AfterCut() const;

  int Open(const std::string& path, TOpenAccess access,
           std::unique_ptr<IFileHandle>& handle) override;
  int Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) override;
  bool FileExists(const std::string& path) override { return live_.FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return live_.DirectoryExists(path); }
  bool IsLink(const std::string& path) override { return live_.IsLink(path); }
  bool DeleteFile(const std::string& path) override;
  int MoveFileReplace(const std::string& from, const std::string& to) override;
  bool CreateDirectory(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  int FlushFolder(const std::string& path) override;
  bool ListFolder(const std::string& path, std::vector<std::string>& names) override {
    return live_.ListFolder(path, names);
  }
  int MoveFolder(const std::string& from, const std::string& to) override;
  int LockExclusive(const std::string& path, std::unique_ptr<IHeldLock>& held) override {
    return live_.LockExclusive(path, held);
  }
  std::string CanonicalPath(const std::string& path) override { return live_.CanonicalPath(path); }
  TPathKind KindOf(const std::string& path) override { return live_.KindOf(path); }
  bool SameFile(const std::string& a, const std::string& b) override {
    return live_.SameFile(a, b);
  }
  std::string FolderIdentity(const std::string& path) override {
    return live_.FolderIdentity(path);
  }
  std::string AbsolutePath(const std::string& path) override { return live_.AbsolutePath(path); }

  // For the handles: one more changing operation; false once the power is gone.
  bool Operate();
  // A file's bytes reach the disk.
  void Flushed(const std::shared_ptr<TMemoryFileSystem::Bytes>& inode);

 private:
  using TInode = std::shared_ptr<TMemoryFileSystem::Bytes>;
  struct TChange {
    enum { kCreate, kMove, kDelete, kMakeFolder, kRemoveFolder, kMoveFolder } Kind;
    std::string From, To;
    TInode Inode;
  };
  static std::string Key(const std::string& path) { return TMemoryFileSystem::Key(path); }
  static std::string Parent(const std::string& key) { return TMemoryFileSystem::Parent(key); }
  void Note(TChange change);
  void Apply(const TChange& change);
  TInode InodeOf(const std::string& path) const;

  TMemoryFileSystem& live_;
  mutable std::mutex mutex_;
  uint64_t cutAt_ = 0, operations_ = 0;
  bool cut_ = false;
  // The disk: its names, and each file's bytes as last flushed.
  std::map<std::string, TInode> files_;
  std::set<std::string> folders_;
  std::map<const TMemoryFileSystem::Bytes*, TMemoryFileSystem::Bytes> bytes_;
  std::vector<TChange> pending_;  // in the order they were made
};

namespace test {

// Every file with its bytes and every folder of a disk in memory, as one map: what a run must
// leave whole.
std::map<std::string, std::string> DiskOf(const TMemoryFileSystem& fs);
// A disk in memory copied, for a run cut off on it.
std::unique_ptr<TMemoryFileSystem> CopyOf(const TMemoryFileSystem& fs);

// `run` from `start` with the power cut at each of its file operations in turn, then `nextRun`
// (the next run's look at the game) on what the disk kept: how many cuts left the whole disk as
// before the run, how many as after it, and for any other, the cut and what differs from after.
struct TCutResults {
  int Before = 0, After = 0;
  std::vector<std::string> Neither;
};
TCutResults CutAtEveryOperation(const TMemoryFileSystem& start,
                                const std::function<void(IFileSystem&)>& run,
                                const std::function<void(TMemoryFileSystem&)>& nextRun);

}  // namespace test
}  // namespace merva
