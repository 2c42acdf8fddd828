#include "tools/reports.h"

#include <cstdio>
#include <sstream>

#include "archive/archive.h"
#include "change/ownership.h"
#include "core/cp1251.h"
#include "core/unicode.h"
#include "game/game_archives.h"
#include "operations/room_check.h"
#include "tools/cli_support.h"

namespace merva {

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  const auto escape = [&json](unsigned value) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", value);
    json += escaped;
  };
  for (size_t i = 0; i < text.size();) {
    char32_t c = 0;
    size_t length = 1;
    const bool valid = NextCodePoint(text, i, c, length);
    const auto byte = static_cast<unsigned char>(text[i]);
    if (!valid) {
      // A byte that is no UTF-8 (a name in a code page of its own) is kept, not lost: as the
      // surrogate U+DC00 + byte, as Python's "surrogateescape" reads it back.
      escape(0xDC00 + byte);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      escape(static_cast<unsigned>(c));  // a lone surrogate of a Windows name
    } else if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      escape(static_cast<unsigned>(c));
    } else {
      json.append(text, i, length);
    }
    i += length;
  }
  return json + "\"";
}

namespace {

const char* VerdictWord(TLevelVerdict verdict) {
  switch (verdict) {
    case TLevelVerdict::kPasses:
      return "passes";
    case TLevelVerdict::kRefused:
      return "refused";
    case TLevelVerdict::kNotChecked:
      break;
  }
  return "not checked";
}

// The damaged points' names, as a JSON array.
std::string DamagedJson(const std::vector<TDamagedPoint>& damaged) {
  std::string json = "[";
  for (const TDamagedPoint& point : damaged)
    json += (json.size() > 1 ? ", " : "") + JsonString(point.Folder);
  return json + "]";
}

// The owner a record keeps ("taken from"), as a JSON object. While a damaged point of the game
// is there, what no whole point wrote may be its: not known, never the game's.
std::string OwnerJson(const std::string& takenFrom, const TInstallPlan& plan) {
  const std::vector<TRestorePoint>& earlier = plan.Earlier;
  if (takenFrom == kTakenFromGame && !plan.Damaged.empty())
    return "{\"kind\": \"unknown\", \"damagedPoints\": " + DamagedJson(plan.Damaged) + "}";
  if (takenFrom == kTakenFromGame) return "{\"kind\": \"game\"}";
  if (takenFrom == kTakenFromChanged) return "{\"kind\": \"changed\"}";
  const std::string name = TakenFromPointName(takenFrom);
  if (name.empty()) return "{\"kind\": \"unknown\"}";
  for (const TRestorePoint& point : earlier)
    if (point.Folder == name)
      return "{\"kind\": \"installation\", \"point\": " + JsonString(name) +
             ", \"title\": " + JsonString(point.Title) +
             ", \"installed\": " + JsonString(point.Time) + "}";
  return "{\"kind\": \"installation\", \"point\": " + JsonString(name) + "}";
}

// The game's edition as the player reads it, and a multiplayer client beside it.
std::string EditionWords(const TGameEdition& edition) {
  return edition.Text() +
         (edition.Multiplayer ? "; a multiplayer client (SA-MP) is installed" : "");
}

// The same for a script: the name a mod's `editions` line uses (empty when the build is not
// known), its line, and the words.
std::string EditionJson(const TGameEdition& edition) {
  return "{\"name\": " + JsonString(edition.Name) + ", \"line\": " + JsonString(edition.Line) +
         ", \"text\": " + JsonString(edition.Text()) +
         ", \"multiplayer\": " + (edition.Multiplayer ? "true" : "false") + "}";
}

// What the mod's editions say of the game, in words and as a script's key.
const char* EditionVerdictWord(TEditionVerdict verdict) {
  switch (verdict) {
    case TEditionVerdict::kFor:
      return "passed";
    case TEditionVerdict::kNotFor:
      return "refused";
    case TEditionVerdict::kUnknown:
      return "cannot tell, asked";
    case TEditionVerdict::kAny:
      break;
  }
  return "not checked";
}

std::string EditionCheckJson(const TInstallPlan& plan) {
  const TEditionVerdict verdict = plan.EditionVerdict;
  std::string words;
  for (const std::string& word : plan.EditionsWanted)
    words += (words.empty() ? "" : ", ") + JsonString(word);
  return std::string("{\"verdict\": \"") +
         (verdict == TEditionVerdict::kFor       ? "passed"
          : verdict == TEditionVerdict::kNotFor  ? "refused"
          : verdict == TEditionVerdict::kUnknown ? "unknown"
                                                 : "notChecked") +
         "\", \"for\": [" + words + "]}";
}

std::string DamagedWords(const std::vector<TDamagedPoint>& damaged) {
  std::string words;
  for (const TDamagedPoint& point : damaged) words += (words.empty() ? "" : ", ") + point.Folder;
  return words;
}

std::string OwnerWords(const std::string& takenFrom, const TInstallPlan& plan) {
  if (takenFrom == kTakenFromGame && !plan.Damaged.empty())
    return "unknown: the damaged restore point " + DamagedWords(plan.Damaged) +
           " may have written it";
  const std::string text = TakenFromText(takenFrom, plan.Earlier);
  return text.empty() ? "unknown (no restore folder)" : text;
}

}  // namespace

