#pragma once
// The checked block file: every failure raises EInOutError with the framework's text.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/file_system.h"

namespace merva {

class TBlockFile {
 public:
  // Opens an existing file with the access asked for.
  static TBlockFile Open(IFileSystem& fs, const std::string& path, TOpenAccess access);
  // Opens an existing file read-only, whatever the open mode.
  static TBlockFile OpenReadOnly(IFileSystem& fs, const std::string& path);
  // Creates a file, or empties an existing one, for reading and writing.
  static TBlockFile Create(IFileSystem& fs, const std::string& path);

  TBlockFile(TBlockFile&&) = default;
  TBlockFile& operator=(TBlockFile&&) = default;
  ~TBlockFile();  // closes quietly when an error left the file open

  // Must transfer every byte; a short read raises "Read beyond end of file".
  void ReadExact(void* buffer, uint32_t count);
  // Returns the bytes read; a short count at the end of the file is no error.
  uint32_t ReadCounted(void* buffer, uint32_t count);
  // The same at `position`, in one call where the system can; the position afterwards is not
  // to be relied on.
  uint32_t ReadCountedAt(int64_t position, void* buffer, uint32_t count);
  // Tells the system that `count` bytes at `position` are read soon (IFileHandle::WillRead).
  void WillRead(int64_t position, int64_t count) { Handle().WillRead(position, count); }
  // Must transfer every byte; a short write raises "Disk full".
  void WriteExact(const void* buffer, uint32_t count);
  // Copies `count` bytes from the source's position to this file's position inside the system;
  // false, with nothing copied, where the system cannot. A short copy raises as a short read.
  bool CopyFrom(TBlockFile& source, int64_t count);
  // Runs after every WriteExact with the position the bytes went to and the bytes, so that what
  // goes through the program (under Windows, every copy) need not be read back to be
  // fingerprinted. Copies inside the system pass it by. Null stops it.
  using TWriteObserver = std::function<void(int64_t at, const void* data, uint32_t count)>;
  void ObserveWrites(TWriteObserver observer) { observer_ = std::move(observer); }
  void Seek(int64_t position);
  int64_t Size();
  int64_t Position();
  void Flush();
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  const std::string& Path() const { return path_; }

 private:
  TBlockFile(std::unique_ptr<IFileHandle> handle, std::string path)
      : handle_(std::move(handle)), path_(std::move(path)) {}
  IFileHandle& Handle();
  void Check(int code) const;
  std::unique_ptr<IFileHandle> handle_;
  std::string path_;  // named in errors
  TWriteObserver observer_;
};

}  // namespace merva
