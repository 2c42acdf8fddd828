#pragma once
// What the program takes from its environment: where restore points are kept, and the time.
#include <string>

namespace merva {

// The folder that holds the restore points, as a UTF-8 path: the one that
// MERVA_RESTORE_DIR names, else %LOCALAPPDATA%\Merva\restore on Windows and
// $XDG_DATA_HOME/merva/restore (when absolute; else ~/.local/share/merva/restore) elsewhere. Empty
// when none of these is set. Always a full path without a final separator.
std::string RestoreFolderFromEnvironment();
// `folder` without the separators it ends in, a drive's or the system's root aside.
std::string FolderWithoutFinalSeparators(std::string folder);
// The folder that holds the copy of merva.exe the Installed apps entries run: a folder of our
// own under %ProgramFiles%, where only administrators may write, since the uninstall command
// starts it with administrator rights. Empty where there is no such folder (not Windows): the
// copy then lies beside the restore points.
std::string ProgramCopyFolderFromEnvironment();
// The local date and time, as "2026-12-08 14:05:09".
std::string LocalTimeText();

}  // namespace merva