std::string PlanText(const TPlanReport& report) {
  const TRestorePoint& p = report.Plan.Point;
  std::ostringstream out;
  out << "plan: " << report.Title << " into " << report.GameFolder << "\n";
  out << "edition: " << EditionWords(report.Plan.Edition) << "\n";
  if (!report.Plan.EditionsWanted.empty())
    out << "edition check: " << EditionVerdictWord(report.Plan.EditionVerdict)
        << ": the mod is for " << EditionsText(report.Plan.EditionsWanted) << "\n";
  out << "level check: " << VerdictWord(report.Level);
  if (report.Level == TLevelVerdict::kRefused) out << ": " << report.Refusal;
  out << "\n";
  for (const TDamagedPoint& point : report.Plan.Damaged)
    out << "damaged restore point " << point.Folder << ": " << DamagedPointReason(point)
        << ", so what it wrote is not known\n";
  for (const TArchiveChange& change : p.Archives) {
    const TArchiveChange* a = &change;
    const std::string in = IsMainArchive(a->Archive) ? "" : " in " + a->Archive;
    for (const TKeptEntry& e : a->Replaced)
      out << "replace entry " << EntryName(e.Old) << in << ": " << SizeBytes(e.Old.Size) << " -> "
          << SizeBytes(e.NewSize) << " bytes, now " << OwnerWords(e.TakenFrom, report.Plan) << "\n";
    for (const TAddedEntry& e : a->Added)
      out << "add entry " << e.Name << in << ": " << SizeBytes(e.Size) << " bytes\n";
  }
  for (const TGameFileChange& f : p.GameFiles) {
    if (f.Replaced)
      out << "replace game file " << f.Item << ": " << f.OldBytes << " -> " << f.NewBytes
          << " bytes, now " << OwnerWords(f.TakenFrom, report.Plan) << "\n";
    else
      out << "create game file " << f.Item << ": " << f.NewBytes << " bytes\n";
  }
  for (const std::string& folder : p.FoldersCreated) out << "make folder " << folder << "\n";
  for (const TItemChange& i : p.Items) {
    out << (i.Added ? "add line " : "replace line ") << ItemText(i);
    if (!i.Added)
      out << ", now " << OwnerWords(i.TakenFrom, report.Plan)
          << "\n  old: " << Utf8FromCp1251(i.Old);
    out << "\n  new: " << Utf8FromCp1251(i.New) << "\n";
  }
  for (const std::string& conflict : report.Plan.Conflicts) out << "conflict: " << conflict << "\n";
  if (!report.Plan.LimitAdjuster.empty())
    out << "limit adjuster: " << report.Plan.LimitAdjuster
        << (report.Plan.Edition.Line == "1.0" ? "" : ", not counted: it works on 1.0 alone")
        << "\n";
  for (const TLimitCount& limit : report.Plan.Budget) {
    out << "limit: " << limit.What << ": the game uses " << limit.GameUses << ", the mod adds "
        << limit.ModAdds << ", limit ";
    if (limit.Limit == kNoLimit)
      out << "none";
    else
      out << limit.Limit;
    if (!limit.RaisedBy.empty()) out << " (" << limit.RaisedBy << ")";
    out << (limit.Passed() ? ": PASSED, the game would crash or hang at start" : "") << "\n";
  }
  for (const std::string& warning : report.Plan.FileWarnings) out << "warning: " << warning << "\n";
  for (const TArchiveChange& change : p.Archives)
    out << "archive" << (IsMainArchive(change.Archive) ? "" : " " + change.Archive) << ": "
        << SizeText(static_cast<uint64_t>(change.OldArchiveBytes)) << " now, "
        << SizeText(static_cast<uint64_t>(change.NewArchiveBytes)) << " after\n";
  out << "restore point keeps: " << SizeText(static_cast<uint64_t>(AllKeptBytes(p))) << "\n";
  for (const TDriveNeed& drive : report.Plan.Drives) {
    out << "room on the drive of " << DisplayPath(drive.Folder);
    if (!drive.Known) {
      out << ": " << SizeText(static_cast<uint64_t>(drive.Needed))
          << " needed, free room unknown\n";
      continue;
    }
    out << " (" << drive.Drive << "): " << SizeText(static_cast<uint64_t>(drive.Needed))
        << " needed, " << SizeText(drive.Free) << " free"
        << (static_cast<uint64_t>(drive.Needed) > drive.Free ? ": NOT ENOUGH" : "") << "\n";
  }
  return out.str();
}

