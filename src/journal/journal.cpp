#include "journal/journal.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "core/block_file.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/text.h"
#include "core/windows_names.h"
#include "game/game_folder.h"
#include "game/game_path.h"
#include "restore/restore_names.h"
#include "restore/restore_store.h"
#include "script/install_items.h"

namespace merva {

const char kJournalCommitLine[] = "commit\n";

namespace {

constexpr char kHeading[] = "merva journal 1";
// A journal names a few thousand files at most.
constexpr int64_t kJournalLimit = 16 << 20;

const char* const kKindNames[] = {"new",         "scratch",      "put",
                                  "put-point",   "aside",        "remove-point",
                                  "made-folder", "empty-folder", "replace-point"};
constexpr size_t kKindCount = sizeof kKindNames / sizeof kKindNames[0];

const char* BaseName(TJournalPlace::TBase base) {
  return base == TJournalPlace::kGame ? "game" : "restore";
}

bool HasTwoPlaces(TJournalStep::TKind kind) {
  return kind == TJournalStep::kPut || kind == TJournalStep::kPutPoint ||
         kind == TJournalStep::kAside || kind == TJournalStep::kReplacePoint;
}

bool NamesPoints(TJournalStep::TKind kind) {
  return kind == TJournalStep::kPutPoint || kind == TJournalStep::kRemovePoint ||
         kind == TJournalStep::kReplacePoint;
}

std::string Body(const std::string& gameFolder, const std::string& restoreRoot,
                 const std::string& pointsGame, const std::vector<TJournalStep>& steps) {
  std::string text = std::string(kHeading) + "\ngame\t" + gameFolder + "\nrestore\t" + restoreRoot +
                     "\npoints\t" + pointsGame + "\n";
  for (const TJournalStep& step : steps) {
    text += kKindNames[step.Kind];
    text += std::string("\t") + BaseName(step.From.Base) + "\t" + step.From.Relative;
    if (HasTwoPlaces(step.Kind))
      text += std::string("\t") + BaseName(step.To.Base) + "\t" + step.To.Relative;
    text += "\n";
  }
  return text;
}

std::string Digest(const std::string& text) {
  TFingerprint print;
  print.Update(text.data(), text.size());
  return print.HexDigest();
}

// A journal as read back: hostile until every place in it is checked.
struct TReadJournal {
  bool Ready = false;  // its steps were all written: the run may have changed something
  bool Committed = false;
  std::string Game, Root, PointsGame;
  std::vector<TJournalStep> Steps;
};

[[noreturn]] void Damaged(const std::string& path, const std::string& why) {
  throw EFileError(path, "the journal of an unfinished run of Merva is damaged (" + why +
                             "), so it is not followed. Nothing was changed; move it away to "
                             "go on.");
}

TJournalPlace ReadPlace(const std::string& path, const std::string& base,
                        const std::string& relative) {
  TJournalPlace place;
  if (base == "game")
    place.Base = TJournalPlace::kGame;
  else if (base == "restore")
    place.Base = TJournalPlace::kRestore;
  else
    Damaged(path, "a step names the folder \"" + base + "\"");
  // Only below the two folders: no drive, no root, no "..".
  if (relative.empty() || !GamePathIsInside(relative))
    Damaged(path, "a step names " + relative + ", which is outside its folder");
  place.Relative = relative;
  return place;
}

TReadJournal ReadJournal(IFileSystem& fs, const std::string& path) {
  TReadJournal read;
  std::string text;
  try {
    if (fs.IsLink(path)) Damaged(path, "it is a link");
    TBlockFile file = TBlockFile::OpenReadOnly(fs, path);
    const int64_t size = file.Size();
    file.Close();
    if (size > kJournalLimit) Damaged(path, "it is too large");
    text = ReadWholeFile(fs, path);
  } catch (const EInOutError& error) {
    Damaged(path, error.what());
  }
  const size_t end = text.rfind("\nend\t");
  // Cut short before the run's steps were all written: the run changed nothing yet.
  if (end == std::string::npos) return read;
  const size_t endLine = text.find('\n', end + 1);
  if (endLine == std::string::npos) return read;
  const std::string body = text.substr(0, end + 1);
  if (text.substr(end + 5, endLine - end - 5) != Digest(body))
    Damaged(path, "its steps do not match their fingerprint");
  const std::string tail = text.substr(endLine + 1);
  // A commit cut short by a power cut is no commit.
  if (!tail.empty() && std::string(kJournalCommitLine).compare(0, tail.size(), tail) != 0)
    Damaged(path, "it goes on after its end");
  read.Ready = true;
  read.Committed = tail == kJournalCommitLine;
  std::vector<std::string> lines = SplitAt(body, "\n");
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.size() < 4 || lines[0] != kHeading || lines[1].rfind("game\t", 0) != 0 ||
      lines[2].rfind("restore\t", 0) != 0 || lines[3].rfind("points\t", 0) != 0)
    Damaged(path, "its heading is not Merva's");
  read.Game = lines[1].substr(5);
  read.Root = lines[2].substr(8);
  read.PointsGame = lines[3].substr(7);
  for (size_t i = 4; i < lines.size(); ++i) {
    const std::vector<std::string> fields = SplitAt(lines[i], "\t");
    const auto kind =
        std::find(kKindNames, kKindNames + kKindCount, fields.empty() ? "" : fields[0]);
    if (kind == kKindNames + kKindCount) Damaged(path, "it holds an unknown step");
    TJournalStep step;
    step.Kind = static_cast<TJournalStep::TKind>(kind - kKindNames);
    if (fields.size() != (HasTwoPlaces(step.Kind) ? 5u : 3u))
      Damaged(path, "a step has the wrong number of fields");
    step.From = ReadPlace(path, fields[1], fields[2]);
    if (HasTwoPlaces(step.Kind)) step.To = ReadPlace(path, fields[3], fields[4]);
    read.Steps.push_back(step);
  }
  return read;
}

std::string RelativeKey(const std::string& relative) {
  return WindowsPathKey(SplitAt(relative, "\\/"));
}

// True when a run could have staged `from` (below the game folder) for `to`: the new archive
// beside gta3.img, NAME.merva-new beside its file, or a file extracted into the scratch folder
// for a game file. Whatever else a step would put over a file is no run's.
bool StagedFor(const std::string& from, const std::string& to) {
  if (RelativeKey(from) == RelativeKey(to + kStagedSuffix)) return true;
  if (RelativeKey("x\\" + from) == RelativeKey(TempArchivePathOf("x")))
    return RelativeKey("x\\" + to) == RelativeKey(ArchivePathOf("x"));
  const std::vector<std::string> parts = SplitAt(from, "\\/");
  return parts.size() >= 2 && WindowsNameKey(parts[0]) == WindowsNameKey(kScratchFolderName) &&
         !IsInstallersOwnPath(SplitAt(to, "\\/"));
}

// Takes the steps of a journal forward (done) or back (not done), on the places they name.
class TSettle {
 public:
  // `pointGames` are the folders a point of this game may record.
  TSettle(IFileSystem& fs, std::string journal, std::string game, std::string root,
          std::vector<std::string> pointGames, bool restoreSide)
      : fs_(fs),
        journal_(std::move(journal)),
        game_(std::move(game)),
        root_(std::move(root)),
        pointGames_(std::move(pointGames)),
        restoreSide_(restoreSide) {}

