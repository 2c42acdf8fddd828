#pragma once
// The exit codes of the runs without pages (the wizard's unattended runs, merva-img install and
// undo), so that a batch file can stop at the first run that did not end well and tell why.
#include <exception>

namespace merva {

enum TExitCode : int {
  kExitDone = 0,
  kExitFailed = 1,          // failed, nothing changed
  kExitUsage = 2,           // a wrong command line
  kExitRefusedByLevel = 3,  // the installed level refuses the mod
  kExitBusy = 4,            // another installation or undo of that game runs, or the game holds
                            // its archive
  kExitNoGame = 5,          // the game folder holds no game archive
  kExitHalfDone = 6,        // failed after a change and could not take it back
  kExitWrongEdition = 7,    // the game is an edition the mod is not for
};

// What each code means, in the words the players' guide (docs/players.md) gives them: a test
// holds the guide to these.
struct TExitCodeMeaning {
  TExitCode Code;
  const char* Words;
};
extern const TExitCodeMeaning kExitCodeMeanings[8];

// The code for a run that ended with `error`.
TExitCode ExitCodeOf(const std::exception& error);

}  // namespace merva