namespace {

// Every entry of every archive the plan changes, each with its archive.
void EntriesJson(std::ostringstream& out, const TPlanReport& report) {
  const char* comma = "";
  for (const TArchiveChange& a : report.Plan.Point.Archives) {
    const std::string in = ", \"archive\": " + JsonString(GameArchiveText(a.Archive));
    for (const TKeptEntry& e : a.Replaced) {
      out << comma << "\n    {\"name\": " << JsonString(EntryName(e.Old))
          << ", \"action\": \"replace\", \"oldBytes\": " << SizeBytes(e.Old.Size)
          << ", \"newBytes\": " << SizeBytes(e.NewSize)
          << ", \"owner\": " << OwnerJson(e.TakenFrom, report.Plan) << in << "}";
      comma = ",";
    }
    for (const TAddedEntry& e : a.Added) {
      out << comma << "\n    {\"name\": " << JsonString(e.Name)
          << ", \"action\": \"add\", \"newBytes\": " << SizeBytes(e.Size) << in << "}";
      comma = ",";
    }
  }
}

void GameFilesJson(std::ostringstream& out, const TPlanReport& report) {
  const char* comma = "";
  for (const TGameFileChange& f : report.Plan.Point.GameFiles) {
    out << comma << "\n    {\"path\": " << JsonString(f.Item) << ", \"action\": \""
        << (f.Replaced ? "replace" : "create") << "\"";
    if (f.Replaced)
      out << ", \"oldBytes\": " << f.OldBytes << ", \"newBytes\": " << f.NewBytes
          << ", \"owner\": " << OwnerJson(f.TakenFrom, report.Plan) << "}";
    else
      out << ", \"newBytes\": " << f.NewBytes << "}";
    comma = ",";
  }
}

// models\\gta3.img's sizes, then each other archive's.
void ArchivesJson(std::ostringstream& out, const TRestorePoint& p) {
  out << "\"archive\": {\"bytesNow\": " << p.Archives.front().OldArchiveBytes
      << ", \"bytesAfter\": " << p.Archives.front().NewArchiveBytes << "},\n  \"otherArchives\": [";
  const char* comma = "";
  for (size_t n = 1; n < p.Archives.size(); ++n) {
    const TArchiveChange& part = p.Archives[n];
    out << comma << "{\"path\": " << JsonString(part.Archive)
        << ", \"bytesNow\": " << part.OldArchiveBytes
        << ", \"bytesAfter\": " << part.NewArchiveBytes << "}";
    comma = ", ";
  }
  out << "]";
}

void LinesJson(std::ostringstream& out, const TPlanReport& report) {
  const char* comma = "";
  for (const TItemChange& i : report.Plan.Point.Items) {
    out << comma << "\n    {\"file\": " << JsonString(i.File)
        << ", \"section\": " << JsonString(Utf8FromCp1251(i.Section))
        << ", \"key\": " << JsonString(Utf8FromCp1251(i.Key));
    if (!i.AutomaticId.empty()) out << ", \"automaticId\": " << JsonString(i.AutomaticId);
    out << ", \"action\": \"" << (i.Added ? "add" : "replace") << "\"";
    if (!i.Added)
      out << ", \"old\": " << JsonString(Utf8FromCp1251(i.Old))
          << ", \"owner\": " << OwnerJson(i.TakenFrom, report.Plan);
    out << ", \"new\": " << JsonString(Utf8FromCp1251(i.New)) << "}";
    comma = ",";
  }
}

void LimitsJson(std::ostringstream& out, const TPlanReport& report) {
  const char* comma = "";
  for (const TLimitCount& limit : report.Plan.Budget) {
    out << comma << "\n    {\"what\": " << JsonString(limit.What)
        << ", \"gameUses\": " << limit.GameUses << ", \"modAdds\": " << limit.ModAdds
        << ", \"limit\": "
        << (limit.Limit == kNoLimit ? std::string("null") : std::to_string(limit.Limit))
        << ", \"raisedBy\": "
        << (limit.RaisedBy.empty() ? std::string("null") : JsonString(limit.RaisedBy))
        << ", \"passed\": " << (limit.Passed() ? "true" : "false") << "}";
    comma = ",";
  }
}

void DrivesJson(std::ostringstream& out, const TPlanReport& report) {
  const char* comma = "";
  for (const TDriveNeed& drive : report.Plan.Drives) {
    out << comma << "\n    {\"folder\": " << JsonString(DisplayPath(drive.Folder))
        << ", \"drive\": " << JsonString(drive.Drive) << ", \"neededBytes\": " << drive.Needed;
    if (drive.Known)
      out << ", \"freeBytes\": " << drive.Free << ", \"enough\": "
          << (static_cast<uint64_t>(drive.Needed) <= drive.Free ? "true" : "false");
    out << "}";
    comma = ",";
  }
}

}  // namespace