  // Checks every place before anything is touched.
  void Check(const std::vector<TJournalStep>& steps) {
    std::set<std::string> points;
    for (const TJournalStep& step : steps)
      if (NamesPoints(step.Kind)) points.insert(ExtractFileNamePart(step.From.Relative));
    for (const TJournalStep& step : steps) {
      const bool point = NamesPoints(step.Kind);
      for (const TJournalPlace* place : {&step.From, &step.To}) {
        if (place == &step.To && !HasTwoPlaces(step.Kind)) continue;
        const bool restore = place->Base == TJournalPlace::kRestore;
        // The restore folder holds only restore points and the player's edits kept beside
        // them; the game folder holds no restore point.
        if (restore != point &&
            !(restore && step.Kind == TJournalStep::kNew && IsEdits(place->Relative, points)))
          Refuse("a step puts " + place->Relative + " where it does not belong");
        if (restore && (root_.empty() || place->Relative.find('\\') != std::string::npos))
          Refuse("a step names " + place->Relative + " outside the restore folder");
        if (step.Kind == TJournalStep::kScratch && !restore &&
            WindowsNameKey(place->Relative) != WindowsNameKey(kScratchFolderName))
          Refuse("a step removes " + place->Relative);
        // Each kind of step names only what a run makes of its own.
        if (step.Kind == TJournalStep::kNew && !restore)
          Refuse("a step removes " + place->Relative);
        if (step.Kind == TJournalStep::kPut && place == &step.To &&
            !StagedFor(step.From.Relative, step.To.Relative))
          Refuse("a step puts " + step.From.Relative + " over " + step.To.Relative);
        if (step.Kind == TJournalStep::kAside && place == &step.To &&
            RelativeKey(step.To.Relative) != RelativeKey(step.From.Relative + kAsideSuffix))
          Refuse("a step moves " + step.From.Relative + " to " + step.To.Relative);
        const std::string& base = restore ? root_ : game_;
        const std::string link = LinkOnTheWay(fs_, base, place->Relative);
        if (!link.empty()) Refuse("a step names " + link + ", a link, which Merva does not follow");
      }
    }
  }

