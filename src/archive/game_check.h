#pragma once
// Whether a folder is a game the installer can work on: the one rule every front end asks,
// each telling the answer in its own words.
#include <string>

#include "core/file_system.h"

namespace merva {

enum class TGameCheck {
  kGame,           // a folder whose models\gta3.img is an IMG archive ("VER2")
  kNoFolder,       // nothing at the folder's path
  kNotAFolder,     // a file or a device there
  kDefinitive,     // GTA San Andreas - The Definitive Edition, another game
  kNoArchive,      // no models\gta3.img
  kArchiveNoFile,  // a folder or a device at models\gta3.img
  kArchiveNotImg,  // a file without the "VER2" header
};

TGameCheck CheckGameFolder(IFileSystem& fs, const std::string& gameFolder);
// True while anything lies where the folder's archive goes (a file, or a link to one): the game
// is still there, so a restore point that records this folder is not one of a game moved since.
bool StillHoldsArchive(IFileSystem& fs, const std::string& gameFolder);
// True when the file at `path` begins with the header of an archive kind Merva reads ("VER2",
// the game's own).
bool HasArchiveHeader(IFileSystem& fs, const std::string& path);

}  // namespace merva
