#pragma once
// The file system as the program sees it. Paths are UTF-8 in the Windows form ("\" separates
// folders); each back end converts them for its system.
// Operations report a Windows-style error code (0 for success) instead of raising, so that
// the checked block file alone decides how a failure is told.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/errors.h"

namespace merva {

class IFileHandle {
 public:
  virtual ~IFileHandle() = default;
  virtual int Read(void* buffer, uint32_t count, uint32_t& done) = 0;
  virtual int Write(const void* buffer, uint32_t count, uint32_t& done) = 0;
  virtual int Seek(int64_t position) = 0;
  // Reads at `position` in one call where the system can (many small reads of one file cost a
  // call each instead of two); the position afterwards is not to be relied on.
  virtual int ReadAt(int64_t position, void* buffer, uint32_t count, uint32_t& done) {
    done = 0;
    const int code = Seek(position);
    return code != 0 ? code : Read(buffer, count, done);
  }
  // A hint that `count` bytes at `position` are read soon, so that the system may fetch many
  // scattered parts of a file at once instead of one after another; no more than a hint.
  virtual void WillRead(int64_t position, int64_t count) {
    (void)position;
    (void)count;
  }
  virtual int Size(int64_t& size) = 0;
  virtual int Position(int64_t& position) = 0;
  // Forces written data to the disk.
  virtual int Flush() = 0;
  virtual int Close() = 0;
  // Copies `count` bytes from the source's position to this file's position inside the system,
  // where it can; kCopyUnsupported (nothing copied) where it cannot, and the caller copies
  // through a buffer. A short copy at the end of the source is no error.
  virtual int CopyFrom(IFileHandle& source, uint32_t count, uint32_t& done) {
    (void)source;
    (void)count;
    done = 0;
    return kCopyUnsupported;
  }
  static constexpr int kCopyUnsupported = -1;
};

enum class TOpenAccess {
  kReadOnly,
  kReadWrite,
  // Read and write, while other programs may only read: a run that holds the game's archive
  // keeps anyone else from changing it, and finds out at once when the game holds it.
  kReadWriteOthersRead,
};

// What lies at a path.
enum class TPathKind { kMissing, kFile, kFolder, kOther /* a device, a pipe */ };

// A lock held until it is destroyed, or until the process ends, however it ends.
class IHeldLock {
 public:
  virtual ~IHeldLock() = default;
};

// The room on the drive that holds a path.
struct TDriveRoom {
  uint64_t Free = 0;  // bytes this user may still write
  // The drive as the system names it ("C:\\"; a device number elsewhere), so that two paths
  // are known to share one drive.
  std::string Drive;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // Opens an existing file; others may read and write it but not delete it.
  virtual int Open(const std::string& path, TOpenAccess access,
                   std::unique_ptr<IFileHandle>& handle) = 0;
  // Creates a file, or truncates an existing one, for reading and writing; a link at the name
  // is refused (kLinkRefused), never written through.
  virtual int Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) = 0;
  // True for a file; a folder at the path is no file.
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  // True for a symbolic link, a junction or any other reparse point: what the program reads
  // back from its own folders is never followed through one.
  virtual bool IsLink(const std::string& path) = 0;
  // Deletes a file, or a link (to a file or a folder) itself, never what it points to.
  virtual bool DeleteFile(const std::string& path) = 0;
  // Windows' read-only attribute, which keeps a file from being deleted or replaced although it
  // may be renamed (files copied from a disc or an old backup often carry it). Systems without
  // it say false.
  virtual bool IsReadOnly(const std::string& path) {
    (void)path;
    return false;
  }
  // Clears it: 0 or the system's error code.
  virtual int ClearReadOnly(const std::string& path) {
    (void)path;
    return 0;
  }
  // Moves a file, replacing a file already at the target, in one step where the system can.
  // Returns 0, or the system's error code (a target in use is told apart from one refused).
  virtual int MoveFileReplace(const std::string& from, const std::string& to) = 0;
  virtual bool CreateDirectory(const std::string& path) = 0;
  // Makes the creations, renames and deletions inside a folder last through a power cut, as
  // Flush does for a file's bytes. Where the system keeps them in order on its own (NTFS with
  // write-through moves, memory), there is nothing to do.
  virtual int FlushFolder(const std::string& path) {
    (void)path;
    return 0;
  }
  virtual bool RemoveDirectory(const std::string& path) = 0;
  // The names of the files and folders in a folder, without "." and "..", in no set order.
  // False when the folder cannot be read.
  virtual bool ListFolder(const std::string& path, std::vector<std::string>& names) = 0;
  // Renames a folder to a name that is free, in one step. Returns 0 or the system's error code.
  virtual int MoveFolder(const std::string& from, const std::string& to) = 0;
  // Takes the lock that the file at `path` stands for, making the file if need be; the file is
  // gone again once the lock is released. Returns 0, kSharingViolation while another process
  // (or another lock of this one) holds it, or the system's error code.
  virtual int LockExclusive(const std::string& path, std::unique_ptr<IHeldLock>& held) = 0;
  // The same lock shared with other shared holders: it keeps any exclusive holder out, as long
  // as it is held, and is refused (kSharingViolation) while one holds it. Where a file system
  // has no shared locks, the exclusive one stands in.
  virtual int LockShared(const std::string& path, std::unique_ptr<IHeldLock>& held) {
    return LockExclusive(path, held);
  }
  // The room on the drive of an existing file or folder. Returns 0, or an error code when the
  // system cannot tell (then no room is checked).
  virtual int RoomOf(const std::string& path, TDriveRoom& room) {
    (void)path;
    (void)room;
    return kNotSupported;
  }
  // The path of an existing file or folder as the system knows it: from the root, with links,
  // "." and ".." resolved and the system's own letter case; empty when there is none.
  virtual std::string CanonicalPath(const std::string& path) = 0;
  // What lies at the path, links followed.
  virtual TPathKind KindOf(const std::string& path) = 0;
  // True when both paths name the same existing file.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  // What tells the folder at `path` (links followed) from another folder made at the same place
  // after it was deleted, as long as it lasts: its volume and file number, and where the system
  // keeps it, when it was made. Empty when the system cannot tell or there is no folder.
  virtual std::string FolderIdentity(const std::string&) { return ""; }
  // The path from the root of a path given from the current folder, so that it names the same
  // place whatever folder the program later runs in; the path itself when that cannot be known.
  virtual std::string AbsolutePath(const std::string& path) = 0;
};

// The file system of the machine the program runs on.
IFileSystem& SystemFileSystem();

}  // namespace merva