  // The old point goes (its mark last), then the rewritten one takes its name; cut off between
  // the two, the next run finds the rewritten one still waiting.
  void ReplacePoint(const std::string& from, const std::string& to) {
    if (!IsGamesPoint(from)) return;
    if (IsGamesPoint(to)) RemovePointFolder(fs_, to);
    if (!fs_.IsLink(to)) fs_.RemoveDirectory(to);
    const int code = fs_.MoveFolder(from, to);
    if (code != 0) throw EInOutError(code, to);
  }

  void Forward(const std::vector<TJournalStep>& steps) {
    for (const TJournalStep& step : steps) {
      if (Skipped(step)) continue;
      const std::string from = PathOf(step.From),
                        to = HasTwoPlaces(step.Kind) ? PathOf(step.To) : "";
      switch (step.Kind) {
        case TJournalStep::kScratch:
          RemoveMade(from);
          break;
        case TJournalStep::kPut:
          if (fs_.FileExists(from)) {
            const int code = fs_.MoveFileReplace(from, to);
            if (code != 0) throw EInOutError(code, to);
          }
          break;
        case TJournalStep::kPutPoint:
          if (IsGamesPoint(from) && !fs_.DirectoryExists(to)) {
            const int code = fs_.MoveFolder(from, to);
            if (code != 0) throw EInOutError(code, to);
          }
          break;
        case TJournalStep::kReplacePoint:
          ReplacePoint(from, to);
          break;
        case TJournalStep::kAside:
          // A copy of a game file left behind would stay for good: the next run tries again.
          // Ours, it goes even when the file it was carried the read-only attribute.
          if (!fs_.IsLink(to) && fs_.IsReadOnly(to)) fs_.ClearReadOnly(to);
          RemoveStaleName(fs_, to);
          if (fs_.IsLink(to) || fs_.FileExists(to)) throw EInOutError(kAccessDenied, to);
          break;
        case TJournalStep::kRemovePoint:
          if (IsGamesPoint(from)) {
            RemovePointFolder(fs_, from);
            if (fs_.DirectoryExists(from)) throw EInOutError(kAccessDenied, from);
          }
          // Emptied, mark and all, by a run cut off before the folder itself went.
          if (!fs_.IsLink(from)) fs_.RemoveDirectory(from);
          break;
        case TJournalStep::kEmptyFolder:
          fs_.RemoveDirectory(from);
          break;
        case TJournalStep::kMadeFolder:
          // The run made it: a folder removed since is made again for the files put into it,
          // and only then (a journal copied alone into another game puts nothing there).
          if (!fs_.DirectoryExists(from) && SomethingIsPutInto(steps, from))
            fs_.CreateDirectory(from);
          break;
        case TJournalStep::kNew:
          break;
      }
      Touched(from, to);
    }
  }

