#pragma once
// What makes an IMG archive sound for the game: every entry's data inside the file and past the
// directory, no two entries' data overlapping, no name given twice; and what the game cannot
// use though the archive is whole (names of 24 characters, entries of more than 65,535 sectors).
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace merva {

struct TArchiveFinding {
  bool Error;  // false for a warning
  std::string Text;
  // Data that lies where no rebuild can take it from: past the end, inside the directory,
  // overlapping another entry, or of a negative size.
  bool Misplaced = false;
};

struct TArchiveReport {
  std::vector<TArchiveFinding> Findings;  // entry by entry, then names, then overlaps
  int Errors = 0;
  int Warnings = 0;
  bool Sound() const { return Errors == 0; }
};

// Checks the directory of an archive file `length` bytes long.
TArchiveReport CheckArchive(const TGTA3Archive& archive, int64_t length);

// A game archive whose entries' data lies where it cannot be read whole: installing into it
// would write the mod over entries it never names, and no undo could give the archive back.
class EArchiveDamaged : public EFileError {
 public:
  EArchiveDamaged(const std::string& path, const TArchiveReport& report);
};
// Raises EArchiveDamaged, naming the misplaced entries, when the archive at `path`, `length`
// bytes long, holds any (data in a last sector that was not padded out is not missing).
void RefuseMisplacedData(const TGTA3Archive& archive, int64_t length, const std::string& path);

// Writes a new archive without entries at `path`: the header, padded to one sector.
void CreateEmptyArchive(IFileSystem& fs, const std::string& path);

}  // namespace merva
