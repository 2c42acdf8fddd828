#pragma once
// The journal of one run that changes a game: the installation, the undo, and a change of the
// game's archive by merva-img. It lies in the game folder (kJournalName), so that any later run
// on that folder finds it, whatever its spelling of the folder and whoever runs it.
//
// Before its first change a run writes, flushed, every step it will take: the files and folders
// it makes (the new archive, game files, a restore point being written), what it moves out of
// the way, and where each goes once the run is done. It then makes and moves them, makes them
// last (files and folders flushed), and commits: one line, flushed. After the commit only moves
// into free places and removals are left, and they are the same whoever does them.
//
// One rule settles a journal left behind (Recover): not committed, everything made goes and
// everything moved aside comes back; committed, the steps are finished. Either way the journal
// goes last. A journal that is damaged is named and refused, never followed; no step reaches
// outside the game folder and the restore folder it names, or through a link.
#include <string>
#include <vector>

#include "core/file_system.h"

namespace merva {

// Where a step of a journal lies: below the game folder or below the restore folder.
struct TJournalPlace {
  enum TBase { kGame, kRestore } Base = kGame;
  std::string Relative;
};

struct TJournalStep {
  enum TKind {
    kNew,          // a file the run makes: kept when done, removed when not
    kScratch,      // a file or folder the run makes for itself: removed either way
    kPut,          // a file the run makes (From) that takes its place (To) when done
    kPutPoint,     // a restore point written at From that takes the name To when done
    kAside,        // a file the run moves from From to To: removed when done, back when not
    kRemovePoint,  // a restore point removed when done
    kMadeFolder,   // a folder the run makes in the game: removed when not done, if empty
    kEmptyFolder,  // a folder of the game removed when done, if empty
    // A restore point rewritten at From that takes the place of the point To when done (an undo
    // of an older installation rewrites the later ones).
    kReplacePoint,
  };
  TKind Kind = kNew;
  TJournalPlace From, To;
};

// The journal of a run; the run holds the game's lock, and the journal left by an earlier run is
// settled (Recover) before this one is begun.
class TJournal {
 public:
  // `restoreRoot` is empty for a run that keeps no restore point. `pointsGame` is the game
  // folder its restore points record, when the game moved since they were made.
  TJournal(IFileSystem& fs, std::string gameFolder, std::string restoreRoot,
           std::string pointsGame = "");
  // A run that fails before its commit is taken back by the rule above; one that fails after
  // it is left for the next run to finish.
  ~TJournal();
  TJournal(const TJournal&) = delete;
  TJournal& operator=(const TJournal&) = delete;

  // The steps, by full paths below the game folder or the restore folder, before Begin.
  void New(const std::string& path) { Add(TJournalStep::kNew, path, ""); }
  void Scratch(const std::string& path) { Add(TJournalStep::kScratch, path, ""); }
  void Put(const std::string& from, const std::string& to) { Add(TJournalStep::kPut, from, to); }
  void PutPoint(const std::string& from, const std::string& to) {
    Add(TJournalStep::kPutPoint, from, to);
  }
  // `path` moves to path + kAsideSuffix (MoveAside).
  void Aside(const std::string& path);
  void RemovePoint(const std::string& path) { Add(TJournalStep::kRemovePoint, path, ""); }
  void ReplacePoint(const std::string& from, const std::string& to) {
    Add(TJournalStep::kReplacePoint, from, to);
  }
  void MadeFolder(const std::string& path) { Add(TJournalStep::kMadeFolder, path, ""); }
  void EmptyFolder(const std::string& path) { Add(TJournalStep::kEmptyFolder, path, ""); }

  // Writes the journal and makes it last, before the run's first change.
  void Begin();
  // Moves every file noted with Aside out of its place (a name of ours beside it cleared
  // first). Raises EInOutError naming the file that would not move; the destructor then puts
  // back what had moved.
  void MoveAside();
  // Makes last what the run made and moved, then commits the run.
  void Commit();
  // Takes every step left and removes the journal. Raises EHalfDone when a step fails: the
  // journal then stays for the next run to finish.
  void Finish();

 private:
  void Add(TJournalStep::TKind kind, const std::string& from, const std::string& to);
  TJournalPlace PlaceOf(const std::string& path) const;

  IFileSystem& fs_;
  std::string game_, root_, pointsGame_;
  std::vector<TJournalStep> steps_;
  bool begun_ = false, committed_ = false, finished_ = false;
};

// True when a run on `gameFolder` was cut off and left its journal: the game is neither as before
// nor as after it until a run settles it.
bool HasUnfinishedRun(IFileSystem& fs, const std::string& gameFolder);

// Settles the journal that a run on `gameFolder` left, while the caller holds the game's lock;
// nothing when there is none. Raises EFileError, naming the journal, when it is damaged.
void RecoverJournal(IFileSystem& fs, const std::string& gameFolder);

// The journal's text for `steps` (committed or not), and its reading; for the tests of hostile
// journals.
std::string JournalText(const std::string& gameFolder, const std::string& restoreRoot,
                        const std::string& pointsGame, const std::vector<TJournalStep>& steps);
extern const char kJournalCommitLine[];  // "commit\n"

}  // namespace merva
