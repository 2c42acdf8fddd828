// The file system back end of the Windows program: the wide API, so that every name a folder
// can hold reaches the disk unchanged on every system locale.
#ifdef _WIN32
#include <windows.h>

#include "core/errors.h"
#include "core/file_system.h"
#include "core/wide_text.h"
#include "core/win32_handles.h"
#include "core/windows_names.h"

namespace merva {

namespace {

// A path as the wide API is to take it: a full one in the system's long form, so that a game
// or mod folder deep in a library passes the old limit of 260 characters whatever the system's
// setting. The system makes it whole first ("." and "..", "/", final dots and spaces), as it
// would for a path in the short form.
std::wstring WidePath(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (!IsFullPath(path)) return wide;
  std::wstring full(32768, L'\0');
  const DWORD length =
      GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return wide;
  full.resize(length);
  return Wide(LongPathForm(Utf8FromWide(full)));
}

// An open handle on the file or folder itself, for asking what it is; none when missing.
HANDLE OpenForQuery(const std::string& path) {
  return CreateFileW(WidePath(path).c_str(), 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

int LastCode() {
  const DWORD error = GetLastError();
  if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return kDiskFull;
  return error == 0 ? 1 : static_cast<int>(error);
}

class TWin32Lock : public IHeldLock {
 public:
  explicit TWin32Lock(HANDLE handle) : handle_(handle) {}

 private:
  TFileHandleHolder handle_;
};

class TWin32File : public IFileHandle {
 public:
  explicit TWin32File(HANDLE handle) : handle_(handle) {}
  int Read(void* buffer, uint32_t count, uint32_t& done) override {
    DWORD n = 0;
    const BOOL ok = ReadFile(handle_.Get(), buffer, count, &n, nullptr);
    done = n;
    return ok ? 0 : LastCode();
  }
  int ReadAt(int64_t position, void* buffer, uint32_t count, uint32_t& done) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(position) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(position) >> 32);
    DWORD n = 0;
    const BOOL ok = ReadFile(handle_.Get(), buffer, count, &n, &at);
    done = n;
    // Reading at or past the end is no error: nothing was there to read.
    return ok || GetLastError() == ERROR_HANDLE_EOF ? 0 : LastCode();
  }
  int Write(const void* buffer, uint32_t count, uint32_t& done) override {
    DWORD n = 0;
    const BOOL ok = WriteFile(handle_.Get(), buffer, count, &n, nullptr);
    done = n;
    return ok ? 0 : LastCode();
  }
  int Seek(int64_t position) override {
    LARGE_INTEGER to;
    to.QuadPart = position;
    return SetFilePointerEx(handle_.Get(), to, nullptr, FILE_BEGIN) ? 0 : LastCode();
  }
  int Size(int64_t& size) override {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(handle_.Get(), &value)) return LastCode();
    size = value.QuadPart;
    return 0;
  }
  int Position(int64_t& position) override {
    LARGE_INTEGER zero{}, at;
    if (!SetFilePointerEx(handle_.Get(), zero, &at, FILE_CURRENT)) return LastCode();
    position = at.QuadPart;
    return 0;
  }
  int Flush() override { return FlushFileBuffers(handle_.Get()) ? 0 : LastCode(); }
  int Close() override {
    if (!handle_.Valid()) return 0;
    return CloseHandle(handle_.Release()) ? 0 : LastCode();
  }