std::string PlanJson(const TPlanReport& report) {
  const TRestorePoint& p = report.Plan.Point;
  std::ostringstream out;
  out << "{\n  \"game\": " << JsonString(report.GameFolder)
      << ",\n  \"edition\": " << EditionJson(report.Plan.Edition)
      << ",\n  \"editionCheck\": " << EditionCheckJson(report.Plan)
      << ",\n  \"mod\": " << JsonString(report.Title) << ",\n  \"level\": {\"verdict\": \""
      << VerdictWord(report.Level) << "\"";
  if (report.Level == TLevelVerdict::kRefused)
    out << ", \"refusal\": " << JsonString(report.Refusal);
  out << "},\n  \"entries\": [";
  EntriesJson(out, report);
  out << "\n  ],\n  \"gameFiles\": [";
  GameFilesJson(out, report);
  out << "\n  ],\n  \"folders\": [";
  const char* comma = "";
  for (const std::string& folder : p.FoldersCreated) {
    out << comma << JsonString(folder);
    comma = ", ";
  }
  out << "],\n  \"lines\": [";
  LinesJson(out, report);
  out << "\n  ],\n  \"conflicts\": [";
  comma = "";
  for (const std::string& conflict : report.Plan.Conflicts) {
    out << comma << JsonString(conflict);
    comma = ", ";
  }
  out << "],\n  \"limitAdjuster\": "
      << (report.Plan.LimitAdjuster.empty() ? std::string("null")
                                            : JsonString(report.Plan.LimitAdjuster))
      << ",\n  \"limits\": [";
  LimitsJson(out, report);
  out << "\n  ],\n  \"warnings\": [";
  comma = "";
  for (const std::string& warning : report.Plan.FileWarnings) {
    out << comma << JsonString(warning);
    comma = ", ";
  }
  out << "],\n  ";
  ArchivesJson(out, p);
  out << ",\n  \"keptBytes\": " << AllKeptBytes(p)
      << ",\n  \"damagedPoints\": " << DamagedJson(report.Plan.Damaged) << ",\n  \"drives\": [";
  DrivesJson(out, report);
  out << "\n  ]\n}\n";
  return out.str();
}

namespace {

const char* StateWord(TThingState state) {
  switch (state) {
    case TThingState::kOwns:
      return "owns";
    case TThingState::kTakenOver:
      return "taken over";
    case TThingState::kChangedSince:
      return "changed since";
    case TThingState::kCannotTell:
      break;
  }
  return "cannot tell";
}

// The same for a script.
const char* StateKey(TThingState state) {
  switch (state) {
    case TThingState::kOwns:
      return "owns";
    case TThingState::kTakenOver:
      return "takenOver";
    case TThingState::kChangedSince:
      return "changedSince";
    case TThingState::kCannotTell:
      break;
  }
  return "cannotTell";
}

std::string ThingWord(TThing thing) {
  return thing == TThing::kEntry ? "entry" : thing == TThing::kLine ? "line" : "game file";
}

}  // namespace

