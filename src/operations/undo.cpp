#include "operations/undo.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "archive/archive_rebuild.h"
#include "archive/sectors.h"
#include "core/file_tools.h"
#include "core/step_times.h"
#include "core/text.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_lock.h"
#include "operations/room_check.h"
#include "operations/undo_game_files.h"
#include "operations/undo_plan.h"
#include "restore/installed_apps.h"
#include "restore/journal.h"
#include "restore/level_value.h"
#include "restore/ownership.h"
#include "restore/point_rewrite.h"
#include "restore/restore_names.h"
#include "restore/restore_reader.h"
#include "restore/restore_store.h"

namespace merva {

namespace {

// The entries of the archive before the installation, in their order, with their data:
// entries the installation left from the archive as it is, replaced ones from the kept files.
class TUndoDirectory {
 public:
  TUndoDirectory(const std::string& pointPath, const TRestorePoint& point, IFileSystem& fs,
                 IArchiveBody& plan)
      : point_(point), plan_(plan), kept_(fs, pointPath, point) {}

  // The archive as worked out (restore/point_chain.h), exactly or by names: each entry from the
  // archive now or from the point's kept archive.
  std::vector<TArchiveEntry> Entries(const TChainDirectory& planned) {
    std::vector<TArchiveEntry> entries;
    entries.reserve(planned.size());
    for (const TChainEntry& entry : planned)
      entries.push_back(entry.Bytes.Point < 0 ? entry.Entry
                                              : FromKeptFile(point_.Replaced.at(entry.Bytes.Kept)));
    return entries;
  }

  TKeptEntries& Kept() { return kept_; }
  // The kept files are needed until the new archive is written, no longer.
  void CloseFiles() { kept_.Close(); }

 private:
  // The old entry, its data placed at the end of the plan from where the point keeps it.
  TArchiveEntry FromKeptFile(const TKeptEntry& kept) {
    const TPutSource source = kept_.Source(kept);
    const int64_t at = SectorBytes(SectorsFor(plan_.Length()));
    CheckArchiveLength(at + source.Length);
    if (source.Length > 0) plan_.WriteSource(at, source);
    TArchiveEntry entry = kept.Old;
    entry.Offset = static_cast<int32_t>(at / kSector);
    return entry;
  }

  const TRestorePoint& point_;
  IArchiveBody& plan_;
  TKeptEntries kept_;
};

// The undo's rebuild reads gta3.img and the point's archive.img each front to back: their
// fingerprints are taken from that reading, so that each is read from the disk once.
class TChecksAlong final : public IRebuildReads {
 public:
  TChecksAlong(TRecordedArchiveCheck& archive, TKeptEntries& kept)
      : archive_(archive), kept_(kept) {}
  void Before(const TPiece& piece) override {
    if (piece.Source == TPiece::kArchive) archive_.ReadUpTo(piece.From);
    if (IsKeptArchive(piece)) kept_.ReadUpTo(piece.From);
  }
  bool Wants(const TPiece& piece) override {
    return (piece.Source == TPiece::kArchive && archive_.SizeMatches()) || IsKeptArchive(piece);
  }
  void Read(const TPiece& piece, int64_t at, const char* data, size_t size) override {
    if (piece.Source == TPiece::kArchive) archive_.Take(at, data, size);
    if (IsKeptArchive(piece)) kept_.Take(at, data, size);
  }
  void Finished() override {}

