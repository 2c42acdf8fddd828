#include "restore/restore_point.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "archive/archive_file.h"
#include "archive/archive_kind.h"
#include "archive/sectors.h"
#include "change/ownership.h"
#include "core/cp1251.h"
#include "core/text.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_path.h"
#include "restore/record_fields.h"
#include "restore/restore_names.h"

namespace merva {

using namespace record;

std::vector<TArchiveEntry> KeptArchiveDirectory(const std::vector<TKeptEntry>& replaced,
                                                TArchiveKind kind) {
  std::vector<TArchiveEntry> directory;
  int64_t at = FirstCompactedOffset(static_cast<int32_t>(replaced.size()), kind);
  for (const TKeptEntry& entry : replaced) {
    TArchiveEntry kept = entry.Old;
    kept.Size = std::max(entry.Old.Size, 0);
    kept.Offset = static_cast<int32_t>(std::min<int64_t>(at, INT32_MAX));
    at += kept.Size;
    directory.push_back(kept);
  }
  CheckArchiveLength(SectorBytes(at));
  return directory;
}

TBlockFile CreateKeptArchive(IFileSystem& fs, const std::string& path, const TArchiveChange& change,
                             const std::vector<TArchiveEntry>& directory) {
  // One file however many entries a mod replaces, in the game's own format: one file to write
  // and to flush (thousands of small files cost seconds), and any IMG tool can open it.
  TGTA3Archive state;
  state.Kind = change.Kind;
  std::memcpy(state.Signature, kArchiveTag, sizeof state.Signature);
  state.Entries = directory;
  const auto count = static_cast<int32_t>(directory.size());
  TBlockFile file = TBlockFile::Create(fs, path);
  const std::string header = ArchiveHeader(state);
  file.WriteExact(header.data(), static_cast<uint32_t>(header.size()));
  WriteZeros(file, EntryPosition(change.Kind, 0) - file.Size());
  file.WriteExact(directory.data(), static_cast<uint32_t>(count) * kEntryBytes);
  WriteZeros(file, SectorBytes(FirstCompactedOffset(count, change.Kind)) - file.Size());
  return file;
}

namespace {

void ArchiveChangeLines(std::ostringstream& out, const TArchiveChange& p) {
  out << "old\tcount=" << p.OldCount << "\tfirst-sector=" << p.OldFirstSector
      << "\tbytes=" << p.OldArchiveBytes << "\n";
  for (const TOrderRun& run : p.Order)
    out << "order\told=" << run.Old << "\tnew=" << run.New << "\tcount=" << run.Count << "\n";
  for (const TKeptEntry& e : p.Replaced)
    out << "replaced\tindex=" << e.Index << "\tentry=" << Hex(&e.Old, sizeof e.Old)
        << "\tnew-size=" << e.NewSize << "\tkept=" << Escape(e.Kept)
        << "\tprint=" << e.NewFingerprint << "\tfrom=" << Escape(e.TakenFrom) << "\n";
  for (const TAddedEntry& e : p.Added)
    out << "added\tname=" << Escape(e.Name) << "\tsize=" << e.Size << "\tprint=" << e.NewFingerprint
        << "\n";
}

void NewArchiveLines(std::ostringstream& out, const TArchiveChange& p) {
  out << "new\tbytes=" << p.NewArchiveBytes << "\tprint=" << p.NewArchiveFingerprint << "\n";
  out << "kept\tbytes=" << p.KeptBytes << "\n";
  if (!p.KeptArchiveFingerprint.empty())
    out << "keptimg\tprint=" << p.KeptArchiveFingerprint << "\n";
}

}  // namespace

std::string RecordText(const TRestorePoint& p) {
  std::ostringstream out;
  out << kTaggedHeading << "\n";
  out << "title\ttext=" << Escape(p.Title) << "\n";
  out << "time\ttext=" << Escape(p.Time) << "\n";
  // "~": passed over by earlier readers, which know the game by its folder alone.
  out << "game\tfolder=" << Escape(p.GameFolder)
      << (p.GameIdentity.empty() ? "" : "\t~id=" + p.GameIdentity) << "\n";
  const auto level = [](const char* name, const TLevelValue& value) {
    return std::string("\t") + name + "=" + (value.Present ? "1" : "0") + "\t" + name +
           "-bytes=" + Hex(value.Bytes.data(), value.Bytes.size());
  };
  out << "level\tchecked=" << (p.Level.Checked ? 1 : 0) << level("before", p.Level.Before)
      << level("after", p.Level.After) << "\n";
  ArchiveChangeLines(out, p.Archives.front());
  for (const TGameFileChange& f : p.GameFiles)
    out << "gamefile\titem=" << Escape(f.Item) << "\treplaced=" << (f.Replaced ? 1 : 0)
        << "\told-bytes=" << f.OldBytes << "\tnew-bytes=" << f.NewBytes
        << "\tkept=" << Escape(f.Kept) << "\tprint=" << f.NewFingerprint
        << "\tfrom=" << Escape(f.TakenFrom)
        << (f.KeptFingerprint.empty() ? "" : "\t~kept-print=" + f.KeptFingerprint) << "\n";
  for (const std::string& folder : p.FoldersCreated)
    out << "folder\tpath=" << Escape(folder) << "\n";
  for (const TItemChange& i : p.Items)
    out << "item\tkind=" << Escape(i.Kind) << "\tfile=" << Escape(i.File)
        << "\tsection=" << Escape(i.Section) << "\tkey=" << Escape(i.Key)
        << "\tadded=" << (i.Added ? 1 : 0) << "\told=" << Escape(i.Old) << "\tnew=" << Escape(i.New)
        << "\tfrom=" << Escape(i.TakenFrom) << "\n";
  NewArchiveLines(out, p.Archives.front());
  // models\gta3.img's lines come first, with no line of their own; each other archive's after
  // an "archive" line: a reader that does not know it refuses the point rather than take back
  // gta3.img alone.
  for (size_t n = 1; n < p.Archives.size(); ++n) {
    const TArchiveChange& part = p.Archives[n];
    out << "archive\tpath=" << Escape(part.Archive) << "\n";
    ArchiveChangeLines(out, part);
    NewArchiveLines(out, part);
  }
  out << "end\n";
  return out.str();
}

namespace {

// One line of a tagged record: its kind, then NAME=VALUE fields in any order, each read by its
// reader below. A field missing or unreadable makes the line, and so the record, damaged.
class TTaggedLine {
 public:
  // False when a field has no name or comes twice.
  bool Read(const std::vector<std::string>& fields) {
    for (size_t i = 1; i < fields.size(); ++i) {
      const size_t equals = fields[i].find('=');
      if (equals == 0 || equals == std::string::npos) return false;
      if (!values_.emplace(fields[i].substr(0, equals), fields[i].substr(equals + 1)).second)
        return false;
    }
    return true;
  }
  // The field's value, or null when the line has none.
  const std::string* Take(const std::string& name) {
    const auto it = values_.find(name);
    if (it == values_.end()) return nullptr;
    taken_.insert(name);
    return &it->second;
  }
  // The first field no Take asked for that may not be passed over; empty when there is none.
  std::string Unknown() const {
    for (const auto& [name, value] : values_)
      if (!taken_.count(name) && name[0] != kSkippableMark) return name;
    return "";
  }
  bool Ok() const { return ok_; }
  void Require(bool sound) { ok_ = ok_ && sound; }

