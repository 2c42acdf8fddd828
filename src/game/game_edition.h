#pragma once
// Which edition of San Andreas a game folder holds, read from the game's program itself: most
// plugins and limit adjusters work on 1.0 alone, and the Definitive Edition is another game
// whose folder no mod for this one may touch.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "game/game_folder.h"

namespace merva {

struct TGameEdition {
  // In words: "1.0 US", "1.01 EU", "Steam 3.0", "Launcher 1.0.22"; empty when Merva does not
  // know the build.
  std::string Name;
  // The edition's line: "1.0", "1.01", "Steam" or "Launcher"; empty when not even that is known.
  std::string Line;
  // More of the build, told beside its name: "compact" or "Hoodlum" for a 1.0 US program.
  std::string Build;
  bool Definitive = false;
  // The game's program as found ("gta_sa.exe", "gta-sa.exe"); empty when the folder has none.
  std::string Program;
  int64_t ProgramBytes = 0;
  // The program's SHA-256, taken only when its build is not known, so that a player can tell it.
  std::string ProgramSha256;
  // A multiplayer client lies in the folder: not an edition, but worth telling.
  bool Multiplayer = false;

  bool Known() const { return !Name.empty(); }
  // The edition as the player reads it: its name, or what Merva knows of a build it does not.
  std::string Text() const;
};

// What the marks in a program's bytes say: Name, Line and Build, else nothing. `read` gives the
// bytes at a file position (fewer at the end of the file).
struct TProgramMarks {
  std::string Name, Line, Build;
};
using TReadAt = std::function<std::vector<uint8_t>(int64_t position, uint32_t count)>;
TProgramMarks ProgramMarks(const TReadAt& read);

// The edition of the game in `gameFolder`. A folder without the game's program (a copied or
// stripped game) is of an edition Merva does not know; reading never changes anything.
TGameEdition GameEditionOf(IFileSystem& fs, const std::string& gameFolder);

// True when the folder holds GTA San Andreas - The Definitive Edition.
bool IsDefinitiveEdition(IFileSystem& fs, const std::string& gameFolder);
// The Definitive Edition refused by name, before anything changes: a folder that is not a game
// for these mods, so its exit code is the one for no game.
class EDefinitiveEdition : public ENotAGame {
 public:
  explicit EDefinitiveEdition(const std::string& gameFolder);
};
void RefuseDefinitiveEdition(IFileSystem& fs, const std::string& gameFolder);

// The edition names a mod may list on its `editions =` line, and what each stands for.
struct TEditionWord {
  const char* Word;   // "1.0", "1.0 US", "Steam"...
  const char* Line;   // the line of every build it names: "1.0", "Steam"
  const char* Words;  // as a refusal tells it: "1.0 (US or EU)"
};
const std::vector<TEditionWord>& EditionWords();
// The word as listed, matched as a player would write it (any case, spaces squeezed); empty
// when it names no edition Merva knows.
std::string EditionWordOf(const std::string& text);
// The words of an `editions` line ("1.0 US, 1.0 EU"), each as EditionWordOf gives it; a word
// that names no known edition is kept as written and named in `unknown` (the first such).
std::vector<std::string> EditionWordsOf(const std::string& line, std::string* unknown = nullptr);
// True when `edition` is one of those `words` name.
bool EditionIsOneOf(const TGameEdition& edition, const std::vector<std::string>& words);

// What a mod's editions say of a game.
enum class TEditionVerdict {
  kAny,      // the mod names none: every edition
  kFor,      // the game is one of them
  kNotFor,   // the game is known to be another
  kUnknown,  // Merva cannot tell: the player decides
};
TEditionVerdict EditionVerdictOf(const TGameEdition& edition,
                                 const std::vector<std::string>& words);
// "1.0 (US or EU)", "1.0 US or 1.01 EU": the editions a mod is for, in a sentence.
std::string EditionsText(const std::vector<std::string>& words);

}  // namespace merva