  void Back(const std::vector<TJournalStep>& steps) {
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
      const TJournalStep& step = *it;
      if (Skipped(step)) continue;
      const std::string from = PathOf(step.From),
                        to = HasTwoPlaces(step.Kind) ? PathOf(step.To) : "";
      switch (step.Kind) {
        case TJournalStep::kNew:
        case TJournalStep::kScratch:
          RemoveMade(from);
          break;
        case TJournalStep::kPut:
          RemoveStaleName(fs_, from);
          break;
        case TJournalStep::kPutPoint:
        case TJournalStep::kReplacePoint:
          // Or made and cut off before its mark was written, which no other folder is.
          if (IsGamesPoint(from) || IsUnmarked(from)) RemovePointFolder(fs_, from);
          if (!fs_.IsLink(from)) fs_.RemoveDirectory(from);
          break;
        case TJournalStep::kAside:
          if (fs_.IsLink(to) || fs_.FileExists(to)) {
            const int code = fs_.MoveFileReplace(to, from);
            if (code != 0) throw EInOutError(code, from);
          }
          break;
        case TJournalStep::kMadeFolder:
          fs_.RemoveDirectory(from);
          break;
        case TJournalStep::kRemovePoint:
        case TJournalStep::kEmptyFolder:
          break;
      }
      Touched(from, to);
    }
  }

  // What the steps changed lasts before the journal that describes them goes.
  void MakeLast() {
    for (const std::string& folder : touched_)
      if (fs_.DirectoryExists(folder)) fs_.FlushFolder(folder);
  }

 private:
  [[noreturn]] void Refuse(const std::string& why) { Damaged(journal_, why); }

  // True when a step still waiting puts a file below `folder`.
  bool SomethingIsPutInto(const std::vector<TJournalStep>& steps, const std::string& folder) {
    const std::string key = RelativeKey(folder) + "\\";
    for (const TJournalStep& step : steps)
      if (step.Kind == TJournalStep::kPut && !Skipped(step) &&
          RelativeKey(PathOf(step.To)).rfind(key, 0) == 0 &&
          (fs_.FileExists(PathOf(step.From)) || fs_.IsLink(PathOf(step.From))))
        return true;
    return false;
  }

  bool Skipped(const TJournalStep& step) const {
    // A game folder copied with its journal: the restore points are the other folder's.
    return !restoreSide_ && (step.From.Base == TJournalPlace::kRestore ||
                             (HasTwoPlaces(step.Kind) && step.To.Base == TJournalPlace::kRestore));
  }

  std::string PathOf(const TJournalPlace& place) const {
    return (place.Base == TJournalPlace::kGame ? game_ : root_) + "\\" + place.Relative;
  }

  static bool IsEdits(const std::string& name, const std::set<std::string>& points) {
    for (const std::string& point : points)
      if (name.rfind(point + " edits", 0) == 0) return true;
    return false;
  }

  // A restore point of this game's, never anyone else's folder.
  bool IsGamesPoint(const std::string& path) {
    if (fs_.IsLink(path) || !IsOwnPointFolder(fs_, path)) return false;
    TRestorePoint point;
    const std::string game =
        ReadRestorePoint(fs_, path, point) ? point.GameFolder : PointMarkGame(fs_, path);
    if (game.empty()) return false;
    if (SameGameFolder(fs_, game, game_)) return true;
    for (const std::string& other : pointGames_)
      if (!other.empty() && SameGameFolder(fs_, game, other)) return true;
    return false;
  }

  // A folder with nothing in it but an empty mark.
  bool IsUnmarked(const std::string& path) {
    std::vector<std::string> names;
    const std::string mark = InPoint(path, kPointMarkName);
    if (fs_.IsLink(path) || !fs_.ListFolder(path, names) || names.size() != 1 ||
        names[0] != kPointMarkName || fs_.IsLink(mark))
      return false;
    try {
      TBlockFile file = TBlockFile::OpenReadOnly(fs_, mark);
      const bool empty = file.Size() == 0;
      file.Close();
      return empty;
    } catch (const std::exception&) {
      return false;
    }
  }

  void RemoveMade(const std::string& path) {
    if (!fs_.IsLink(path) && fs_.DirectoryExists(path))
      RemoveFolderTree(fs_, path);
    else
      RemoveStaleName(fs_, path);
  }

  void Touched(const std::string& from, const std::string& to) {
    touched_.insert(ParentFolder(from));
    if (!to.empty()) touched_.insert(ParentFolder(to));
  }

