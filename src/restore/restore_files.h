#pragma once
// The few whole-file operations a restore point needs, each checked and flushed, so that what a
// restore point says is on the disk before the archive it describes takes its place.
#include <cstdint>
#include <string>

#include "core/block_file.h"
#include "core/file_system.h"

namespace merva {

std::string ReadWholeFile(IFileSystem& fs, const std::string& path);
void WriteFileFlushed(IFileSystem& fs, const std::string& path, const std::string& bytes);
// Copies `count` bytes of `source` starting at `position` to a new file `to`, flushed; what
// lies outside `source` is written as zeros.
void CopyRangeFlushed(IFileSystem& fs, TBlockFile& source, int64_t position, int64_t count,
                      const std::string& to);
// Copies a whole file to a new file `to`, flushed; returns its size.
int64_t CopyFileFlushed(IFileSystem& fs, const std::string& from, const std::string& to);
// Creates a folder and every folder above it that is missing.
void CreateFolderPath(IFileSystem& fs, const std::string& path);
// Removes a folder with everything in it, as far as it can; never raises.
void RemoveFolderTree(IFileSystem& fs, const std::string& path);
// The folder part of a path, without the last separator.
std::string ParentFolder(const std::string& path);

}  // namespace merva