  void Text(const char* name, std::string& value) {
    const std::string* field = Take(name);
    Require(field && Unescape(*field, value));
  }
  template <typename T>
  void Count(const char* name, T& value) {
    const std::string* field = Take(name);
    if constexpr (sizeof value == 4)
      Require(field && Number32(*field, value));
    else
      Require(field && Number(*field, value));
  }
  void Flag(const char* name, bool& value) {
    const std::string* field = Take(name);
    Require(field && (*field == "0" || *field == "1"));
    value = field && *field == "1";
  }
  void Print(const char* name, std::string& value) {
    const std::string* field = Take(name);
    Require(field && Fingerprint(*field, value));
  }
  void From(const char* name, std::string& value) {
    const std::string* field = Take(name);
    Require(field && TakenFrom(*field, value));
  }
  void Level(const std::string& name, TLevelValue& value) {
    const std::string* present = Take(name);
    const std::string* bytes = Take(name + "-bytes");
    Require(present && bytes && ParseLevel(*present, *bytes, value));
  }

 private:
  std::map<std::string, std::string> values_;
  std::set<std::string> taken_;
  bool ok_ = true;
};

// A line of the point's header or of its game files; false for a kind of another reader.
bool ReadPointLine(const std::string& kind, TTaggedLine& f, TRestorePoint& p) {
  if (kind == "title" || kind == "time") {
    f.Text("text", kind == "title" ? p.Title : p.Time);
  } else if (kind == "game") {
    f.Text("folder", p.GameFolder);
    if (const std::string* id = f.Take("~id")) {
      p.GameIdentity = *id;
      f.Require(IsGameIdentity(*id));
    }
  } else if (kind == "level") {
    f.Flag("checked", p.Level.Checked);
    f.Level("before", p.Level.Before);
    f.Level("after", p.Level.After);
  } else if (kind == "gamefile") {
    TGameFileChange& g = p.GameFiles.emplace_back();
    f.Text("item", g.Item);
    f.Flag("replaced", g.Replaced);
    f.Count("old-bytes", g.OldBytes);
    f.Count("new-bytes", g.NewBytes);
    f.Text("kept", g.Kept);
    f.Print("print", g.NewFingerprint);
    f.From("from", g.TakenFrom);
    // Passed over by earlier readers, which check the kept file by its size alone.
    if (const std::string* kept = f.Take("~kept-print"))
      f.Require(g.Replaced && Fingerprint(*kept, g.KeptFingerprint) && !g.KeptFingerprint.empty());
  } else if (kind == "folder") {
    f.Text("path", p.FoldersCreated.emplace_back());
  } else if (kind == "item") {
    TItemChange& i = p.Items.emplace_back();
    f.Text("kind", i.Kind);
    f.Text("file", i.File);
    f.Text("section", i.Section);
    f.Text("key", i.Key);
    f.Flag("added", i.Added);
    f.Text("old", i.Old);
    f.Text("new", i.New);
    f.From("from", i.TakenFrom);
    f.Require(!i.Kind.empty() && !i.Key.empty() &&
              (i.Added ? i.Old.empty() && i.TakenFrom.empty() : !i.TakenFrom.empty()));
    // A line's text and key hold no line break: an undo puts them back into the file as one line.
    for (const std::string* text : {&i.Section, &i.Key, &i.Old, &i.New})
      f.Require(text->find_first_of("\r\n") == std::string::npos);
  } else {
    return false;
  }
  return true;
}

// A line of one archive's change; false for a kind of another reader.
bool ReadArchiveLine(const std::string& kind, TTaggedLine& f, TArchiveChange& a) {
  if (kind == "archive") {
    f.Text("path", a.Archive);
  } else if (kind == "old") {
    f.Count("count", a.OldCount);
    f.Count("first-sector", a.OldFirstSector);
    f.Count("bytes", a.OldArchiveBytes);
    f.Require(a.OldCount >= 0 && a.OldCount < kEntryCountLimit);
  } else if (kind == "order") {
    TOrderRun& run = a.Order.emplace_back();
    f.Count("old", run.Old);
    f.Count("new", run.New);
    f.Count("count", run.Count);
  } else if (kind == "replaced") {
    TKeptEntry& e = a.Replaced.emplace_back();
    std::vector<uint8_t> entry;
    const std::string* hex = f.Take("entry");
    const bool whole = hex && FromHex(*hex, entry) && entry.size() == sizeof e.Old;
    f.Require(whole);
    if (whole) std::memcpy(&e.Old, entry.data(), sizeof e.Old);
    f.Count("index", e.Index);
    f.Count("new-size", e.NewSize);
    f.Text("kept", e.Kept);
    f.Print("print", e.NewFingerprint);
    f.From("from", e.TakenFrom);
  } else if (kind == "added") {
    TAddedEntry& e = a.Added.emplace_back();
    f.Text("name", e.Name);
    f.Count("size", e.Size);
    f.Print("print", e.NewFingerprint);
  } else if (kind == "new") {
    f.Count("bytes", a.NewArchiveBytes);
    const std::string* field = f.Take("print");
    // A point rewritten from one of the first layouts keeps its SHA-256.
    f.Require(field && (IsHex(*field, 32) || IsHex(*field, 64)));
    if (field) a.NewArchiveFingerprint = *field;
  } else if (kind == "kept") {
    f.Count("bytes", a.KeptBytes);
  } else if (kind == "keptimg") {
    const std::string* field = f.Take("print");
    f.Require(field && IsHex(*field, 32));
    if (field) a.KeptArchiveFingerprint = *field;
  } else {
    return false;
  }
  return true;
}

TRecordRead ParseTaggedRecord(std::istringstream& in, TRestorePoint& p, std::string& unknown) {
  std::string line;
  bool ended = false, sawNew = false;
  std::set<std::string> once;
  static const std::set<std::string> kOnce = {"title", "time", "game", "level",
                                              "old",   "new",  "kept", "keptimg"};
  // models\gta3.img's lines come first, with the point's own; each other archive's after its
  // "archive" line describe that archive alone.
  p.Archives.assign(1, TArchiveChange{});
  while (std::getline(in, line)) {
    if (ended) return TRecordRead::kDamaged;  // nothing may follow the end
    const std::vector<std::string> fields = SplitAt(line, "\t");
    const std::string& kind = fields[0];
    TTaggedLine f;
    if (kind.empty() || !f.Read(fields)) return TRecordRead::kDamaged;
    if (kind == "archive") {
      // Only once the archive before it is whole.
      if (!sawNew) return TRecordRead::kDamaged;
      p.Archives.emplace_back();
      once.clear();
      sawNew = false;
    }
    if (kOnce.count(kind) && !once.insert(kind).second) return TRecordRead::kDamaged;
    const bool inFirst = p.Archives.size() == 1;
    if (kind == "end") {
      ended = true;
    } else if (ReadArchiveLine(kind, f, p.Archives.back())) {
      sawNew = sawNew || kind == "new";
    } else if (kind[0] == kSkippableMark) {
      continue;
    } else if (!inFirst) {
      return TRecordRead::kDamaged;  // another archive's lines describe that archive alone
    } else if (!ReadPointLine(kind, f, p)) {
      // Written by a newer Merva: what it means for an undo is not known here.
      unknown = kind;
      return TRecordRead::kNewer;
    }
    if (!f.Ok()) return TRecordRead::kDamaged;
    const std::string field = f.Unknown();
    if (!field.empty()) {
      unknown = kind + " " + field;
      return TRecordRead::kNewer;
    }
  }
  if (!ended || !sawNew) return TRecordRead::kDamaged;
  return PathsStayInside(p) ? TRecordRead::kWhole : TRecordRead::kDamaged;
}

}  // namespace

bool ParseRecord(const std::string& text, TRestorePoint& p) {
  std::string unknown;
  return ReadRecord(text, p, unknown) == TRecordRead::kWhole;
}

TRecordRead ReadRecord(const std::string& text, TRestorePoint& p, std::string& unknown) {
  // What a refused record left half read must not pass into the next one read into `p`.
  TRestorePoint fresh;
  fresh.Folder = p.Folder;
  fresh.Counter = p.Counter;
  p = std::move(fresh);
  std::istringstream tagged(text);
  std::string heading;
  if (std::getline(tagged, heading) && heading == kTaggedHeading)
    return ParseTaggedRecord(tagged, p, unknown);
  return ParseUntaggedRecord(text, p) ? TRecordRead::kWhole : TRecordRead::kDamaged;
}

std::string LevelText(const TLevelRecord& level, const TLevelValue& value) {
  if (!level.Checked) return "not checked";
  if (!value.Present) return "none";
  if (value.Bytes.size() != sizeof(double))
    return "a value of " + std::to_string(value.Bytes.size()) + " bytes";
  double number;
  std::memcpy(&number, value.Bytes.data(), sizeof number);
  char text[64];
  std::snprintf(text, sizeof text, "%g", number);
  return text;
}

std::string ChangesText(const TRestorePoint& p, const std::vector<TRestorePoint>& earlier) {
  // ", taken over from ..." after a replaced entry or file, where the point knows it.
  const auto from = [&earlier](const std::string& takenFrom) {
    const std::string text = TakenFromText(takenFrom, earlier);
    return text.empty() ? std::string() : ", taken over from " + text;
  };
  std::ostringstream out;
  out << "Merva restore point " << p.Folder << "\n\n";
  out << "Mod: " << p.Title << "\n";
  out << "Installed: " << p.Time << "\n";
  out << "Game folder: " << p.GameFolder << "\n";
  out << "Installed level before: " << LevelText(p.Level, p.Level.Before) << "\n";
  out << "Installed level after: " << LevelText(p.Level, p.Level.After) << "\n\n";
  // Each archive's entries under its name: two archives may hold entries of one name.
  const auto entries = [&](const TArchiveChange& a, const std::string& keptIn) {
    const std::string archive = GameArchiveText(a.Archive);
    out << "Entries added to " << archive << " (" << a.Added.size() << "):\n";
    for (const TAddedEntry& e : a.Added)
      out << "  " << e.Name << ", " << SectorBytes(e.Size) << " bytes\n";
    out << "Entries replaced in " << archive << " (" << a.Replaced.size() << "), old bytes kept in "
        << keptIn << " (an IMG archive of their own):\n";
    for (const TKeptEntry& e : a.Replaced)
      out << "  " << EntryName(e.Old) << ": old " << SectorBytes(e.Old.Size) << " bytes, new "
          << SectorBytes(e.NewSize) << " bytes" << from(e.TakenFrom) << "\n";
  };
  for (size_t n = 0; n < p.Archives.size(); ++n) entries(p.Archives[n], KeptArchiveNameOf(n));
  size_t created = 0;
  for (const TGameFileChange& f : p.GameFiles) created += f.Replaced ? 0 : 1;
  out << "Game files created (" << created << "):\n";
  for (const TGameFileChange& f : p.GameFiles)
    if (!f.Replaced) out << "  " << f.Item << ", " << f.NewBytes << " bytes\n";
  out << "Game files replaced (" << p.GameFiles.size() - created << "), old bytes kept in "
      << kKeptGameFolder << ":\n";
  for (const TGameFileChange& f : p.GameFiles)
    if (f.Replaced)
      out << "  " << f.Item << ": old " << f.OldBytes << " bytes, new " << f.NewBytes << " bytes"
          << from(f.TakenFrom) << "\n";
  out << "Folders created (" << p.FoldersCreated.size() << "):\n";
  for (const std::string& folder : p.FoldersCreated) out << "  " << folder << "\n";
  // Lines merged into data files: their old texts are in the record itself.
  if (!p.Items.empty()) out << "Lines merged into game files (" << p.Items.size() << "):\n";
  for (const TItemChange& i : p.Items)
    out << "  " << i.File << ", " << ItemName(i) << ": "
        << (i.Added ? "added" : "replaced" + from(i.TakenFrom)) << "\n";
  out << "\n";
  for (const TArchiveChange& a : p.Archives)
    out << "New " << GameArchiveText(a.Archive) << ": " << a.NewArchiveBytes << " bytes, "
        << (a.NewArchiveFingerprint.size() == 64 ? "SHA-256 " : "XXH3-128 ")
        << a.NewArchiveFingerprint << "\n";
  out << "This restore point keeps " << AllKeptBytes(p) << " bytes of old files.\n\n";
  out << "To take the mod back, run \"merva.exe /undo\" or \"merva-img undo GAME_FOLDER\".\n"
         "The old archive entries are in "
      << kKeptArchiveName << ", which any IMG tool opens, and the files under " << kKeptGameFolder
      << " are the old game files themselves, to put back by hand if need be.\n";
  // Windows line breaks: Notepad before Windows 10 shows a bare line feed as nothing.
  std::string text;
  for (const char c : out.str()) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return text;
}

}  // namespace merva
