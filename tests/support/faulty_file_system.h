#pragma once
// A file system wrapper for tests that makes one chosen operation fail, so that every step
// of a run can be failed in turn and the aftermath checked.
#include <atomic>
#include <cstdint>
#include <set>
#include <vector>

#include "core/file_system.h"

namespace merva {

enum class TFileOp {
  kOpen,
  kCreate,
  kRead,
  kWrite,
  kSeek,
  kSize,
  kPosition,
  kFlush,
  kClose,
  kDelete,
  kMove,
  kCreateDirectory,
  kRemoveDirectory,
  kList,
  kMoveFolder
};

class TFaultyFileSystem : public IFileSystem {
 public:
  explicit TFaultyFileSystem(IFileSystem& inner) : inner_(inner) {}

  // Fails the nth (counted from 1) operation whose kind is in `kinds` with `code`; 0 disarms.
  void FailAt(uint64_t nth, int code, std::set<TFileOp> kinds = AllOps());
  // Operations of the chosen kinds seen so far.
  uint64_t Count() const { return count_; }
  bool Fired() const { return fired_; }
  static std::set<TFileOp> AllOps();

  int Open(const std::string& path, TOpenAccess access,
           std::unique_ptr<IFileHandle>& handle) override;
  int Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) override;
  bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return inner_.DirectoryExists(path); }
  bool DeleteFile(const std::string& path) override;
  int MoveFileReplace(const std::string& from, const std::string& to) override;
  bool CreateDirectory(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  bool IsLink(const std::string& path) override { return inner_.IsLink(path); }
  std::string CanonicalPath(const std::string& path) override { return inner_.CanonicalPath(path); }
  TPathKind KindOf(const std::string& path) override { return inner_.KindOf(path); }
  bool SameFile(const std::string& a, const std::string& b) override {
    return inner_.SameFile(a, b);
  }
  std::string FolderIdentity(const std::string& path) override {
    return inner_.FolderIdentity(path);
  }
  std::string AbsolutePath(const std::string& path) override { return inner_.AbsolutePath(path); }
  int LockShared(const std::string& path, std::unique_ptr<IHeldLock>& held) override {
    return inner_.LockShared(path, held);
  }
  int RoomOf(const std::string& path, TDriveRoom& room) override {
    return inner_.RoomOf(path, room);
  }
  int LockExclusive(const std::string& path, std::unique_ptr<IHeldLock>& held) override {
    return inner_.LockExclusive(path, held);
  }
  bool ListFolder(const std::string& path, std::vector<std::string>& names) override;
  int MoveFolder(const std::string& from, const std::string& to) override;

  // True when this operation is the one to fail; used by the wrapped handles too.
  bool ShouldFail(TFileOp op);
  int Code() const { return code_; }

 private:
  IFileSystem& inner_;
  std::set<TFileOp> kinds_ = AllOps();
  uint64_t fail_at_ = 0;
  std::atomic<uint64_t> count_{0};
  int code_ = 0;
  std::atomic<bool> fired_{false};
};

// Records how files are opened, so that a test run as any user sees the access asked for.
class TAccessSpy : public TFaultyFileSystem {
 public:
  TAccessSpy();
  int Open(const std::string& path, TOpenAccess access,
           std::unique_ptr<IFileHandle>& handle) override {
    Accesses.push_back(access);
    return TFaultyFileSystem::Open(path, access, handle);
  }
  std::vector<TOpenAccess> Accesses;
};

}  // namespace merva
