#include "restore/restore_files.h"

#include <algorithm>
#include <vector>

#include "archive/sector_copy.h"
#include "core/block_file.h"
#include "core/errors.h"

namespace merva {

std::string ReadWholeFile(IFileSystem& fs, const std::string& path) {
  TBlockFile file = TBlockFile::OpenReadOnly(fs, path);
  const int64_t size = file.Size();
  std::string bytes(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  if (!bytes.empty()) file.ReadExact(bytes.data(), static_cast<uint32_t>(bytes.size()));
  file.Close();
  return bytes;
}

void WriteFileFlushed(IFileSystem& fs, const std::string& path, const std::string& bytes) {
  TBlockFile file = TBlockFile::Create(fs, path);
  if (!bytes.empty()) file.WriteExact(bytes.data(), static_cast<uint32_t>(bytes.size()));
  file.Flush();
  file.Close();
}

void CopyRangeFlushed(IFileSystem& fs, TBlockFile& source, int64_t position, int64_t count,
                      const std::string& to) {
  const int64_t length = source.Size();
  // A damaged directory may point before the start or past the end: only what is there is read.
  const int64_t start = std::clamp<int64_t>(position, 0, length);
  const int64_t present = std::clamp<int64_t>(position + count, start, length) - start;
  TBlockFile target = TBlockFile::Create(fs, to);
  if (position < 0) WriteZeros(target, std::min(count, start - position));
  source.Seek(start);
  CopyExact(source, target, present);
  const int64_t written = target.Size();
  if (written < count) WriteZeros(target, count - written);
  target.Flush();
  target.Close();
}

int64_t CopyFileFlushed(IFileSystem& fs, const std::string& from, const std::string& to) {
  TBlockFile source = TBlockFile::OpenReadOnly(fs, from);
  const int64_t size = source.Size();
  CopyRangeFlushed(fs, source, 0, size, to);
  source.Close();
  return size;
}

std::string ParentFolder(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

void CreateFolderPath(IFileSystem& fs, const std::string& path) {
  if (path.empty() || fs.DirectoryExists(path)) return;
  const std::string parent = ParentFolder(path);
  if (!parent.empty() && parent != path) CreateFolderPath(fs, parent);
  if (!fs.CreateDirectory(path) && !fs.DirectoryExists(path))
    throw Exception("Unable to create the folder " + path);
}

void RemoveFolderTree(IFileSystem& fs, const std::string& path) {
  std::vector<std::string> names;
  if (!fs.ListFolder(path, names)) return;
  for (const std::string& name : names) {
    const std::string child = path + "\\" + name;
    if (fs.DirectoryExists(child))
      RemoveFolderTree(fs, child);
    else
      fs.DeleteFile(child);
  }
  fs.RemoveDirectory(path);
}

}  // namespace merva