 private:
  TFileHandleHolder handle_;
};

class TWin32FileSystem : public IFileSystem {
 public:
  int Open(const std::string& path, TOpenAccess access,
           std::unique_ptr<IFileHandle>& handle) override {
    const DWORD rights =
        access == TOpenAccess::kReadOnly ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    const DWORD sharing = access == TOpenAccess::kReadWriteOthersRead
                              ? FILE_SHARE_READ
                              : FILE_SHARE_READ | FILE_SHARE_WRITE;
    return Make(path, rights, sharing, OPEN_EXISTING, handle);
  }
  int Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) override {
    // Never through a link at the name: what is written stays where the name says.
    if (IsLink(path)) return kLinkRefused;
    return Make(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                CREATE_ALWAYS, handle);
  }
  bool FileExists(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool DirectoryExists(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool IsLink(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  }
  bool DeleteFile(const std::string& path) override {
    // A link to a folder is removed as a folder; its target stays.
    if (IsLink(path) && (GetFileAttributesW(WidePath(path).c_str()) & FILE_ATTRIBUTE_DIRECTORY))
      return RemoveDirectoryW(WidePath(path).c_str()) != 0;
    return DeleteFileW(WidePath(path).c_str()) != 0;
  }
  bool IsReadOnly(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  int ClearReadOnly(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastCode();
    if (SetFileAttributesW(WidePath(path).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) == 0)
      return LastCode();
    return 0;
  }
  int MoveFileReplace(const std::string& from, const std::string& to) override {
    if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
      return 0;
    const int code = LastCode();
    // A file that another program holds open (the game, an editor) cannot be replaced, and the
    // system says "access denied", as it does for a file this user may not write. Asking for
    // the right to delete it, while sharing everything, tells the two apart: the player is then
    // told that a program is using it, not to run as administrator.
    if (code == kAccessDenied && (HeldByAnother(to) || HeldByAnother(from)))
      return kSharingViolation;
    return code;
  }
  bool HeldByAnother(const std::string& path) {
    const TFileHandleHolder h(CreateFileW(
        WidePath(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return !h.Valid() && GetLastError() == ERROR_SHARING_VIOLATION;
  }
  bool CreateDirectory(const std::string& path) override {
    return CreateDirectoryW(WidePath(path).c_str(), nullptr) != 0;
  }
  bool RemoveDirectory(const std::string& path) override {
    return RemoveDirectoryW(WidePath(path).c_str()) != 0;
  }
  bool ListFolder(const std::string& path, std::vector<std::string>& names) override {
    names.clear();
    WIN32_FIND_DATAW found;
    const TFindHandleHolder search(FindFirstFileW((WidePath(path) + L"\\*").c_str(), &found));
    if (!search.Valid()) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
      const std::string name = Utf8FromWide(found.cFileName);
      if (name == "." || name == "..") continue;
      names.push_back(name);
    } while (FindNextFileW(search.Get(), &found));
    return true;
  }
  std::string CanonicalPath(const std::string& path) override {
    if (path.empty()) return "";
    const TFileHandleHolder h(OpenForQuery(path));
    if (!h.Valid()) return "";
    std::wstring name(32768, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(h.Get(), name.data(), static_cast<DWORD>(name.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= name.size()) return "";
    name.resize(length);
    // "\\?\C:\..." and "\\?\UNC\server\..." as the user writes them.
    if (name.rfind(L"\\\\?\\UNC\\", 0) == 0)
      name = L"\\" + name.substr(7);
    else if (name.rfind(L"\\\\?\\", 0) == 0)
      name = name.substr(4);
    return Utf8FromWide(name);
  }
  TPathKind KindOf(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return TPathKind::kMissing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TPathKind::kFolder;
    const TFileHandleHolder h(OpenForQuery(path));
    if (!h.Valid()) return TPathKind::kFile;  // in use: still a file
    const DWORD type = GetFileType(h.Get());
    return type == FILE_TYPE_DISK ? TPathKind::kFile : TPathKind::kOther;
  }
  bool SameFile(const std::string& a, const std::string& b) override {
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
      const TFileHandleHolder h(OpenForQuery(*paths[i]));
      if (!h.Valid() || !GetFileInformationByHandle(h.Get(), &info[i])) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
  }
  std::string FolderIdentity(const std::string& path) override {
    if (path.empty() || !(GetFileAttributesW(WidePath(path).c_str()) & FILE_ATTRIBUTE_DIRECTORY))
      return "";
    const TFileHandleHolder h(OpenForQuery(path));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!h.Valid() || !GetFileInformationByHandle(h.Get(), &info)) return "";
    // NTFS's file number carries a count of the reuses of its record: a folder made again at the
    // same place gets another one. A share that gives no number tells nothing.
    if (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0) return "";
    char text[40];
    std::snprintf(text, sizeof text, "%lx-%lx%08lx", info.dwVolumeSerialNumber, info.nFileIndexHigh,
                  info.nFileIndexLow);
    return text;
  }
  std::string AbsolutePath(const std::string& path) override {
    const std::wstring wide = Wide(path);  // as the user is to read it: no long form
    std::wstring full(32768, L'\0');
    const DWORD length =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) return path;
    full.resize(length);
    return Utf8FromWide(full);
  }
  int LockExclusive(const std::string& path, std::unique_ptr<IHeldLock>& held) override {
    // No sharing at all, and the system deletes the file when the last handle goes, also when
    // the process is killed: a lock file of ours never outlives its run.
    const std::wstring wide = WidePath(path);
    TFileHandleHolder h(CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                    nullptr));
    if (!h.Valid() && GetLastError() == ERROR_FILE_EXISTS) {
      // Held by another run (a sharing violation), or a file of the player's with the name:
      // that one is held as it is, and left in place.
      if (IsLink(path)) return kLinkRefused;
      h.Reset(CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!h.Valid()) return LastCode();
    held = std::make_unique<TWin32Lock>(h.Release());
    return 0;
  }
  int LockShared(const std::string& path, std::unique_ptr<IHeldLock>& held) override {
    // Read sharing among the shared holders, none for an exclusive one (see LockExclusive),
    // and the system deletes a file the first holder made once the last handle goes.
    const std::wstring wide = WidePath(path);
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_DELETE;
    TFileHandleHolder h(CreateFileW(wide.c_str(), GENERIC_READ | DELETE, sharing, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                    nullptr));
    if (!h.Valid() && GetLastError() == ERROR_FILE_EXISTS) {
      if (IsLink(path)) return kLinkRefused;
      h.Reset(CreateFileW(wide.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!h.Valid()) return LastCode();
    held = std::make_unique<TWin32Lock>(h.Release());
    return 0;
  }
  int RoomOf(const std::string& path, TDriveRoom& room) override {
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(WidePath(path).c_str(), &free, nullptr, nullptr)) return LastCode();
    room.Free = free.QuadPart;
    std::wstring volume(32768, L'\0');
    if (!GetVolumePathNameW(WidePath(path).c_str(), volume.data(),
                            static_cast<DWORD>(volume.size())))
      return LastCode();
    volume.resize(wcslen(volume.c_str()));
    // "\\?\C:\" as the user writes it.
    if (volume.rfind(L"\\\\?\\", 0) == 0) volume = volume.substr(4);
    room.Drive = Utf8FromWide(volume);
    return 0;
  }
  int MoveFolder(const std::string& from, const std::string& to) override {
    return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0
               ? 0
               : LastCode();
  }

 private:
  // Others may never delete the file while it is open.
  static int Make(const std::string& path, DWORD rights, DWORD sharing, DWORD disposition,
                  std::unique_ptr<IFileHandle>& handle) {
    const HANDLE h = CreateFileW(WidePath(path).c_str(), rights, sharing, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastCode();
    handle = std::make_unique<TWin32File>(h);
    return 0;
  }
};

}  // namespace

IFileSystem& SystemFileSystem() {
  static TWin32FileSystem fs;
  return fs;
}

}  // namespace merva
#endif
