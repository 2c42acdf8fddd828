#pragma once
// The script's two file lists, read once into values that every step of an installation uses:
// which package file each item names, and where a game file goes.
#include <string>
#include <vector>

#include "script/script.h"

namespace merva {

// A package file put into one of the game's archives under its own name.
struct TArchiveItem {
  std::string PackageName;  // empty: the item names no package file and is passed over
  // The archive below the game folder (game/game_archives.h, "models\\gta_int.img"); empty for
  // models\gta3.img.
  std::string Archive;
};

// A named-archive record's text: the archive, "|" (which no Windows name holds), the item.
std::string NamedArchiveItemText(const std::string& archive, const std::string& item);
// Its two parts; false when the text has no "|".
bool SplitNamedArchiveItem(const std::string& text, std::string& archive, std::string& item);

// A package file copied into the game folder ("data\\cars.ide").
struct TGameFileItem {
  std::string Item;         // as the script lists it, for messages
  std::string PackageName;  // its file-name part; empty: it names no package file
  // The path below the game folder, its parts joined by "\" without empty or "." parts, and
  // the folders on the way to it, outermost first ("data", "data\\maps").
  std::string Path;
  std::vector<std::string> Folders;
};

// Lines a mod merges by key into one of the game's data files (data/data_rules.h).
struct TDataLinesItem {
  std::string Item;         // the record's text, for messages
  std::string File;         // the data file below the game folder, as GamePathParts joins it
  std::string PackageName;  // the package file holding the lines; empty: it names none
};

// A data-lines record's text: the data file, "|", the package file of its lines.
std::string DataLinesItemText(const std::string& file, const std::string& lines);

struct TInstallItems {
  std::vector<TArchiveItem> ArchiveFiles;
  std::vector<TGameFileItem> GameFiles;
  std::vector<TDataLinesItem> DataLines;
};

// True when a game-file item names what the installer itself uses in the game folder, or lies
// below it: the archive, its temporary file, the scratch folder or the lock, as Windows reads
// names. A package must not replace them.
bool GameFileItemIsInstallers(const std::string& item);

// The item as Windows compares paths: two items with one key are one file there.
std::string GameFileItemKey(const std::string& item);

// The script's lists as items, in their order, the archive items that name their archive after
// the others. A game-file item outside the game folder, or one that the installer itself uses,
// and an archive a mod may not change (GameArchiveFault), raise: nothing may be installed from
// such a script; so do lines for a data file without a key rule, or for one the script also
// replaces whole.
TInstallItems ReadInstallItems(const TDATAInst& Script);

}  // namespace merva
