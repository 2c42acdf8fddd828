#include "core/block_file.h"

#include <algorithm>

#include "core/errors.h"

namespace merva {

namespace {
void CheckOpen(int code, const std::string& path) {
  if (code != 0) throw EInOutError(code, path);
}
}  // namespace

void TBlockFile::Check(int code) const {
  if (code != 0) throw EInOutError(code, path_);
}

TBlockFile TBlockFile::Open(IFileSystem& fs, const std::string& path, TOpenAccess access) {
  std::unique_ptr<IFileHandle> handle;
  CheckOpen(fs.Open(path, access, handle), path);
  return TBlockFile(std::move(handle), path);
}

TBlockFile TBlockFile::OpenReadOnly(IFileSystem& fs, const std::string& path) {
  std::unique_ptr<IFileHandle> handle;
  CheckOpen(fs.Open(path, TOpenAccess::kReadOnly, handle), path);
  return TBlockFile(std::move(handle), path);
}

TBlockFile TBlockFile::Create(IFileSystem& fs, const std::string& path) {
  std::unique_ptr<IFileHandle> handle;
  CheckOpen(fs.Create(path, handle), path);
  return TBlockFile(std::move(handle), path);
}

TBlockFile::~TBlockFile() {
  if (handle_) handle_->Close();
}

IFileHandle& TBlockFile::Handle() {
  // A closed file behaves as the framework's unopened file: "I/O error 103".
  if (!handle_) throw EInOutError(103, path_);
  return *handle_;
}

void TBlockFile::ReadExact(void* buffer, uint32_t count) {
  if (ReadCounted(buffer, count) != count) throw EInOutError(kReadBeyondEnd, path_);
}

uint32_t TBlockFile::ReadCounted(void* buffer, uint32_t count) {
  uint32_t done = 0;
  Check(Handle().Read(buffer, count, done));
  return done;
}

uint32_t TBlockFile::ReadCountedAt(int64_t position, void* buffer, uint32_t count) {
  uint32_t done = 0;
  Check(Handle().ReadAt(position, buffer, count, done));
  return done;
}

void TBlockFile::WriteExact(const void* buffer, uint32_t count) {
  const int64_t at = observer_ ? Position() : 0;
  uint32_t done = 0;
  Check(Handle().Write(buffer, count, done));
  if (done != count) throw EInOutError(kDiskFull, path_);
  if (observer_) observer_(at, buffer, count);
}

bool TBlockFile::CopyFrom(TBlockFile& source, int64_t count) {
  while (count > 0) {
    const auto part = static_cast<uint32_t>(std::min<int64_t>(count, 1 << 30));
    uint32_t done = 0;
    const int code = Handle().CopyFrom(source.Handle(), part, done);
    if (code == IFileHandle::kCopyUnsupported) return false;
    Check(code);
    if (done != part) throw EInOutError(kReadBeyondEnd, source.path_);
    count -= part;
  }
  return true;
}

void TBlockFile::Seek(int64_t position) {
  Check(Handle().Seek(position));
}

int64_t TBlockFile::Size() {
  int64_t size = 0;
  Check(Handle().Size(size));
  return size;
}

int64_t TBlockFile::Position() {
  int64_t position = 0;
  Check(Handle().Position(position));
  return position;
}

void TBlockFile::Flush() {
  Check(Handle().Flush());
}

void TBlockFile::Close() {
  std::unique_ptr<IFileHandle> handle = std::move(handle_);
  if (handle) {
    const int code = handle->Close();
    if (code != 0) throw EInOutError(code, path_);
  }
}

}  // namespace merva
