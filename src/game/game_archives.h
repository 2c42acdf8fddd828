#pragma once
// The game's IMG archives a mod may put files into: models\gta3.img, where an item that names
// no archive goes, and any other ".img" below the game folder (models\gta_int.img,
// models\player.img, anim\anim.img...) that is not one of the installer's own names. The
// script reader, the package builder, the installation and the undo all ask here.
#include <string>

#include "core/file_system.h"

namespace merva {

// Why a mod may not name `relative` (as a script or a manifest gives it, "\" or "/") as the
// archive of its items: outside the game folder, a name Windows cannot hold, one the installer
// itself uses, or no ".img". Empty when it may.
std::string GameArchiveFault(const std::string& relative);
// The archive as one path below the game folder, its parts joined by "\", without empty or
// "." parts: "models/gta_int.img" is "models\gta_int.img".
std::string GameArchivePath(const std::string& relative);
// The key two spellings of one archive share, as Windows reads names.
std::string GameArchiveKey(const std::string& relative);
// True when `relative` names models\gta3.img, or is empty.
bool IsMainArchive(const std::string& relative);

// The archive in `gameFolder`, and the name of ours beside it that its rebuild is written to
// before it takes the archive's place: temp.img for models\gta3.img, NAME.merva-new for others.
std::string GameArchivePathOf(const std::string& gameFolder, const std::string& relative);
std::string RebuiltArchivePathOf(const std::string& gameFolder, const std::string& relative);
// The archive as messages name it: "models\gta3.img" for the main one.
std::string GameArchiveText(const std::string& relative);

// The game folder of `path` when it lies in one: spelt as a game's archive (GAME\models\gta3.img,
// as Windows reads names), or below the nearest folder that holds models\gta3.img. `archive`
// gets its place below the game folder (empty for gta3.img); false when it is in no game.
bool GameOfArchivePath(IFileSystem& fs, const std::string& path, std::string& game,
                       std::string& archive);

}  // namespace merva