 private:
  bool IsKeptArchive(const TPiece& piece) const {
    return piece.Source == TPiece::kFile && piece.File && piece.File == kept_.KeptArchive();
  }
  TRecordedArchiveCheck& archive_;
  TKeptEntries& kept_;
};

// The game running, or a file the user may not write, is the usual cause of a failure: it is
// told as such, with what was already done.
[[noreturn]] void Rethrow(const EInOutError& error, const std::string& done) {
  RaiseIfBlocked(error.ErrorCode(), error.Path(), done);
  throw error;
}

}  // namespace

EGameFilesEdited::EGameFilesEdited(const std::string& summary, std::vector<std::string> items,
                                   std::string keptIn)
    : EUndoRefused(summary + " Nothing was changed."),
      Summary(summary),
      Items(std::move(items)),
      KeptIn(std::move(keptIn)) {}

TUndo::TUndo(std::string root, const std::string& gameFolder, TOperationServices services)
    : root_(std::move(root)), services_(services) {
  IFileSystem& fs = services_.Files;
  std::string game = gameFolder;
  if (game.empty()) {
    // A run killed on some game leaves its point unfinished, and that game half changed: it is
    // finished first, so that "nothing to take back" is never said while one waits.
    const std::vector<TUnsettledGame> unsettled = SettleKilledRuns(fs, root_, &services_.Progress);
    if (!unsettled.empty())
      throw Exception(
          "A run of Merva on " + unsettled.front().GameFolder +
          " was cut off before it finished, and cannot be finished now: " + unsettled.front().Why +
          " Take back its installation with merva.exe /undo \"" + unsettled.front().GameFolder +
          "\" once that is mended.");
    const std::vector<TRestorePoint> points = ListRestorePoints(fs, root_, "");
    if (points.empty()) throw Exception(kNothingToTakeBack);
    game = points.front().GameFolder;
  }
  lock_.emplace(fs, game, root_, &services_.Progress);
  try {
    // A game moved since its installations is found by its archive, as when a point is named.
    const std::string movedFrom = MovedFromFolder(fs, root_, game, &services_.Progress);
    if (movedFrom.empty()) {
      point_ = FindLatestRestorePoint(fs, root_, game);
    } else {
      point_ = FindLatestRestorePoint(fs, root_, movedFrom);
      recordedFolder_ = point_.GameFolder;
      point_.GameFolder = fs.CanonicalPath(game);
    }
  } catch (const Exception&) {
    UnlistVanishedPoints();
    throw;
  }
  UnlistVanishedPoints();
}

void TUndo::UnlistVanishedPoints() {
  if (services_.Apps) UnlistVanishedInstallations(*services_.Apps, services_.Files, root_);
}

TUndo::TUndo(std::string root, const std::string& pointArgument, const std::string& gameFolder,
             TOperationServices services)
    : services_(services) {
  IFileSystem& fs = services_.Files;
  const TPointPlace place = PointPlaceOf(fs, root, pointArgument);
  root_ = place.Root;
  const std::string& pointName = place.Name;
  lock_.emplace(fs, gameFolder, root_, &services_.Progress);
  UnlistVanishedPoints();
  bool found = false;
  for (const TRestorePoint& candidate : ListRestorePoints(fs, root_, ""))
    if (candidate.Folder == pointName) point_ = candidate, found = true;
  // Left unfinished by an earlier version before the game moved here: finished now if the
  // installation got as far as the archive.
  if (!found && FinishPointOfMovedGame(fs, root_, pointName, gameFolder, &services_.Progress))
    for (const TRestorePoint& candidate : ListRestorePoints(fs, root_, ""))
      if (candidate.Folder == pointName) point_ = candidate, found = true;
  const std::string pointPath = PointPathOf(root_, pointName);
  if (!found) throw EFileError(pointPath, "no restore point of " + gameFolder);
  if (SameGameFolder(fs, point_.GameFolder, gameFolder)) return;
  // Named for a game folder it does not record: only a game that moved. While the folder it
  // records still holds an archive, the point is that game's (a copy of one game may have the
  // very same archive), and is taken back there.
  if (fs.FileExists(ArchivePathOf(point_.GameFolder)) ||
      fs.IsLink(ArchivePathOf(point_.GameFolder)))
    throw EFileError(pointPath, "is a restore point of the game in " + point_.GameFolder +
                                    ", which is still there; take it back there");
  // A game folder moved since is known by its archive: the size and fingerprint that the newest
  // installation into it recorded, made before the move or since.
  const std::string movedTo = fs.CanonicalPath(gameFolder);
  TRestorePoint newest = point_;
  for (const std::string& folder : {point_.GameFolder, movedTo})
    for (const TRestorePoint& other : ListRestorePoints(fs, root_, folder))
      if (other.Counter > newest.Counter) newest = other;
  newest.GameFolder = movedTo;
  if (movedTo.empty() || !ArchiveMatches(fs, newest, &services_.Progress))
    throw EFileError(pointPath, "no restore point of " + gameFolder);
  recordedFolder_ = point_.GameFolder;
  point_.GameFolder = movedTo;
}

TUndo::TUndo(std::string root, TRestorePoint point, TOperationServices services)
    : root_(std::move(root)), services_(services), point_(std::move(point)) {}

TUndoResult TUndo::Run(TUndoChoices choices) {
  try {
    return RunUnchecked(choices);
  } catch (const EInOutError& error) {
    Rethrow(error, "Nothing was changed.");
  }
}

TUndoResult TUndo::RunUnchecked(TUndoChoices choices) {
  const std::string pointPath = PointPathOf(root_, point_.Folder);
  const std::vector<TRestorePoint> chain = Chain();
  TArchiveRebuild rebuild(services_.Files, ArchivePathOf(point_.GameFolder),
                          TempArchivePathOf(point_.GameFolder));
  std::optional<TChainUndo> plan = PlanChain(chain, rebuild.Archive(), choices, "");
  std::deque<TPartUndo> parts = OpenParts(chain, choices);
  RefuseReadOnly(services_.Files, ArchivePathOf(point_.GameFolder));
  for (const TPartUndo& part : parts)
    RefuseReadOnly(services_.Files, GameArchivePathOf(point_.GameFolder, part.Of.Archive));
  const TRestorePoint& undone = plan ? plan->Undone : point_;
  TUndoResult result;
  const std::set<std::string> edited =
      CheckGameFiles(undone, pointPath, choices, result.KeptEditedIn);
  result.KeptAside =
      CheckDisplaced(chain, plan ? &*plan : nullptr, parts, choices, result.KeptEditedIn);
  CheckRoom(undone, plan ? &*plan : nullptr, edited, result.KeptEditedIn, parts);
  CheckLaterPoints(services_.Files, root_, chain, services_.Progress);
  MarkStep("start");
  // Begun before the first archive is written: every rebuild is the journal's to remove when
  // the undo stops short, whichever archive it lies beside.
  TJournal journal(services_.Files, point_.GameFolder, root_, recordedFolder_);
  TGameFilesSwap files(services_.Files, undone, pointPath);
  BeginJournal(journal, files, pointPath, plan ? &*plan : nullptr, edited, result.KeptEditedIn,
               parts, !result.KeptAside.empty());
  std::string written;
  if (PlanArchive(rebuild, pointPath, choices, chain, plan, chain.size() > 1 ? &written : nullptr))
    result.ArchivesByNames.push_back(GameArchiveText(""));
  MarkStep("temp.img written and flushed");
  for (TPartUndo& part : parts)
    if (PlanArchive(*part.Rebuild, part.Of.KeptFolders[0], choices, part.Of.Chain, part.Plan,
                    part.Of.Chain.size() > 1 ? &part.Written : nullptr, part.Of.Archive))
      result.ArchivesByNames.push_back(GameArchiveText(part.Of.Archive));
  result.ByNames = !result.ArchivesByNames.empty();
  if (!parts.empty()) MarkStep("other archives written and flushed");
  PutBack(journal, files, rebuild, chain, plan ? &*plan : nullptr, written, edited,
          result.KeptEditedIn, parts, result.KeptAside);
  // With later installations in that set a level, the installed level is theirs; with none, the
  // level is what the one taken back found, as if it had never been installed.
  const bool laterLevel =
      std::any_of(chain.begin() + 1, chain.end(),
                  [](const TRestorePoint& later) { return later.Level.Checked; });
  if (services_.Registry && !laterLevel)
    result.LevelRestored = RestoreLevelValue(*services_.Registry, point_.Level);
  MarkStep("game files and gta3.img back");
  result.KeptEdited.assign(edited.begin(), edited.end());
  if (!plan) {
    // The newest taken back by names: what it did is told all the same.
    plan.emplace();
    plan->Undone = undone;
  }
  result.Done = TellUndo(chain, *plan, PartPlansOf(parts));
  return result;
}

std::optional<TChainUndo> TUndo::PlanChain(const std::vector<TRestorePoint>& chain,
                                           TArchiveFile& archive, TUndoChoices choices,
                                           const std::string& archiveName) {
  std::optional<TChainUndo> plan;
  std::optional<Exception> planFault;
  try {
    plan = PlanChainUndo(chain, archive.Entries());
  } catch (const Exception& fault) {
    planFault = fault;  // an archive changed since, or a record that does not fit it
  }
  if (chain.size() > 1 && !plan) {
    TRecordedArchiveCheck check(archive.File(), chain.back());
    if (check.Same(&services_.Progress)) throw *planFault;
    if (!choices.ByNames) throw ArchiveChanged(chain.back(), archiveName);
    plan = PlanChainUndoByNames(chain, archive.Entries());
  }
  return plan;
}

std::deque<TUndo::TPartUndo> TUndo::OpenParts(const std::vector<TRestorePoint>& chain,
                                              TUndoChoices choices) {
  IFileSystem& fs = services_.Files;
  std::deque<TPartUndo> parts;
  for (TPartChain& of : PartChainsOf(root_, chain)) {
    TPartUndo& undo = parts.emplace_back();
    undo.Of = std::move(of);
    const std::string path = GameArchivePathOf(point_.GameFolder, undo.Of.Archive);
    if (fs.IsLink(path) || !fs.FileExists(path))
      throw EFileError(path, "is missing or is a link: the installation of " +
                                 PointDescription(point_) +
                                 " changed it, and it cannot be given back. Nothing was changed.");
    undo.Rebuild.emplace(fs, path, RebuiltArchivePathOf(point_.GameFolder, undo.Of.Archive));
    undo.Plan = PlanChain(undo.Of.Chain, undo.Rebuild->Archive(), choices, undo.Of.Archive);
  }
  return parts;
}

std::vector<TPartPlan> TUndo::PartPlansOf(const std::deque<TPartUndo>& parts) {
  std::vector<TPartPlan> plans;
  for (const TPartUndo& part : parts)
    plans.push_back({&part.Of, part.Plan ? &*part.Plan : nullptr});
  return plans;
}

std::vector<TRestorePoint> TUndo::Chain() {
  return UndoChain(services_.Files, root_, point_, recordedFolder_);
}

TUndoPlan TUndo::Plan() {
  return PlanUndoOf(services_.Files, root_, point_, recordedFolder_);
}

std::set<std::string> TUndo::CheckGameFiles(const TRestorePoint& undone,
                                            const std::string& pointPath, TUndoChoices choices,
                                            std::string& editsFolder) {
  IFileSystem& fs = services_.Files;
  if (fs.IsLink(pointPath)) throw Damaged(point_, "its folder is a link");
  // Everything the game files need is checked before anything changes.
  const std::set<std::string> edited = CheckGameFilePlaces(fs, undone, pointPath);
  if (edited.empty()) return edited;
  editsFolder = EditsFolderFor(fs, root_, point_);
  if (choices.KeepEdited) return edited;
  std::string list;
  for (const std::string& item : edited) list += (list.empty() ? "" : ", ") + item;
  throw EGameFilesEdited(GameFilesEditedText(point_, list), {edited.begin(), edited.end()},
                         editsFolder);
}

void TUndo::CheckRoom(const TRestorePoint& undone, const TChainUndo* plan,
                      const std::set<std::string>& edited, const std::string& editsFolder,
                      const std::deque<TPartUndo>& parts) {
  // The archive as it was and the old game files waiting beside their places on the game's
  // drive, the player's edits and the rewritten later points on the restore folder's: before
  // the first byte is written.
  IFileSystem& fs = services_.Files;
  TRoomCheck room(fs);
  int64_t staged = 0, edits = 0;
  for (const TGameFileChange& file : undone.GameFiles) {
    if (file.Replaced) staged += file.OldBytes;
    if (!edited.count(file.Item)) continue;
    const std::string path = point_.GameFolder + "\\" + file.Item;
    if (fs.KindOf(path) != TPathKind::kFile) continue;
    TBlockFile current = TBlockFile::OpenReadOnly(fs, path);
    edits += current.Size();
    current.Close();
  }
  const int64_t archive = plan && !plan->Rewritten.empty()
                              ? plan->Rewritten.back().Point.NewArchiveBytes
                              : point_.OldArchiveBytes;
  int64_t others = 0, rewritten = 0;
  for (const TPartUndo& part : parts) {
    const bool later = part.Plan && !part.Plan->Rewritten.empty();
    others += later ? part.Plan->Rewritten.back().Point.NewArchiveBytes
                    : part.Of.Chain[0].OldArchiveBytes;
    if (part.Plan)
      for (const TRewrittenPoint& redone : part.Plan->Rewritten)
        rewritten += redone.Point.KeptBytes;
  }
  room.Need(point_.GameFolder, archive + others + staged);
  if (!edited.empty()) room.Need(editsFolder, edits);
  if (plan)
    for (const TRewrittenPoint& later : plan->Rewritten) rewritten += later.Point.KeptBytes;
  if (rewritten > 0) room.Need(root_, rewritten);
  room.Check();
}

bool TUndo::PlanArchive(TArchiveRebuild& rebuild, const std::string& keptPath, TUndoChoices choices,
                        const std::vector<TRestorePoint>& chain, std::optional<TChainUndo>& plan,
                        std::string* fingerprint, const std::string& archiveName) {
  IProgress& progress = services_.Progress;
  TArchiveFile& archive = rebuild.Archive();
  const TRestorePoint& undone = chain[0];
  TUndoDirectory directory(keptPath, undone, services_.Files, archive.Body());
  const std::vector<TArchiveEntry> opened = archive.Entries();
  // Later installations stay: the archive they leave is written compacted, as an installation
  // writes it; the newest taken back gets the archive it found, its data where it lay.
  const bool later = chain.size() > 1;
  const int32_t firstSector = later ? 0 : undone.OldFirstSector;
  // The archive's fingerprint is taken as the exact way is written, from the bytes the rebuild
  // reads (the rest is read during the last flush): when the size is the one recorded, that way
  // is written first. Should the check find the archive changed after all, that writing is
  // thrown away.
  TRecordedArchiveCheck check(archive.File(), chain.back());
  TChecksAlong along(check, directory.Kept());
  const bool knownChanged = plan && !plan->Rewritten.empty() && !plan->Rewritten.front().Exact;
  const bool exact = plan && !knownChanged && check.SizeMatches();
  if (exact) {
    archive.SetDirectory(directory.Entries(plan->Archive));
    rebuild.Write(
        progress, firstSector, fingerprint, [&check] { return check.Step(); }, &along);
  }
  const bool same = !knownChanged && check.Same(&progress);
  if (archiveName.empty()) MarkStep("gta3.img checked");
  if (!same && !choices.ByNames) throw ArchiveChanged(chain.back(), archiveName);
  if (!exact || !same) {
    // The recorded archive that its point does not fit raises here.
    if (same && !plan) PlanChainUndo(chain, opened);
    // Changed under later installations: their points are rewritten by names too, and keep the
    // fingerprint of the archive they left, so that their undos go by names as well.
    if (!same && later && !knownChanged) plan = PlanChainUndoByNames(chain, opened);
    const TChainDirectory planned =
        same || later ? plan->Archive : ArchiveByNames(undone, {}, opened);
    archive.SetDirectory(directory.Entries(planned));
    rebuild.Write(progress, same ? firstSector : 0, same ? fingerprint : nullptr, nullptr, &along);
    if (!same && fingerprint) fingerprint->clear();
  }
  directory.Kept().CheckKeptArchive(progress);
  // The kept files are read: closed now, so that the point's folder can be renamed and removed
  // (Windows keeps an open file, and its folder, in place).
  directory.CloseFiles();
  return !same;
}

EUndoRefused TUndo::ArchiveChanged(const TRestorePoint& newest, const std::string& archive) const {
  return EUndoRefused(ArchiveChangedText(archive, newest) + " Nothing was changed.");
}

void TUndo::BeginJournal(TJournal& journal, TGameFilesSwap& files, const std::string& pointPath,
                         const TChainUndo* plan, const std::set<std::string>& edited,
                         const std::string& editsFolder, const std::deque<TPartUndo>& parts,
                         bool keepsAside) {
  IFileSystem& fs = services_.Files;
  files.Note(journal, edited, editsFolder);
  if (edited.empty() && keepsAside) journal.New(editsFolder);
  journal.Put(TempArchivePathOf(point_.GameFolder), ArchivePathOf(point_.GameFolder));
  journal.Aside(ArchivePathOf(point_.GameFolder));
  for (const TPartUndo& part : parts) {
    const std::string& archive = part.Of.Archive;
    journal.Put(RebuiltArchivePathOf(point_.GameFolder, archive),
                GameArchivePathOf(point_.GameFolder, archive));
    journal.Aside(GameArchivePathOf(point_.GameFolder, archive));
  }
  const std::vector<TRewrittenPoint> none;
  const std::vector<TRewrittenPoint>& rewritten = plan ? plan->Rewritten : none;
  for (const TRewrittenPoint& later : rewritten)
    journal.ReplacePoint(RewrittenPathOf(later), PointPathOf(root_, later.Point.Folder));
  journal.RemovePoint(pointPath);
  for (const TRewrittenPoint& later : rewritten) {
    const std::string path = RewrittenPathOf(later);
    if (fs.IsLink(path) || fs.KindOf(path) != TPathKind::kMissing)
      throw Exception("Unable to rewrite the restore point " + later.Point.Folder + ": " + path +
                      " is in the way. Nothing was changed.");
  }
  journal.Begin();
}

void TUndo::PutBack(TJournal& journal, TGameFilesSwap& files, TArchiveRebuild& rebuild,
                    const std::vector<TRestorePoint>& chain, const TChainUndo* plan,
                    const std::string& written, const std::set<std::string>& edited,
                    const std::string& editsFolder, std::deque<TPartUndo>& parts,
                    const std::vector<TKeptAside>& aside) {
  const std::vector<TRewrittenPoint> none;
  const std::vector<TRewrittenPoint>& rewritten = plan ? plan->Rewritten : none;
  try {
    // The old versions wait beside their places and the player's edits are copied out: still
    // nothing in the game has changed.
    files.Prepare(edited, editsFolder);
    KeepDisplaced(chain, parts, aside);
    MarkStep("game files ready");
    if (!rewritten.empty()) WriteRewrittenPoints(rebuild, chain, rewritten, written, parts);
    MarkStep("later restore points written");
    // The current files and the archive go out of their places (the game holding one stops
    // the undo here, and the journal puts everything back), and the undo is committed.
    rebuild.Release();
    for (TPartUndo& part : parts) part.Rebuild->Release();
    journal.MoveAside();
    journal.Commit();
    rebuild.HandOver();
    for (TPartUndo& part : parts) part.Rebuild->HandOver();
    MarkStep("committed");
  } catch (const EInOutError&) {
    throw;  // told with its advice by Run
  } catch (const std::exception& error) {
    throw Exception(ErrorReportText(error.what()) + " Nothing was changed.");
  }
  journal.Finish();
  if (!services_.Apps) return;
  UnlistInstallation(*services_.Apps, root_, point_.Folder);
  // Each rewritten point as its record now says, its other archives' parts and all.
  if (rewritten.empty()) return;
  for (const std::string& folder : {point_.GameFolder, recordedFolder_}) {
    if (folder.empty()) continue;
    for (const TRestorePoint& now : ListRestorePoints(services_.Files, root_, folder))
      for (const TRewrittenPoint& later : rewritten)
        if (later.Point.Folder == now.Folder) RelistSize(*services_.Apps, root_, now);
  }
}

std::string TUndo::RewrittenPathOf(const TRewrittenPoint& later) const {
  return PointPathOf(root_, later.Point.Folder) + kPartialSuffix;
}

void TUndo::CompleteRewritten(TRewrittenPoint& later, bool newest, TArchiveRebuild& rebuild,
                              const std::string& written, TChainSources& sources) {
  IFileSystem& fs = services_.Files;
  if (!later.Exact) {
    // Rewritten by names: its record keeps the archive it left, which no longer fits.
  } else if (newest) {
    later.Point.NewArchiveFingerprint = written;
    TBlockFile created = TBlockFile::OpenReadOnly(fs, rebuild.WrittenPath());
    later.Point.NewArchiveBytes = created.Size();
    created.Close();
  } else {
    later.Point.NewArchiveFingerprint =
        ChainArchiveFingerprint(later.Leaves, later.LeavesFirstSector, rebuild.Archive().File(),
                                sources, services_.Progress);
  }
}

void TUndo::WriteRewrittenPoints(TArchiveRebuild& rebuild, const std::vector<TRestorePoint>& chain,
                                 const std::vector<TRewrittenPoint>& rewritten,
                                 const std::string& written, std::deque<TPartUndo>& parts) {
  IFileSystem& fs = services_.Files;
  IProgress& progress = services_.Progress;
  // For changes.txt: whom each later point took things over from, the one taken back aside.
  std::vector<TRestorePoint> stay;
  for (const std::string& folder : {point_.GameFolder, recordedFolder_})
    if (!folder.empty())
      for (const TRestorePoint& other : ListRestorePoints(fs, root_, folder))
        if (other.Counter != point_.Counter) stay.push_back(other);
  SortNewestFirst(stay);
  TChainSources sources(fs, root_, chain);
  // Each other archive's chain reads its own kept archives.
  std::vector<std::unique_ptr<TChainSources>> partSources;
  for (TPartUndo& part : parts)
    partSources.push_back(
        std::make_unique<TChainSources>(fs, root_, part.Of.Chain, part.Of.KeptFolders));
  for (size_t i = 0; i < rewritten.size(); ++i) {
    TRewrittenPoint later = rewritten[i];
    CompleteRewritten(later, i + 1 == rewritten.size(), rebuild, written, sources);
    // Its parts for the archives the undo changes: chain[i + 1]'s place in each part's chain.
    std::vector<TRewrittenPart> redoneParts;
    for (size_t p = 0; p < parts.size(); ++p) {
      TPartUndo& part = parts[p];
      if (!part.Plan) continue;
      for (size_t j = 1; j < part.Of.Chain.size(); ++j) {
        if (part.Of.InChain[j] != i + 1) continue;
        TRewrittenPart redone;
        redone.Part = static_cast<size_t>(PartIndexFor(chain[i + 1], part.Of.Archive));
        redone.Rewritten = part.Plan->Rewritten.at(j - 1);
        redone.Sources = partSources[p].get();
        CompleteRewritten(redone.Rewritten, j + 1 == part.Of.Chain.size(), *part.Rebuild,
                          part.Written, *partSources[p]);
        redoneParts.push_back(std::move(redone));
      }
    }
    std::vector<TRestorePoint> earlier;
    for (const TRestorePoint& other : stay)
      if (other.Counter < later.Point.Counter) earlier.push_back(other);
    WriteRewrittenPoint(fs, root_, RewrittenPathOf(later), chain, later, earlier, sources, progress,
                        redoneParts);
  }
  sources.Close();
  for (const auto& part : partSources) part->Close();
}

std::vector<TKeptAside> TUndo::CheckDisplaced(const std::vector<TRestorePoint>& chain,
                                              const TChainUndo* plan,
                                              const std::deque<TPartUndo>& parts,
                                              TUndoChoices choices, std::string& editsFolder) {
  struct TFound {
    const TChainUndo::TDisplaced* Displaced;
    std::string Archive;
  };
  std::vector<TFound> found;
  std::deque<TChainUndo::TDisplaced> changedNow;
  // The newest there: any change since is the archive's own refusal (its fingerprint, read with
  // the rebuild), and its entries are read again only when the undo is forced by names. Under
  // later installations that fingerprint is the newest's, and the entries are read here.
  const auto changedSince = [&](const TRestorePoint& undone, const TChainUndo* of,
                                const std::string& archive, const TRestorePoint& newest) {
    const bool isNewest = undone.Counter == newest.Counter;
    if (isNewest && !choices.ByNames) return;
    for (TChainUndo::TDisplaced& now :
         EntriesChangedSince(services_.Files, point_.GameFolder, undone, of, archive))
      found.push_back({&changedNow.emplace_back(std::move(now)), archive});
  };
  if (plan)
    for (const TChainUndo::TDisplaced& displaced : plan->Displaced)
      found.push_back({&displaced, ""});
  changedSince(point_, plan, "", chain.back());
  for (const TPartUndo& part : parts) {
    if (part.Plan)
      for (const TChainUndo::TDisplaced& displaced : part.Plan->Displaced)
        found.push_back({&displaced, part.Of.Archive});
    changedSince(part.Of.Chain[0], part.Plan ? &*part.Plan : nullptr, part.Of.Archive,
                 part.Of.Chain.back());
  }
  if (found.empty()) return {};
  const auto itemText = [](const TFound& one) {
    return one.Displaced->GameFile ? one.Displaced->Item
                                   : one.Displaced->Item + " in " + GameArchiveText(one.Archive);
  };
  std::string list;
  for (const TFound& one : found) {
    list += (list.empty() ? "" : "; ") + itemText(one) +
            (one.Displaced->Now        ? " (changed since by another program)"
             : one.Displaced->GameFile ? " (kept by restore point " + one.Displaced->Later + ")"
                                       : " (changed by another program before restore point " +
                                             one.Displaced->Later + " took it over)");
  }
  if (editsFolder.empty()) editsFolder = EditsFolderFor(services_.Files, root_, point_);
  // Asked as the player's edits are: the versions would be kept, not lost.
  if (!choices.KeepEdited) {
    std::vector<std::string> items;
    for (const TFound& one : found) items.push_back(one.Displaced->Item);
    throw EGameFilesEdited(UnkeptVersionsText(point_, list), items, editsFolder);
  }
  std::vector<TKeptAside> aside;
  for (const TFound& one : found) {
    const TChainUndo::TDisplaced& displaced = *one.Displaced;
    // An entry under its archive's path, so that it cannot meet a game file's.
    const std::string relative =
        displaced.GameFile ? displaced.Item
                           : GameArchiveText(one.Archive) + std::string("\\") + displaced.Item;
    aside.push_back({itemText(one), editsFolder + "\\" + relative, one.Archive, displaced});
  }
  return aside;
}

void TUndo::KeepDisplaced(const std::vector<TRestorePoint>& chain,
                          const std::deque<TPartUndo>& parts,
                          const std::vector<TKeptAside>& aside) {
  if (aside.empty()) return;
  IFileSystem& fs = services_.Files;
  const std::string pointPath = PointPathOf(root_, point_.Folder);
  std::vector<std::string> written;
  for (const TKeptAside& one : aside) {
    CreateFolderPath(fs, ParentFolder(one.Path));
    RemoveStaleName(fs, one.Path);
    if (one.From.GameFile) {
      CopyWholeFile(fs, KeptGameFilePath(pointPath, one.From.File), one.Path, false);
    } else if (one.From.Now) {
      TBlockFile archive =
          TBlockFile::OpenReadOnly(fs, GameArchivePathOf(point_.GameFolder, one.Archive));
      CopyRange(fs, archive, EntryStart(one.From.Entry), EntryBytes(one.From.Entry), one.Path);
      archive.Close();
    } else {
      // The entry's bytes from the kept archive of the chain's point that keeps it, for its
      // archive.
      const auto by = static_cast<size_t>(one.From.KeptBy);
      const TRestorePoint* keeper = &chain.at(by);
      std::string keptPath = PointPathOf(root_, keeper->Folder);
      for (const TPartUndo& part : parts)
        if (GameArchiveKey(part.Of.Archive) == GameArchiveKey(one.Archive) && !one.Archive.empty())
          keeper = &part.Of.Chain.at(by), keptPath = part.Of.KeptFolders.at(by);
      TKeptEntries kept(fs, keptPath, *keeper);
      const TPutSource source = kept.Source(keeper->Replaced.at(one.From.Kept));
      CopyRange(fs, source.File, source.Position, source.Length, one.Path);
      kept.Close();
    }
    written.push_back(one.Path);
  }
  FlushFiles(fs, written);
}

}  // namespace merva
