#include "operations/undo_archives.h"

#include "archive/archive_file.h"
#include "archive/sectors.h"
#include "change/ownership.h"
#include "core/file_tools.h"
#include "core/step_times.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "restore/restore_names.h"
#include "restore/restore_reader.h"
#include "restore/restore_store.h"

namespace merva {

namespace {

// The entries of the archive before the installation, in their order, with their data:
// entries the installation left from the archive as it is, replaced ones from the kept files.
class TUndoDirectory {
 public:
  TUndoDirectory(const TArchiveLink& undone, IFileSystem& fs, IArchiveBody& plan)
      : change_(undone.Change), plan_(plan), kept_(fs, undone) {}

  // The archive as worked out (change/point_chain.h), exactly or by names: each entry from the
  // archive now or from the point's kept archive.
  std::vector<TArchiveEntry> Entries(const TChainDirectory& planned) {
    std::vector<TArchiveEntry> entries;
    entries.reserve(planned.size());
    for (const TChainEntry& entry : planned)
      entries.push_back(entry.Bytes.Point < 0
                            ? entry.Entry
                            : FromKeptFile(change_.Replaced.at(entry.Bytes.Kept)));
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

  const TArchiveChange& change_;
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

}  // namespace

TArchivesUndo::TArchivesUndo(TOperationServices services, std::string root,
                             const TRestorePoint& point)
    : services_(services), root_(std::move(root)), point_(point) {}

TArchivesUndo::~TArchivesUndo() = default;

void TArchivesUndo::Open(const std::vector<TRestorePoint>& chain, TUndoChoices choices) {
  chain_ = chain;
  IFileSystem& fs = services_.Files;
  for (TArchiveChain& of : ArchiveChainsOf(root_, chain)) {
    TArchiveUndo& undo = archives_.emplace_back();
    undo.Of = std::move(of);
    const std::string path = GameArchivePathOf(point_.GameFolder, undo.Of.Archive);
    // Without models\gta3.img the folder is no game, as its rebuild says; another archive gone
    // is one the installation changed that cannot be given back.
    if (!IsMainArchive(undo.Of.Archive) && (fs.IsLink(path) || !fs.FileExists(path)))
      throw EFileError(path, "is missing or is a link: the installation of " +
                                 PointDescription(point_) +
                                 " changed it, and it cannot be given back. Nothing was changed.");
    undo.Rebuild.emplace(fs, path, RebuiltArchivePathOf(point_.GameFolder, undo.Of.Archive));
    bool byNames = false;
    undo.Plan = PlanArchiveChain(undo.Of, undo.Rebuild->Archive(), &services_.Progress, byNames);
    if (byNames && !choices.ByNames) throw Changed(undo.Of);
  }
  for (const TArchiveUndo& archive : archives_)
    RefuseReadOnly(fs, GameArchivePathOf(point_.GameFolder, archive.Of.Archive));
}

std::vector<TArchivePlan> TArchivesUndo::Plans() const {
  std::vector<TArchivePlan> plans;
  for (const TArchiveUndo& archive : archives_)
    plans.push_back({&archive.Of, archive.Plan ? &*archive.Plan : nullptr});
  return plans;
}

void TArchivesUndo::FindDisplaced(TUndoChoices choices, std::vector<TFoundVersion>& found) {
  for (const TArchiveUndo& archive : archives_) {
    if (archive.Plan)
      for (const TDisplaced& displaced : archive.Plan->Displaced)
        found.push_back({&displaced, archive.Of.Archive});
    // The newest there: any change since is the archive's own refusal (its fingerprint, read
    // with the rebuild), and its entries are read again only when the undo is forced by names.
    // Under later installations that fingerprint is the newest's, and the entries are read here.
    const bool isNewest = archive.Of.InChain.back() == 0;
    if (isNewest && !choices.ByNames) continue;
    for (TDisplaced& now :
         EntriesChangedSince(services_.Files, point_.GameFolder, archive.Of.Links[0].Change,
                             archive.Plan ? &*archive.Plan : nullptr))
      found.push_back({&changedNow_.emplace_back(std::move(now)), archive.Of.Archive});
  }
}

int64_t TArchivesUndo::BytesWritten() const {
  int64_t written = 0;
  for (const TArchiveUndo& archive : archives_) {
    const bool later = archive.Plan && !archive.Plan->Rewritten.empty();
    written += later ? archive.Plan->Rewritten.back().Change.NewArchiveBytes
                     : archive.Of.Links[0].Change.OldArchiveBytes;
  }
  return written;
}

int64_t TArchivesUndo::BytesRewritten() const {
  int64_t rewritten = 0;
  for (const TArchiveUndo& archive : archives_)
    if (archive.Plan)
      for (const TRewrittenArchive& redone : archive.Plan->Rewritten)
        rewritten += redone.Change.KeptBytes;
  return rewritten;
}

void TArchivesUndo::Note(TJournal& journal) const {
  for (const TArchiveUndo& archive : archives_) {
    const std::string& name = archive.Of.Archive;
    journal.Put(RebuiltArchivePathOf(point_.GameFolder, name),
                GameArchivePathOf(point_.GameFolder, name));
    journal.Aside(GameArchivePathOf(point_.GameFolder, name));
  }
}

std::vector<std::string> TArchivesUndo::Write(TUndoChoices choices) {
  std::vector<std::string> byNames;
  for (size_t n = 0; n < archives_.size(); ++n) {
    if (WriteOne(archives_[n], choices))
      byNames.push_back(GameArchiveText(archives_[n].Of.Archive));
    if (n == 0) MarkStep("temp.img written and flushed");
  }
  if (archives_.size() > 1) MarkStep("other archives written and flushed");
  return byNames;
}

bool TArchivesUndo::WriteOne(TArchiveUndo& undo, TUndoChoices choices) {
  IProgress& progress = services_.Progress;
  TArchiveRebuild& rebuild = *undo.Rebuild;
  TArchiveFile& archive = rebuild.Archive();
  const std::vector<TArchiveLink>& links = undo.Of.Links;
  std::optional<TChainUndo>& plan = undo.Plan;
  const TArchiveChange& undone = links[0].Change;
  TUndoDirectory directory(links[0], services_.Files, archive.Body());
  const std::vector<TArchiveEntry> opened = archive.Entries();
  // Later installations stay: the archive they leave is written compacted, as an installation
  // writes it; the newest taken back gets the archive it found, its data where it lay.
  const bool later = links.size() > 1;
  std::string* fingerprint = later ? &undo.Written : nullptr;
  const int32_t firstSector = later ? 0 : undone.OldFirstSector;
  // The archive's fingerprint is taken as the exact way is written, from the bytes the rebuild
  // reads (the rest is read during the last flush): when the size is the one recorded, that way
  // is written first. Should the check find the archive changed after all, that writing is
  // thrown away.
  TRecordedArchiveCheck check(archive.File(), links.back().Change);
  TChecksAlong along(check, directory.Kept());
  const bool knownChanged = plan && !plan->Rewritten.empty() && !plan->Rewritten.front().Exact;
  const bool exact = plan && !knownChanged && check.SizeMatches();
  if (exact) {
    archive.SetDirectory(directory.Entries(plan->Archive));
    rebuild.Write(
        progress, firstSector, fingerprint, [&check] { return check.Step(); }, &along);
  }
  const bool same = !knownChanged && check.Same(&progress);
  if (IsMainArchive(undo.Of.Archive)) MarkStep("gta3.img checked");
  if (!same && !choices.ByNames) throw Changed(undo.Of);
  if (!exact || !same) {
    // The recorded archive that its point does not fit raises here.
    if (same && !plan) PlanChainUndo(links, opened);
    // Changed under later installations: their points are rewritten by names too, and keep the
    // fingerprint of the archive they left, so that their undos go by names as well.
    if (!same && later && !knownChanged) plan = PlanChainUndoByNames(links, opened);
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

EUndoRefused TArchivesUndo::Changed(const TArchiveChain& of) const {
  return EUndoRefused(ArchiveChangedText(of.Archive, chain_[of.InChain.back()]) +
                      " Nothing was changed.");
}

void TArchivesUndo::CopyDisplaced(const std::string& archive, const TDisplaced& displaced,
                                  const std::string& path) {
  IFileSystem& fs = services_.Files;
  if (displaced.Now) {
    TBlockFile file = TBlockFile::OpenReadOnly(fs, GameArchivePathOf(point_.GameFolder, archive));
    CopyRange(fs, file, EntryStart(displaced.Entry), EntryBytes(displaced.Entry), path);
    file.Close();
    return;
  }
  // The entry's bytes from the kept archive of the link that keeps it, in its archive's chain.
  for (const TArchiveUndo& undo : archives_) {
    if (GameArchiveKey(undo.Of.Archive) != GameArchiveKey(archive)) continue;
    const TArchiveLink& keeper = undo.Of.Links.at(static_cast<size_t>(displaced.KeptBy));
    TKeptEntries kept(fs, keeper);
    const TPutSource source = kept.Source(keeper.Change.Replaced.at(displaced.Kept));
    CopyRange(fs, source.File, source.Position, source.Length, path);
    kept.Close();
  }
}

void TArchivesUndo::CompleteRewritten(TRewrittenArchive& later, bool newest,
                                      TArchiveUndo& archive) {
  IFileSystem& fs = services_.Files;
  if (!later.Exact) {
    // Rewritten by names: its record keeps the archive it left, which no longer fits.
  } else if (newest) {
    later.Change.NewArchiveFingerprint = archive.Written;
    TBlockFile created = TBlockFile::OpenReadOnly(fs, archive.Rebuild->WrittenPath());
    later.Change.NewArchiveBytes = created.Size();
    created.Close();
  } else {
    later.Change.NewArchiveFingerprint = ChainArchiveFingerprint(
        later.Leaves, later.LeavesFirstSector, later.Change.Kind, archive.Rebuild->Archive().File(),
        *archive.Sources, services_.Progress);
  }
}

std::vector<TRewrittenChange> TArchivesUndo::Rewrite(size_t i, TRestorePoint& point) {
  std::vector<TRewrittenChange> changes;
  for (TArchiveUndo& archive : archives_) {
    if (!archive.Plan) continue;
    // Each archive's chain reads its own kept archives.
    if (!archive.Sources)
      archive.Sources = std::make_unique<TChainSources>(services_.Files, archive.Of.Links);
    for (size_t j = 1; j < archive.Of.Links.size(); ++j) {
      if (archive.Of.InChain[j] != i) continue;
      TRewrittenChange redone;
      for (size_t n = 0; n < point.Archives.size(); ++n)
        if (GameArchiveKey(point.Archives[n].Archive) == GameArchiveKey(archive.Of.Archive))
          redone.Archive = n;
      redone.Rewritten = archive.Plan->Rewritten.at(j - 1);
      redone.Sources = archive.Sources.get();
      CompleteRewritten(redone.Rewritten, j + 1 == archive.Of.Links.size(), archive);
      TArchiveChange& change = point.Archives[redone.Archive];
      const std::string name = change.Archive;
      change = redone.Rewritten.Change;
      change.Archive = name;
      changes.push_back(std::move(redone));
    }
  }
  return changes;
}

void TArchivesUndo::CloseSources() {
  for (TArchiveUndo& archive : archives_)
    if (archive.Sources) archive.Sources->Close();
}

void TArchivesUndo::Release() {
  for (TArchiveUndo& archive : archives_) archive.Rebuild->Release();
}

void TArchivesUndo::HandOver() {
  for (TArchiveUndo& archive : archives_) archive.Rebuild->HandOver();
}

}  // namespace merva