  IFileSystem& fs_;
  std::string journal_, game_, root_;
  std::vector<std::string> pointGames_;
  bool restoreSide_;
  std::set<std::string> touched_;
};

void RemoveJournalFile(IFileSystem& fs, const std::string& game) {
  fs.DeleteFile(JournalPathOf(game));
  fs.FlushFolder(game);
}

// Flushes a folder and the folders below it, links left alone: the names made in them last.
void FlushTree(IFileSystem& fs, const std::string& folder) {
  if (fs.IsLink(folder) || !fs.DirectoryExists(folder)) return;
  std::vector<std::string> names;
  if (fs.ListFolder(folder, names))
    for (const std::string& name : names) FlushTree(fs, folder + "\\" + name);
  fs.FlushFolder(folder);
}

}  // namespace

std::string JournalText(const std::string& gameFolder, const std::string& restoreRoot,
                        const std::string& pointsGame, const std::vector<TJournalStep>& steps) {
  const std::string body = Body(gameFolder, restoreRoot, pointsGame, steps);
  return body + "end\t" + Digest(body) + "\n";
}

TJournal::TJournal(IFileSystem& fs, std::string gameFolder, std::string restoreRoot,
                   std::string pointsGame)
    : fs_(fs),
      game_(std::move(gameFolder)),
      root_(std::move(restoreRoot)),
      pointsGame_(std::move(pointsGame)) {}

TJournal::~TJournal() {
  if (!begun_ || finished_ || committed_) return;
  try {
    TSettle settle(fs_, JournalPathOf(game_), game_, root_, {pointsGame_}, true);
    settle.Back(steps_);
    settle.MakeLast();
    RemoveJournalFile(fs_, game_);
  } catch (const std::exception&) {
    // What could not be taken back stays written in the journal, for the next run.
  }
}

TJournalPlace TJournal::PlaceOf(const std::string& path) const {
  for (const auto& [base, folder] :
       {std::pair{TJournalPlace::kGame, game_}, std::pair{TJournalPlace::kRestore, root_}}) {
    if (folder.empty() || path.size() <= folder.size() + 1 ||
        path.compare(0, folder.size(), folder) != 0 || path[folder.size()] != '\\')
      continue;
    const std::string relative = path.substr(folder.size() + 1);
    if (relative.find_first_of("\t\n") != std::string::npos) break;
    return {base, relative};
  }
  throw Exception("Unable to write the journal of this run: " + path +
                  " lies outside the game folder and the restore folder. Nothing was changed.");
}

void TJournal::Add(TJournalStep::TKind kind, const std::string& from, const std::string& to) {
  TJournalStep step;
  step.Kind = kind;
  step.From = PlaceOf(from);
  if (HasTwoPlaces(kind)) step.To = PlaceOf(to);
  steps_.push_back(step);
}

void TJournal::Aside(const std::string& path) {
  Add(TJournalStep::kAside, path, path + kAsideSuffix);
}

void TJournal::Begin() {
  // A name of ours that a run of an earlier version left beside a file must not come back
  // over that file should this run be taken back.
  for (const TJournalStep& step : steps_)
    if (step.Kind == TJournalStep::kAside) {
      const std::string aside = InGameFolder(game_, step.To.Relative);
      if (fs_.IsLink(aside) || fs_.FileExists(aside)) {
        fs_.DeleteFile(aside);
        fs_.FlushFolder(ParentFolder(aside));
      }
    }
  WriteFileFlushed(fs_, JournalPathOf(game_), JournalText(game_, root_, pointsGame_, steps_));
  const int code = fs_.FlushFolder(game_);
  if (code != 0) throw EInOutError(code, JournalPathOf(game_));
  begun_ = true;
}

void TJournal::MoveAside() {
  for (const TJournalStep& step : steps_) {
    if (step.Kind != TJournalStep::kAside) continue;
    const std::string from = InGameFolder(game_, step.From.Relative),
                      to = InGameFolder(game_, step.To.Relative);
    if (!fs_.IsLink(from) && !fs_.FileExists(from)) continue;
    const int code = fs_.MoveFileReplace(from, to);
    if (code != 0) throw EInOutError(code, from);
  }
}

