#pragma once
// Names as Windows reads them, so that a name is compared as the system that will hold it does:
// final dots and spaces are dropped ("gta3.img." is "gta3.img"), letter case does not count,
// device names ("NUL", "con.txt") are no files at all, and some characters are refused.
#include <string>
#include <vector>

namespace merva {

// One part of a path as Windows compares it: final dots and spaces dropped, the letters that
// code page 1251 holds (Latin and Cyrillic) in capitals.
std::string WindowsNameKey(const std::string& part);
// The parts joined by "\", each as WindowsNameKey: two paths with one key are one file.
std::string WindowsPathKey(const std::vector<std::string>& parts);
// Why Windows cannot hold `part` as a file or folder name of its own; empty when it can. A
// device name with any extension, a character Windows refuses, a name of dots and spaces alone.
std::string WindowsNameFault(const std::string& part);

// The system's long form of a full path, in which the wide API takes a path of any length:
// "\\?\C:\..." for a drive, "\\?\UNC\server\share\..." for a share. A path already in a
// form of the system's own ("\\?\", "\\.\": a device) or no full path stays as it is.
std::string LongPathForm(const std::string& fullPath);
// True for a path that names its drive or share ("C:\...", "\\server\..."), which the system
// reads without the current folder.
bool IsFullPath(const std::string& path);

}  // namespace merva
