#pragma once
// The game folder as the installer knows it: where the game keeps its archive, and the names the
// installer itself uses there (the new archive's temporary file, the scratch folder, the lock,
// the journal of a run, the names beside a file moved aside or written for its place).
// Every part of the program asks here, the build checks of a mod too, so that no mod can
// replace what the installer relies on.
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/file_system.h"

namespace merva {

extern const char kScratchFolderName[];  // "merva-install.tmp": the run's own files
extern const char kGameLockName[];       // "merva.lock", while a run holds the game
// The journal of a run that changes the game, until that run (or the one after it) is done.
extern const char kJournalName[];  // "merva-journal.txt"
// Beside a file that a run moves out of its place until it is committed: the archive, a game
// file. The journal alone says whose it is.
extern const char kAsideSuffix[];  // ".merva-old"
// Beside a game file while an undo writes the version it puts back.
extern const char kStagedSuffix[];  // ".merva-new"

// The game's archive as a path below the game folder, as messages name it.
extern const char kArchiveInGame[];  // "models\\gta3.img"

// The game's archive in `gameFolder` ("\\models\\gta3.img" added as it stands), and the file the
// new archive is written to beside it before it takes the archive's place.
std::string ArchivePathOf(const std::string& gameFolder);
std::string TempArchivePathOf(const std::string& gameFolder);
std::string JournalPathOf(const std::string& gameFolder);
// The folder a run extracts its game files into before they take their places, and its files:
// the n-th game file extracted (from 1), the n-th data file with the mod's lines merged, and the
// list of the game's folders a killed run made.
std::string ScratchFolderOf(const std::string& gameFolder);
std::string StagedGameFileOf(const std::string& gameFolder, size_t n);
std::string StagedLinesOf(const std::string& gameFolder, size_t n);
std::string MadeFoldersListOf(const std::string& gameFolder);

// A game folder as records and journals name it: "\" for "/", no final separator.
std::string TrimmedGameFolder(const std::string& folder);
// True when both name the same game folder: spelt alike (separators and a final "\" aside), or
// the same folder as the system knows it.
bool SameGameFolder(IFileSystem& fs, const std::string& a, const std::string& b);

// The fingerprint (core/fingerprint.h) of the game file at `path` as it is now, the one answer
// every part of the program compares with what an installation wrote: empty when no file is
// there, and for a link, which no installation writes and so is nobody's version. Raises
// EInOutError when the file cannot be read.
std::string GameFileFingerprint(IFileSystem& fs, const std::string& path);

// The spelling the game folder has of `relative` (parts joined by "\\"): a part that is not
// there as spelt is the entry Windows would open for it (any letter case, final dots and spaces
// dropped), so that on a case-sensitive file system too (a Linux game for Wine or Proton) a
// mod's DATA\\HANDLING.CFG is the player's data\\handling.cfg. What is not there at all stays
// as spelt.
std::string SpellingInGame(IFileSystem& fs, const std::string& gameFolder,
                           const std::string& relative);

// A game folder that is no folder, or holds no game archive, told with the path that is missing.
class ENotAGame : public EFileError {
 public:
  using EFileError::EFileError;
};

// True when a path below the game folder, given as its parts, is one of the installer's own
// names or lies below one, as Windows reads names ("models\\gta3.img.", "MERVA.LOCK ").
bool IsInstallersOwnPath(const std::vector<std::string>& parts);

}  // namespace merva