void TJournal::Commit() {
  // Everything the steps still need lasts before the commit says they are whole.
  std::set<std::string> folders;
  std::vector<std::string> files;
  for (const TJournalStep& step : steps_) {
    const std::string from =
        (step.From.Base == TJournalPlace::kGame ? game_ : root_) + "\\" + step.From.Relative;
    switch (step.Kind) {
      case TJournalStep::kNew:
      case TJournalStep::kPutPoint:
      case TJournalStep::kReplacePoint:
        FlushTree(fs_, from);
        if (fs_.FileExists(from)) files.push_back(from);
        break;
      case TJournalStep::kPut:
        if (fs_.FileExists(from)) files.push_back(from);
        break;
      default:
        break;
    }
    folders.insert(ParentFolder(from));
    if (HasTwoPlaces(step.Kind))
      folders.insert(ParentFolder((step.To.Base == TJournalPlace::kGame ? game_ : root_) + "\\" +
                                  step.To.Relative));
  }
  FlushFiles(fs_, files);
  for (const std::string& folder : folders)
    if (fs_.DirectoryExists(folder)) {
      const int code = fs_.FlushFolder(folder);
      if (code != 0) throw EInOutError(code, folder);
    }
  TBlockFile journal = TBlockFile::Open(fs_, JournalPathOf(game_), TOpenAccess::kReadWrite);
  journal.Seek(journal.Size());
  journal.WriteExact(kJournalCommitLine, static_cast<uint32_t>(strlen(kJournalCommitLine)));
  journal.Flush();
  journal.Close();
  committed_ = true;
}

void TJournal::Finish() {
  try {
    TSettle settle(fs_, JournalPathOf(game_), game_, root_, {pointsGame_}, true);
    settle.Forward(steps_);
    settle.MakeLast();
    RemoveJournalFile(fs_, game_);
    finished_ = true;
  } catch (const std::exception& error) {
    throw EHalfDone(std::string("Unable to finish the run (") + error.what() +
                    "). It is finished by the next run of Merva on " + game_ + ".");
  }
}

bool HasUnfinishedRun(IFileSystem& fs, const std::string& gameFolder) {
  const std::string path = JournalPathOf(gameFolder);
  return fs.IsLink(path) || fs.FileExists(path);
}

void RecoverJournal(IFileSystem& fs, const std::string& gameFolder) {
  const std::string path = JournalPathOf(gameFolder);
  if (!fs.IsLink(path) && !fs.FileExists(path)) return;
  const TReadJournal read = ReadJournal(fs, path);
  if (!read.Ready) {
    RemoveJournalFile(fs, gameFolder);
    return;
  }
  // The journal lies in the game folder and names the folder as its run spelt it; a folder
  // copied since, journal and all, finds the other folder's restore points still there.
  const bool moved = SameGameFolder(fs, read.Game, gameFolder) || !fs.DirectoryExists(read.Game);
  // Committed, its restore points are half moved: settled without them, a point would be lost
  // for good. The journal waits, whole, until the folder is back. (Not committed, it only made
  // new points there, which the next run that sees the folder removes.)
  const bool needsRestore =
      std::any_of(read.Steps.begin(), read.Steps.end(), [](const TJournalStep& step) {
        return step.From.Base == TJournalPlace::kRestore ||
               (HasTwoPlaces(step.Kind) && step.To.Base == TJournalPlace::kRestore);
      });
  if (read.Committed && moved && needsRestore && !read.Root.empty() &&
      !fs.DirectoryExists(read.Root))
    throw EGameBusy("An unfinished run of Merva on " + gameFolder + " needs its restore folder " +
                    read.Root +
                    ", which cannot be reached now (a drive unplugged, or a profile not loaded). "
                    "Connect it and run Merva again. Nothing was changed.");
  TSettle settle(fs, path, gameFolder, read.Root, {read.Game, read.PointsGame}, moved);
  settle.Check(read.Steps);
  if (read.Committed)
    settle.Forward(read.Steps);
  else
    settle.Back(read.Steps);
  settle.MakeLast();
  RemoveJournalFile(fs, gameFolder);
}

}  // namespace merva
