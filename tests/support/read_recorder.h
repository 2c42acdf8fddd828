#pragma once
// A file system wrapper for tests that records every read of one file: where it started and how
// many bytes it took, in the order the program read them. Everything else passes through.
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace merva::test {

struct TRead {
  int64_t At;
  int64_t Count;
};

class TReadRecorder : public IFileSystem {
 public:
  TReadRecorder(IFileSystem& inner, std::string watched)
      : inner_(inner), watched_(std::move(watched)) {}
  // The reads of the watched file, through any handle opened on it.
  const std::vector<TRead>& Reads() const { return reads_; }

  int Open(const std::string& path, TOpenAccess access,
           std::unique_ptr<IFileHandle>& handle) override;
  int Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) override {
    return inner_.Create(path, handle);
  }
  bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return inner_.DirectoryExists(path); }
  bool IsLink(const std::string& path) override { return inner_.IsLink(path); }
  bool DeleteFile(const std::string& path) override { return inner_.DeleteFile(path); }
  int MoveFileReplace(const std::string& from, const std::string& to) override {
    return inner_.MoveFileReplace(from, to);
  }
  bool CreateDirectory(const std::string& path) override { return inner_.CreateDirectory(path); }
  bool RemoveDirectory(const std::string& path) override { return inner_.RemoveDirectory(path); }
  bool ListFolder(const std::string& path, std::vector<std::string>& names) override {
    return inner_.ListFolder(path, names);
  }
  int MoveFolder(const std::string& from, const std::string& to) override {
    return inner_.MoveFolder(from, to);
  }
  int LockExclusive(const std::string& path, std::unique_ptr<IHeldLock>& held) override {
    return inner_.LockExclusive(path, held);
  }
  int LockShared(const std::string& path, std::unique_ptr<IHeldLock>& held) override {
    return inner_.LockShared(path, held);
  }
  int RoomOf(const std::string& path, TDriveRoom& room) override {
    return inner_.RoomOf(path, room);
  }
  std::string CanonicalPath(const std::string& path) override { return inner_.CanonicalPath(path); }
  TPathKind KindOf(const std::string& path) override { return inner_.KindOf(path); }
  bool SameFile(const std::string& a, const std::string& b) override {
    return inner_.SameFile(a, b);
  }
  std::string FolderIdentity(const std::string& path) override {
    return inner_.FolderIdentity(path);
  }
  std::string AbsolutePath(const std::string& path) override { return inner_.AbsolutePath(path); }

 private:
  IFileSystem& inner_;
  std::string watched_;
  std::vector<TRead> reads_;
};

}  // namespace merva::test
