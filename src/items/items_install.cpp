#include "items/items_install.h"

#include <cstdlib>
#include <set>

#include "change/ownership.h"
#include "core/cp1251.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "data/data_rules.h"
#include "data/model_ids.h"
#include "game/game_folder.h"
#include "game/game_path.h"

namespace merva {

TItemsInstall::TItemsInstall(IFileSystem& fs, std::string gameFolder)
    : fs_(fs), game_(std::move(gameFolder)) {}

void TItemsInstall::Read(const TInstallItems& items, const TPackageText& read) {
  files_.clear();
  for (const IItemKind* kind : ItemKinds())
    for (TItemsForFile& file : kind->ModItems(items, read)) {
      // The player's own spelling, as Windows would find it on a case-sensitive disk too: the
      // record names the file so, and the undo and status open it so.
      file.File = SpellingInGame(fs_, game_, file.File);
      const std::string target = InGameFolder(game_, file.File);
      files_.push_back({std::move(file), target, "", "", {}});
    }
}

void TItemsInstall::NoteConflict(const std::vector<TRestorePoint>& earlier,
                                 const TItemChange& change, const IItemKind* kind) {
  const std::string owner = TakenFromPointName(change.TakenFrom);
  if (owner.empty() || !kind->MakesAnother(change.File, change.Section, change.Old, change.New))
    return;
  std::string title = owner;
  for (const TRestorePoint& point : earlier)
    if (point.Folder == owner) title = point.Title;
  conflicts_.push_back(change.Key + " in " + change.File + " is \"" + Utf8FromCp1251(change.Old) +
                       "\" of " + title + "; this mod makes it \"" + Utf8FromCp1251(change.New) +
                       "\"");
}

namespace {

std::string IdKey(const std::string& kind, const std::string& id) {
  return kind + '\n' + id;
}

}  // namespace

void TItemsInstall::NoteIdConflict(const TItemsById& byId, const TItemChange& change,
                                   const IItemKind* kind) {
  const std::string id = kind->ModelId(change.File, change.Key);
  const auto found = id.empty() ? byId.end() : byId.find(IdKey(change.Kind, id));
  if (found == byId.end()) return;
  for (const auto& [point, wrote] : found->second) {
    // The same item is NoteConflict's.
    if (ItemKey(*wrote) == ItemKey(change) ||
        !kind->MakesAnother(wrote->File, wrote->Section, wrote->New, change.New))
      continue;
    conflicts_.push_back("model ID " + id + " is \"" + Utf8FromCp1251(wrote->New) + "\" (" +
                         ItemText(*wrote) + ") of " + point->Title + "; this mod gives it to \"" +
                         Utf8FromCp1251(change.New) + "\" (" + ItemText(change) + ")");
    return;
  }
}

const TGameModels& TItemsInstall::GameModels() {
  if (!models_) models_ = ReadGameModels(fs_, game_);
  return *models_;
}

void TItemsInstall::ChooseAutomaticIds() {
  // Only lines of the game's data files hold model IDs.
  const auto ruleOf = [](const TFile& file) { return DataRuleOf(file.Items.File); };
  std::vector<TAutomaticIdUse> uses;
  for (const TFile& file : files_)
    if (ruleOf(file)) NoteAutomaticIds(*ruleOf(file), file.Items.Edits, file.Items.File, uses);
  const std::vector<TAutomaticIdUse> defined = AutomaticIdsDefined(uses);
  if (defined.empty()) return;
  std::set<int32_t> used = GameModels().Ids;
  // An IDE file the lines go into holds its IDs whether the game loads it or not: a line of
  // one of them must never be taken for the mod's.
  for (const TFile& file : files_)
    if (ruleOf(file) && ruleOf(file)->Kind == TDataKind::kIde &&
        fs_.KindOf(file.Target) == TPathKind::kFile)
      for (const int32_t id : IdsDefinedIn(ReadWholeFile(fs_, file.Target))) used.insert(id);
  // The mod's own numbered models, which its lines are about to define.
  for (const TFile& file : files_)
    for (const TDataEdit& edit : file.Items.Edits)
      if (ruleOf(file) && ruleOf(file)->Kind == TDataKind::kIde && ModelIdRangeOf(edit.Section) &&
          !edit.Key.empty() && edit.Key[0] != '@')
        used.insert(static_cast<int32_t>(std::strtol(edit.Key.c_str(), nullptr, 10)));
  std::map<std::string, int32_t> chosen;
  for (const TAutomaticIdUse& id : defined) {
    const TModelIdRange& range = *ModelIdRangeOf(id.Section);
    const int32_t free = LowestFreeId(range, used);
    if (free < 0)
      throw Exception(
          "No model ID is free for " + id.Name + " in the " + id.Section +
          " section: the IDE files the game loads and the mod's own lines use every ID from " +
          std::to_string(range.First) + " to " + std::to_string(range.Last) +
          ". Nothing was changed.");
    used.insert(free);
    chosen[id.Name] = free;
  }
  for (TFile& file : files_) {
    if (!ruleOf(file)) continue;
    const TDataRule& rule = *ruleOf(file);
    for (TDataEdit& edit : file.Items.Edits) {
      std::string name;
      if (!edit.Text ||
          AutomaticIdIn(rule, edit.Section, *edit.Text, name) == TAutomaticIdPlace::kNone)
        continue;
      edit.Text = WithChosenIds(rule, *edit.Text, chosen);
      edit.Key = DataLineKey(rule, edit.Section, *edit.Text);
      file.Automatic[{edit.Section, edit.Key}] = name;
    }
  }
}

std::vector<TItemChange> TItemsInstall::Plan(const std::vector<TRestorePoint>& earlier) {
  std::vector<TItemChange> changes;
  conflicts_.clear();
  ChooseAutomaticIds();
  // The earlier points' items indexed once, so that planning takes time in step with the lines.
  const TItemWriters writers(earlier);
  TItemsById byId;
  for (const TRestorePoint& point : earlier)
    for (const TItemChange& wrote : point.Items) {
      const IItemKind* kind = ItemKindNamed(wrote.Kind);
      // A line taken back is no longer that mod's.
      const std::string id = kind && !wrote.New.empty() ? kind->ModelId(wrote.File, wrote.Key) : "";
      if (!id.empty()) byId[IdKey(wrote.Kind, id)].push_back({&point, &wrote});
    }
  for (TFile& file : files_) {
    const std::string& item = file.Items.File;
    // A link would lead the merged file outside the game folder.
    const std::string link = LinkOnTheWay(fs_, game_, item);
    if (!link.empty()) throw Exception(LinkOnTheWayText("game folder", link));
    if (fs_.KindOf(file.Target) != TPathKind::kFile)
      throw Exception("The mod merges lines into " + item +
                      ", which the game folder does not hold. Nothing was changed.");
    RefuseReadOnly(fs_, file.Target);
    const std::string now = ReadWholeFile(fs_, file.Target);
    std::vector<TDataOutcome> outcomes;
    try {
      file.Bytes = file.Items.Kind->Put(item, now, file.Items.Edits, outcomes);
    } catch (const EFileError& error) {
      throw Exception(error.what() + std::string(". Nothing was changed."));
    }
    for (const TDataOutcome& outcome : outcomes) {
      TItemChange change;
      change.Kind = file.Items.Kind->Name();
      change.File = item;
      change.Section = outcome.Section;
      change.Key = outcome.Key;
      change.Added = !outcome.Old;
      change.Old = outcome.Old.value_or("");
      change.New = outcome.New.value_or("");
      if (outcome.Old) change.TakenFrom = writers.TakenFrom(change, outcome.Old);
      const auto automatic = file.Automatic.find({outcome.Section, outcome.Key});
      if (automatic != file.Automatic.end()) change.AutomaticId = automatic->second;
      NoteConflict(earlier, change, file.Items.Kind);
      if (!change.New.empty()) NoteIdConflict(byId, change, file.Items.Kind);
      changes.push_back(change);
    }
  }
  return changes;
}

void TItemsInstall::Note(TJournal& journal, const std::string& game) {
  for (size_t i = 0; i < files_.size(); ++i) {
    TFile& file = files_[i];
    file.Staged = StagedLinesOf(game, i + 1);
    journal.Put(file.Staged, file.Target);
    journal.Aside(file.Target);
  }
}

void TItemsInstall::Stage() {
  std::vector<std::string> staged;
  for (const TFile& file : files_) {
    RemoveStaleName(fs_, file.Staged);
    WriteWholeFile(fs_, file.Staged, file.Bytes);
    staged.push_back(file.Staged);
  }
  // Side by side: each flush waits for the disk on its own.
  FlushFiles(fs_, staged);
}

int64_t TItemsInstall::StagedBytes() const {
  int64_t bytes = 0;
  for (const TFile& file : files_) bytes += static_cast<int64_t>(file.Bytes.size());
  return bytes;
}

}  // namespace merva
