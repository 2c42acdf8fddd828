// The file system back end for native builds (tests and tools on Linux). Both "\" and "/"
// separate folders; names are the system's own bytes (UTF-8 on every usual Linux).
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "core/errors.h"
#include "core/file_system.h"

namespace merva {

namespace {

std::string NativePath(const std::string& path) {
  std::string out = path;
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

bool ParentExists(const std::string& native) {
  const auto slash = native.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return true;
  struct stat st;
  return stat(native.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int CodeFromErrno(int error, const std::string& native) {
  switch (error) {
    case ENOENT:
      return ParentExists(native) ? kFileNotFound : kPathNotFound;
    case ENOTDIR:
      return kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EBADF:  // writing a file opened read-only, as Windows refuses it
      return kAccessDenied;
    case EBUSY:
    case ETXTBSY:
      return kSharingViolation;
    case ENOSPC:
    case EDQUOT:
      return kDiskFull;
    case EXDEV:
      return kNotSameDevice;
    case ELOOP:  // O_NOFOLLOW met a link
      return kLinkRefused;
    case ENAMETOOLONG:
      return kPathTooLong;
    case ESPIPE:
      return kSeekOnDevice;
    case EEXIST:
      return kAlreadyExists;
    default:
      return error;
  }
}

class TPosixFile : public IFileHandle {
 public:
  explicit TPosixFile(int fd) : fd_(fd) {}
  ~TPosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  int Read(void* buffer, uint32_t count, uint32_t& done) override {
    done = 0;
    while (done < count) {
      const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return CodeFromErrno(errno, "");
      if (n == 0) break;
      done += static_cast<uint32_t>(n);
    }
    return 0;
  }
  int ReadAt(int64_t position, void* buffer, uint32_t count, uint32_t& done) override {
    done = 0;
    while (done < count) {
      const ssize_t n =
          ::pread(fd_, static_cast<char*>(buffer) + done, count - done, position + done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return CodeFromErrno(errno, "");
      if (n == 0) break;
      done += static_cast<uint32_t>(n);
    }
    return 0;
  }
  void WillRead(int64_t position, int64_t count) override {
    (void)::posix_fadvise(fd_, position, count, POSIX_FADV_WILLNEED);
  }
  int Write(const void* buffer, uint32_t count, uint32_t& done) override {
    done = 0;
    while (done < count) {
      const ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, count - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return CodeFromErrno(errno, "");
      if (n == 0) break;
      done += static_cast<uint32_t>(n);
    }
    return 0;
  }
  int Seek(int64_t position) override {
    if (position < 0) return 131;  // the system's "negative seek"
    return ::lseek(fd_, position, SEEK_SET) < 0 ? CodeFromErrno(errno, "") : 0;
  }
  int Size(int64_t& size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return CodeFromErrno(errno, "");
    size = st.st_size;
    return 0;
  }
  int Position(int64_t& position) override {
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0) return CodeFromErrno(errno, "");
    position = at;
    return 0;
  }
  int Flush() override { return ::fsync(fd_) == 0 ? 0 : CodeFromErrno(errno, ""); }
  // The kernel copies between two files without the data passing through the program, as cp
  // does.
  int CopyFrom(IFileHandle& source, uint32_t count, uint32_t& done) override {
    done = 0;
    auto* from = dynamic_cast<TPosixFile*>(&source);
    if (!from) return kCopyUnsupported;
    while (done < count) {
      const ssize_t n = ::copy_file_range(from->fd_, nullptr, fd_, nullptr, count - done, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && done == 0 &&
          (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
        return kCopyUnsupported;
      if (n < 0) return CodeFromErrno(errno, "");
      if (n == 0) break;
      done += static_cast<uint32_t>(n);
    }
    return 0;
  }
  int Close() override {
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) != 0 ? CodeFromErrno(errno, "") : 0;
  }

 private:
  int fd_;
};

// flock() on the lock file; the file is removed while the lock is still held, so that a run
// waiting on the old file finds it gone and takes the new one (see LockExclusive). A file of
// that name that some other program or the player made is locked as it is and left in place.
class TPosixLock : public IHeldLock {
 public:
  TPosixLock(int fd, std::string native, bool ours)
      : fd_(fd), native_(std::move(native)), ours_(ours) {}
  ~TPosixLock() override {
    if (ours_) ::unlink(native_.c_str());
    ::close(fd_);
  }

 private:
  int fd_;
  std::string native_;
  bool ours_;
};

// A shared hold of the lock file: the last holder out removes a file of ours, once it can take
// the lock alone and the file still has its name.
class TPosixSharedLock : public IHeldLock {
 public:
  TPosixSharedLock(int fd, std::string native) : fd_(fd), native_(std::move(native)) {}
  ~TPosixSharedLock() override;

 private:
  int fd_;
  std::string native_;
};

// What a lock file of ours holds, so that a run knows one a killed run left (or an empty one of
// an earlier version) from a file of the player's that happens to have the name.
constexpr char kLockFileText[] = "Merva holds this game folder while it changes the game.\n";

// True while the open file still has the name: a lock counts only on that file.
bool SameFileAsNamed(int fd, const std::string& native) {
  struct stat locked, named;
  return ::fstat(fd, &locked) == 0 && ::lstat(native.c_str(), &named) == 0 &&
         locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
}

bool IsOurLockFile(int fd) {
  char text[sizeof kLockFileText] = {};
  const ssize_t got = ::pread(fd, text, sizeof text, 0);
  return got == 0 || (got == static_cast<ssize_t>(sizeof kLockFileText - 1) &&
                      std::string(text, static_cast<size_t>(got)) == kLockFileText);
}

// Opens the lock file at `native`, made when missing, and locks it with `operation` (LOCK_EX or
// LOCK_SH) without waiting. The holder before us may remove the file between our open and our
// lock: the lock counts only on the file that still has the name. Returns 0 with `fd` locked,
// kSharingViolation while another holds it, or the system's error code.
int TakeLockFile(const std::string& native, int operation, int& fd, bool& created) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    created = true;
    fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0 && errno == EEXIST) {
      created = false;
      const int access = operation == LOCK_EX ? O_RDWR : O_RDONLY;
      fd = ::open(native.c_str(), access | O_CLOEXEC | O_NOFOLLOW);
      if (fd < 0 && errno == ENOENT) continue;  // its holder just removed it
    }
    if (fd < 0) return CodeFromErrno(errno, native);
    if (::flock(fd, operation | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      return error == EWOULDBLOCK ? kSharingViolation : CodeFromErrno(error, native);
    }
    if (SameFileAsNamed(fd, native)) {
      if (created) {
        const ssize_t wrote = ::write(fd, kLockFileText, sizeof kLockFileText - 1);
        (void)wrote;  // the text only tells later runs whose file it is
      }
      return 0;
    }
    ::close(fd);
  }
  return kSharingViolation;
}

TPosixSharedLock::~TPosixSharedLock() {
  // Taken alone, nobody else holds it: a file of ours goes, as after an exclusive hold.
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0 && SameFileAsNamed(fd_, native_) && IsOurLockFile(fd_))
    ::unlink(native_.c_str());
  ::close(fd_);
}

class TPosixFileSystem : public IFileSystem {
 public:
  int Open(const std::string& path, TOpenAccess access,
           std::unique_ptr<IFileHandle>& handle) override {
    const std::string native = NativePath(path);
    if (DirectoryExists(path)) return kAccessDenied;
    const int fd =
        ::open(native.c_str(), (access == TOpenAccess::kReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (fd < 0) return CodeFromErrno(errno, native);
    handle = std::make_unique<TPosixFile>(fd);
    return 0;
  }
  int Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) override {
    const std::string native = NativePath(path);
    // Never through a link at the name: what is written stays where the name says.
    const int fd =
        ::open(native.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return CodeFromErrno(errno, native);
    handle = std::make_unique<TPosixFile>(fd);
    return 0;
  }
  bool FileExists(const std::string& path) override {
    struct stat st;
    return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  bool DirectoryExists(const std::string& path) override {
    struct stat st;
    return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  bool IsLink(const std::string& path) override {
    struct stat st;
    return !path.empty() && ::lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  }
  bool DeleteFile(const std::string& path) override {
    return (FileExists(path) || IsLink(path)) && ::unlink(NativePath(path).c_str()) == 0;
  }
  int MoveFileReplace(const std::string& from, const std::string& to) override {
    if (!FileExists(from)) return kFileNotFound;
    if (DirectoryExists(to)) return kAccessDenied;
    const std::string target = NativePath(to);
    return std::rename(NativePath(from).c_str(), target.c_str()) == 0
               ? 0
               : CodeFromErrno(errno, target);
  }
  bool CreateDirectory(const std::string& path) override {
    return ::mkdir(NativePath(path).c_str(), 0755) == 0;
  }
  bool RemoveDirectory(const std::string& path) override {
    return ::rmdir(NativePath(path).c_str()) == 0;
  }
  bool ListFolder(const std::string& path, std::vector<std::string>& names) override {
    names.clear();
    DIR* dir = ::opendir(NativePath(path).c_str());
    if (!dir) return false;
    while (const dirent* item = ::readdir(dir)) {
      const std::string name = item->d_name;
      if (name == "." || name == "..") continue;
      names.push_back(name);
    }
    ::closedir(dir);
    return true;
  }
  std::string CanonicalPath(const std::string& path) override {
    if (path.empty()) return "";
    char* resolved = ::realpath(NativePath(path).c_str(), nullptr);
    if (!resolved) return "";
    std::string canonical = resolved;
    std::free(resolved);
    return canonical;
  }
  TPathKind KindOf(const std::string& path) override {
    struct stat st;
    if (path.empty() || ::stat(NativePath(path).c_str(), &st) != 0) return TPathKind::kMissing;
    if (S_ISDIR(st.st_mode)) return TPathKind::kFolder;
    return S_ISREG(st.st_mode) ? TPathKind::kFile : TPathKind::kOther;
  }
  bool SameFile(const std::string& a, const std::string& b) override {
    struct stat sa, sb;
    return !a.empty() && !b.empty() && ::stat(NativePath(a).c_str(), &sa) == 0 &&
           ::stat(NativePath(b).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
  }
  std::string FolderIdentity(const std::string& path) override {
    struct statx st;
    if (path.empty() ||
        ::statx(AT_FDCWD, NativePath(path).c_str(), 0, STATX_TYPE | STATX_INO | STATX_BTIME, &st) !=
            0 ||
        !S_ISDIR(st.stx_mode))
      return "";
    // A number freed by a deleted folder may be given to the next one: its birth time tells
    // them apart, where the file system keeps one.
    char text[96];
    std::snprintf(
        text, sizeof text, "%x.%x-%llx-%llx.%x", st.stx_dev_major, st.stx_dev_minor,
        static_cast<unsigned long long>(st.stx_ino),
        st.stx_mask & STATX_BTIME ? static_cast<unsigned long long>(st.stx_btime.tv_sec) : 0ULL,
        st.stx_mask & STATX_BTIME ? st.stx_btime.tv_nsec : 0U);
    return text;
  }
  std::string AbsolutePath(const std::string& path) override {
    if (!path.empty() && (path[0] == '\\' || path[0] == '/')) return path;
    char* here = ::getcwd(nullptr, 0);
    if (!here) return path;
    std::string folder = here;
    std::free(here);
    for (char& c : folder)
      if (c == '/') c = '\\';
    std::string relative = path;
    while (relative.rfind(".\\", 0) == 0) relative.erase(0, 2);
    return relative == "." ? folder : folder + "\\" + relative;
  }
  int LockExclusive(const std::string& path, std::unique_ptr<IHeldLock>& held) override {
    const std::string native = NativePath(path);
    int fd = -1;
    bool created = false;
    const int code = TakeLockFile(native, LOCK_EX, fd, created);
    if (code != 0) return code;
    held = std::make_unique<TPosixLock>(fd, native, created || IsOurLockFile(fd));
    return 0;
  }
  int LockShared(const std::string& path, std::unique_ptr<IHeldLock>& held) override {
    const std::string native = NativePath(path);
    int fd = -1;
    bool created = false;
    const int code = TakeLockFile(native, LOCK_SH, fd, created);
    if (code != 0) return code;
    held = std::make_unique<TPosixSharedLock>(fd, native);
    return 0;
  }
  int RoomOf(const std::string& path, TDriveRoom& room) override {
    const std::string native = NativePath(path);
    struct statvfs drive;
    struct stat where;
    if (::statvfs(native.c_str(), &drive) != 0 || ::stat(native.c_str(), &where) != 0)
      return CodeFromErrno(errno, native);
    room.Free = static_cast<uint64_t>(drive.f_bavail) * drive.f_frsize;
    room.Drive = "device " + std::to_string(static_cast<uint64_t>(where.st_dev));
    return 0;
  }
  int MoveFolder(const std::string& from, const std::string& to) override {
    if (!DirectoryExists(from)) return kPathNotFound;
    if (FileExists(to) || DirectoryExists(to)) return kAlreadyExists;
    const std::string target = NativePath(to);
    return std::rename(NativePath(from).c_str(), target.c_str()) == 0
               ? 0
               : CodeFromErrno(errno, target);
  }
  // A creation or a rename lasts once the folder that holds it is flushed.
  int FlushFolder(const std::string& path) override {
    const std::string native = NativePath(path);
    const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return CodeFromErrno(errno, native);
    const int code = ::fsync(fd) == 0 ? 0 : CodeFromErrno(errno, native);
    ::close(fd);
    return code;
  }
};

}  // namespace

IFileSystem& SystemFileSystem() {
  static TPosixFileSystem fs;
  return fs;
}

}  // namespace merva
#endif