std::string StatusText(const std::string& gameFolder, const TGameStatus& status) {
  std::ostringstream out;
  out << "edition: " << EditionWords(status.Edition) << "\n";
  out << "installed into " << gameFolder << ", newest first: " << status.Installed.size() << "\n";
  for (const TDamagedPoint& point : status.Damaged)
    out << "\ndamaged restore point " << point.Folder << ": " << DamagedPointReason(point)
        << ", so what it wrote is not known\n";
  for (const TInstallationStatus& installed : status.Installed) {
    out << "\n" << PointDescription(*installed.Point) << "\n";
    for (const TThingStatus& thing : installed.Things) {
      out << "  " << StateWord(thing.State) << ": " << ThingWord(thing.Thing) << " " << thing.Name;
      if (!thing.Archive.empty()) out << " in " << thing.Archive;
      if (thing.State == TThingState::kTakenOver) out << ", by " << PointDescription(*thing.By);
      if (thing.State == TThingState::kChangedSince) out << ", by another program or by hand";
      if (thing.State == TThingState::kCannotTell)
        out << ": its record, of an earlier version, keeps no fingerprint";
      out << "\n";
    }
  }
  return out.str();
}

std::string StatusJson(const std::string& gameFolder, const TGameStatus& status) {
  std::ostringstream out;
  out << "{\n  \"game\": " << JsonString(gameFolder)
      << ",\n  \"edition\": " << EditionJson(status.Edition) << ",\n  \"installed\": [";
  const char* comma = "";
  for (const TInstallationStatus& installed : status.Installed) {
    const TRestorePoint& point = *installed.Point;
    out << comma << "\n    {\"point\": " << JsonString(point.Folder)
        << ", \"title\": " << JsonString(point.Title)
        << ", \"installed\": " << JsonString(point.Time) << ", \"things\": [";
    const char* inner = "";
    for (const TThingStatus& thing : installed.Things) {
      out << inner << "\n      {\"kind\": \""
          << (thing.Thing == TThing::kEntry  ? "entry"
              : thing.Thing == TThing::kLine ? "line"
                                             : "gameFile")
          << "\", \"name\": " << JsonString(thing.Name) << ", \"state\": \""
          << StateKey(thing.State) << "\"";
      if (!thing.Archive.empty())
        out << (thing.Thing == TThing::kLine ? ", \"file\": " : ", \"archive\": ")
            << JsonString(thing.Archive);
      if (thing.State == TThingState::kTakenOver)
        out << ", \"by\": " << JsonString(thing.By->Folder);
      out << "}";
      inner = ",";
    }
    out << "\n    ]}";
    comma = ",";
  }
  out << "\n  ],\n  \"damagedPoints\": " << DamagedJson(status.Damaged) << "\n}\n";
  return out.str();
}

std::string UndoPlanText(const std::string& point, const TUndoPlan& plan) {
  std::ostringstream out;
  out << "taking back " << point << ":\n";
  for (const std::string& item : plan.GivenBack) out << "  given back\t" << item << "\n";
  for (const std::string& item : plan.Removed) out << "  removed\t" << item << "\n";
  for (const std::string& stay : plan.Stay) out << "  " << stay << "\n";
  for (const std::string& rewritten : plan.Rewritten)
    out << "  rewrites the restore point\t" << rewritten << "\n";
  for (const std::string& refusal : plan.Refusals) out << "refused: " << refusal << "\n";
  for (const std::string& forced : plan.Forced) out << "with --force: " << forced << "\n";
  return out.str();
}

std::string UndoPlanJson(const std::string& point, const TUndoPlan& plan) {
  const auto list = [](const std::vector<std::string>& items) {
    std::string json = "[";
    for (const std::string& item : items) json += (json.size() > 1 ? ", " : "") + JsonString(item);
    return json + "]";
  };
  return "{\"undo\": " + JsonString(point) + ", \"givenBack\": " + list(plan.GivenBack) +
         ", \"removed\": " + list(plan.Removed) + ", \"stays\": " + list(plan.Stay) +
         ", \"rewrites\": " + list(plan.Rewritten) + ", \"refusals\": " + list(plan.Refusals) +
         ", \"withForce\": " + list(plan.Forced) + "}\n";
}

}  // namespace merva
