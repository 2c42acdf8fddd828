#pragma once
// What merva.exe is asked on its command line: the pages (nothing, or /undo with a game folder),
// or an unattended run in the switches the other installers use, so that a batch file can
// install a whole mod pack.
#include <cstdint>
#include <string>
#include <vector>

namespace merva {

enum class TRunMode : uint8_t {
  kPages,       // the wizard's pages, or /undo's question and boxes
  kSilent,      // /silent: only the window with its progress bar, nothing asked
  kVerySilent,  // /verysilent (or /S): no window at all
};

struct TCommandLine {
  bool Undo = false;
  TRunMode Mode = TRunMode::kPages;
  std::string GameFolder;  // /dir="..." (or /undo's folder word); empty: the usual one
  std::string Log;         // /log="FILE"; empty: no log
  std::string Point;       // /point="NAME": the restore point /undo takes back
  // /replacelines: an unattended installation may change lines another installed mod wrote
  // into something else (operations/installation.h, EItemConflicts).
  bool ReplaceLines = false;
  // /anyedition: an unattended installation of a mod that names its editions may go into a game
  // whose edition Merva cannot tell (operations/edition_check.h).
  bool AnyEdition = false;
  // /pastlimits: an unattended installation may take the game past one of its limits
  // (operations/limits_check.h).
  bool PastLimits = false;
  // A wrong command line, said in the program's words; empty when it is right.
  std::string Error;
};

// Splits a whole command line (the program's name first, then the words) as batch files and the
// other installers write one: blanks outside quotes separate words, a quote opens or closes a
// quoted part and is dropped, and a backslash is always itself. No value holds a quote, so
// /dir="C:\Games\" ends with its backslash instead of swallowing the rest of the line, as the
// C runtime's rules would. Gives the words after the program's name.
std::vector<std::string> SplitCommandLine(const std::string& line);

// Reads the words after the program's name. Switches are read in any letter case, their values
// as they stand (the system has taken the quotes away).
TCommandLine ReadCommandLine(const std::vector<std::string>& words);

// The switches, for the message of a wrong command line and the guide.
extern const char kCommandLineUsage[];

}  // namespace merva
