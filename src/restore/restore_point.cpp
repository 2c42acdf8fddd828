#include "restore/restore_point.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "archive/archive_file.h"
#include "archive/sectors.h"
#include "core/cp1251.h"
#include "core/text.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "restore/ownership.h"
#include "restore/restore_names.h"

namespace merva {

const char kChangesFileName[] = "changes.txt";
const char kRecordFileName[] = "record.txt";
const char kKeptArchiveName[] = "archive.img";

std::vector<TArchiveEntry> KeptArchiveDirectory(const std::vector<TKeptEntry>& replaced) {
  std::vector<TArchiveEntry> directory;
  int64_t at = FirstCompactedOffset(static_cast<int32_t>(replaced.size()));
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

namespace {

// Records of the first layout held their names and paths in code page 1251; since the second,
// every text is UTF-8. Both are read.
// Layout 3 tags every field; 2 and 1 (code page 1251) tell their fields by their places.
const char kTaggedRecordHeading[] = "merva restore point 3";
const char kRecordHeading[] = "merva restore point 2";
const char kCp1251RecordHeading[] = "merva restore point 1";
// A field or a line whose name starts with this may be passed over by a reader that does not
// know it: it adds to the point without changing what an undo does.
constexpr char kSkippableMark = '~';

void ConvertFromCp1251(TRestorePoint& p) {
  for (std::string* text : {&p.Title, &p.Time, &p.GameFolder}) *text = Utf8FromCp1251(*text);
  for (TKeptEntry& e : p.Replaced) e.Kept = Utf8FromCp1251(e.Kept);
  for (TAddedEntry& e : p.Added) e.Name = Utf8FromCp1251(e.Name);
  for (TGameFileChange& f : p.GameFiles) {
    f.Item = Utf8FromCp1251(f.Item);
    f.Kept = Utf8FromCp1251(f.Kept);
  }
  for (std::string& folder : p.FoldersCreated) folder = Utf8FromCp1251(folder);
}

// Names and texts may hold any byte: those that would break a line or a field are written as
// %XX.
std::string Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '%') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", byte);
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

std::string Hex(const void* data, size_t size) {
  std::string out;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    out += pair;
  }
  return out;
}

bool FromHex(const std::string& text, std::vector<uint8_t>& out) {
  out.clear();
  if (text.size() % 2) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return true;
}

bool IsHex(const std::string& text, size_t digits) {
  if (text.size() != digits) return false;
  for (const char c : text)
    if (HexDigit(c) < 0) return false;
  return true;
}

bool Number(const std::string& text, int64_t& value) {
  // Eighteen digits at most: any more could overflow, and no size or count comes near them.
  if (text.empty() || text.size() > (text[0] == '-' ? 19 : 18)) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  if (text[0] == '-') value = -value;
  return true;
}

bool Number32(const std::string& text, int32_t& value) {
  int64_t wide;
  if (!Number(text, wide) || wide < INT32_MIN || wide > INT32_MAX) return false;
  value = static_cast<int32_t>(wide);
  return true;
}

bool ParseLevel(const std::string& present, const std::string& bytes, TLevelValue& value) {
  if (present != "0" && present != "1") return false;
  value.Present = present == "1";
  return FromHex(bytes, value.Bytes);
}

// A path the record may name below the game folder or the restore point: relative, with no
// drive, no root, no empty, "." or ".." part and no control character. A record that names
// anything else was not written by an installation, and nothing is done after it.
bool StaysInside(const std::string& path) {
  if (path.empty() || path.find(':') != std::string::npos) return false;
  for (const std::string& part : SplitAt(path, "\\/"))
    if (part.empty() || part == "." || part == "..") return false;
  for (const char c : path)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

bool PathsStayInside(const TRestorePoint& p) {
  for (const TGameFileChange& f : p.GameFiles) {
    if (!StaysInside(f.Item)) return false;
    if (f.Replaced ? f.Kept != KeptGameFileName(f.Item) : !f.Kept.empty()) return false;
  }
  for (const TKeptEntry& e : p.Replaced)
    if (e.Kept != kKeptArchiveName && (!IsOwnKeptEntryFileName(e.Kept) || !StaysInside(e.Kept)))
      return false;
  for (const std::string& folder : p.FoldersCreated)
    if (!StaysInside(folder)) return false;
  // Each other archive once, one a mod may change; its kept bytes in its own archive.img.
  std::set<std::string> archives;
  for (const TRestorePoint& part : p.Parts) {
    if (!GameArchiveFault(part.Archive).empty() || IsMainArchive(part.Archive)) return false;
    if (!archives.insert(GameArchiveKey(part.Archive)).second) return false;
    for (const TKeptEntry& e : part.Replaced)
      if (e.Kept != kKeptArchiveName) return false;
  }
  return !p.GameFolder.empty();
}

// A fingerprint field: empty, or XXH3-128's 32 hex digits.
bool Fingerprint(const std::string& field, std::string& value) {
  value = field;
  return field.empty() || IsHex(field, 32);
}

// A "taken from" field: one of its three forms, a point named by its folder's name alone.
bool TakenFrom(const std::string& field, std::string& value) {
  if (!Unescape(field, value)) return false;
  if (value.empty() || value == kTakenFromGame || value == kTakenFromChanged) return true;
  const std::string name = TakenFromPointName(value);
  return !name.empty() && name.find_first_of("\\/") == std::string::npos && name != "." &&
         name != "..";
}

}  // namespace

const char kTakenFromGame[] = "game";
const char kTakenFromChanged[] = "changed";
const char kTakenFromPoint[] = "point:";

std::string TakenFromPointName(const std::string& takenFrom) {
  const std::string prefix = kTakenFromPoint;
  return takenFrom.rfind(prefix, 0) == 0 ? takenFrom.substr(prefix.size()) : "";
}

std::vector<const TRestorePoint*> ArchiveChangesOf(const TRestorePoint& point) {
  std::vector<const TRestorePoint*> archives{&point};
  for (const TRestorePoint& part : point.Parts) archives.push_back(&part);
  return archives;
}

TRestorePoint PartPoint(const TRestorePoint& point, size_t n) {
  TRestorePoint part = point.Parts.at(n);
  part.Folder = point.Folder;
  part.Counter = point.Counter;
  part.Title = point.Title;
  part.Time = point.Time;
  part.GameFolder = point.GameFolder;
  return part;
}

int PartIndexFor(const TRestorePoint& point, const std::string& archive) {
  const std::string key = GameArchiveKey(archive);
  for (size_t n = 0; n < point.Parts.size(); ++n)
    if (GameArchiveKey(point.Parts[n].Archive) == key) return static_cast<int>(n);
  return -1;
}

int64_t AllKeptBytes(const TRestorePoint& point) {
  int64_t bytes = point.KeptBytes;
  for (const TRestorePoint& part : point.Parts) bytes += part.KeptBytes;
  return bytes;
}

namespace {

void ArchiveChangeLines(std::ostringstream& out, const TRestorePoint& p) {
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

void NewArchiveLines(std::ostringstream& out, const TRestorePoint& p) {
  out << "new\tbytes=" << p.NewArchiveBytes << "\tprint=" << p.NewArchiveFingerprint << "\n";
  out << "kept\tbytes=" << p.KeptBytes << "\n";
  if (!p.KeptArchiveFingerprint.empty())
    out << "keptimg\tprint=" << p.KeptArchiveFingerprint << "\n";
}

}  // namespace

std::string RecordText(const TRestorePoint& p) {
  std::ostringstream out;
  out << kTaggedRecordHeading << "\n";
  out << "title\ttext=" << Escape(p.Title) << "\n";
  out << "time\ttext=" << Escape(p.Time) << "\n";
  out << "game\tfolder=" << Escape(p.GameFolder) << "\n";
  const auto level = [](const char* name, const TLevelValue& value) {
    return std::string("\t") + name + "=" + (value.Present ? "1" : "0") + "\t" + name +
           "-bytes=" + Hex(value.Bytes.data(), value.Bytes.size());
  };
  out << "level\tchecked=" << (p.Level.Checked ? 1 : 0) << level("before", p.Level.Before)
      << level("after", p.Level.After) << "\n";
  ArchiveChangeLines(out, p);
  for (const TGameFileChange& f : p.GameFiles)
    out << "gamefile\titem=" << Escape(f.Item) << "\treplaced=" << (f.Replaced ? 1 : 0)
        << "\told-bytes=" << f.OldBytes << "\tnew-bytes=" << f.NewBytes
        << "\tkept=" << Escape(f.Kept) << "\tprint=" << f.NewFingerprint
        << "\tfrom=" << Escape(f.TakenFrom)
        << (f.KeptFingerprint.empty() ? "" : "\t~kept-print=" + f.KeptFingerprint) << "\n";
  for (const std::string& folder : p.FoldersCreated)
    out << "folder\tpath=" << Escape(folder) << "\n";
  NewArchiveLines(out, p);
  // Each other archive after an "archive" line: a reader that does not know it refuses the
  // point rather than take back gta3.img alone.
  for (const TRestorePoint& part : p.Parts) {
    out << "archive\tpath=" << Escape(part.Archive) << "\n";
    ArchiveChangeLines(out, part);
    NewArchiveLines(out, part);
  }
  out << "end\n";
  return out.str();
}

namespace {

// One line of a tagged record: its kind, then NAME=VALUE fields in any order.
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

 private:
  std::map<std::string, std::string> values_;
  std::set<std::string> taken_;
};

TRecordRead ParseTaggedRecord(std::istringstream& in, TRestorePoint& p, std::string& unknown) {
  std::string line;
  bool ended = false, sawNew = false;
  std::set<std::string> once;
  static const std::set<std::string> kOnce = {"title", "time", "game", "level",
                                              "old",   "new",  "kept", "keptimg"};
  // The lines of another archive's part describe that archive alone.
  static const std::set<std::string> kPartKinds = {
      "archive", "old", "order", "replaced", "added", "new", "kept", "keptimg", "end"};
  TRestorePoint* a = &p;  // the archive the lines describe now
  while (std::getline(in, line)) {
    if (ended) return TRecordRead::kDamaged;  // nothing may follow the end
    const std::vector<std::string> fields = SplitAt(line, "\t");
    const std::string& kind = fields[0];
    TTaggedLine f;
    if (kind.empty() || !f.Read(fields)) return TRecordRead::kDamaged;
    if (a != &p && !kPartKinds.count(kind) && kind[0] != kSkippableMark)
      return TRecordRead::kDamaged;
    if (kind == "archive") {
      // Only once the archive before it is whole.
      if (!sawNew) return TRecordRead::kDamaged;
      a = &p.Parts.emplace_back();
      once.clear();
      sawNew = false;
    }
    if (kOnce.count(kind) && !once.insert(kind).second) return TRecordRead::kDamaged;
    // Each field its reader; a missing one is a damaged record.
    bool ok = true;
    const auto text = [&](const char* name, std::string& value) {
      const std::string* field = f.Take(name);
      ok = ok && field && Unescape(*field, value);
    };
    const auto number = [&](const char* name, auto& value) {
      const std::string* field = f.Take(name);
      if constexpr (sizeof value == 4)
        ok = ok && field && Number32(*field, value);
      else
        ok = ok && field && Number(*field, value);
    };
    const auto flag = [&](const char* name, bool& value) {
      const std::string* field = f.Take(name);
      ok = ok && field && (*field == "0" || *field == "1");
      value = field && *field == "1";
    };
    const auto print = [&](const char* name, std::string& value) {
      const std::string* field = f.Take(name);
      ok = ok && field && Fingerprint(*field, value);
    };
    const auto from = [&](const char* name, std::string& value) {
      const std::string* field = f.Take(name);
      ok = ok && field && TakenFrom(*field, value);
    };
    const auto level = [&](const std::string& name, TLevelValue& value) {
      const std::string* present = f.Take(name);
      const std::string* bytes = f.Take(name + "-bytes");
      ok = ok && present && bytes && ParseLevel(*present, *bytes, value);
    };
    if (kind == "end") {
      ended = true;
    } else if (kind == "archive") {
      text("path", a->Archive);
    } else if (kind == "title" || kind == "time") {
      text("text", kind == "title" ? p.Title : p.Time);
    } else if (kind == "game") {
      text("folder", p.GameFolder);
    } else if (kind == "level") {
      flag("checked", p.Level.Checked);
      level("before", p.Level.Before);
      level("after", p.Level.After);
    } else if (kind == "old") {
      number("count", a->OldCount);
      number("first-sector", a->OldFirstSector);
      number("bytes", a->OldArchiveBytes);
      ok = ok && a->OldCount >= 0 && a->OldCount < kEntryCountLimit;
    } else if (kind == "order") {
      TOrderRun& run = a->Order.emplace_back();
      number("old", run.Old);
      number("new", run.New);
      number("count", run.Count);
    } else if (kind == "replaced") {
      TKeptEntry& e = a->Replaced.emplace_back();
      std::vector<uint8_t> entry;
      const std::string* hex = f.Take("entry");
      ok = hex && FromHex(*hex, entry) && entry.size() == sizeof e.Old;
      if (ok) std::memcpy(&e.Old, entry.data(), sizeof e.Old);
      number("index", e.Index);
      number("new-size", e.NewSize);
      text("kept", e.Kept);
      print("print", e.NewFingerprint);
      from("from", e.TakenFrom);
    } else if (kind == "added") {
      TAddedEntry& e = a->Added.emplace_back();
      text("name", e.Name);
      number("size", e.Size);
      print("print", e.NewFingerprint);
    } else if (kind == "gamefile") {
      TGameFileChange& g = p.GameFiles.emplace_back();
      text("item", g.Item);
      flag("replaced", g.Replaced);
      number("old-bytes", g.OldBytes);
      number("new-bytes", g.NewBytes);
      text("kept", g.Kept);
      print("print", g.NewFingerprint);
      from("from", g.TakenFrom);
      // Passed over by earlier readers, which check the kept file by its size alone.
      if (const std::string* kept = f.Take("~kept-print"))
        ok =
            ok && g.Replaced && Fingerprint(*kept, g.KeptFingerprint) && !g.KeptFingerprint.empty();
    } else if (kind == "folder") {
      text("path", p.FoldersCreated.emplace_back());
    } else if (kind == "new") {
      number("bytes", a->NewArchiveBytes);
      const std::string* field = f.Take("print");
      // A point rewritten from one of the first layouts keeps its SHA-256.
      ok = ok && field && (IsHex(*field, 32) || IsHex(*field, 64));
      if (field) a->NewArchiveFingerprint = *field;
      sawNew = true;
    } else if (kind == "kept") {
      number("bytes", a->KeptBytes);
    } else if (kind == "keptimg") {
      const std::string* field = f.Take("print");
      ok = field && IsHex(*field, 32);
      if (field) a->KeptArchiveFingerprint = *field;
    } else if (kind[0] == kSkippableMark) {
      continue;
    } else {
      // Written by a newer Merva: what it means for an undo is not known here.
      unknown = kind;
      return TRecordRead::kNewer;
    }
    if (!ok) return TRecordRead::kDamaged;
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
  if (std::getline(tagged, heading) && heading == kTaggedRecordHeading)
    return ParseTaggedRecord(tagged, p, unknown);
  return ParseUntaggedRecord(text, p) ? TRecordRead::kWhole : TRecordRead::kDamaged;
}

// The layouts before every field was tagged: each line's fields in their places.
bool ParseUntaggedRecord(const std::string& text, TRestorePoint& p) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || (line != kRecordHeading && line != kCp1251RecordHeading))
    return false;
  const bool cp1251 = line == kCp1251RecordHeading;
  bool ended = false, sawNew = false;
  std::set<std::string> once;
  while (std::getline(in, line)) {
    if (ended) return false;  // nothing may follow the end
    const std::vector<std::string> f = SplitAt(line, "\t");
    const std::string& key = f[0];
    const size_t n = f.size();
    // A field of the whole point given twice: a record written by no installation.
    static const std::set<std::string> kOnce = {"title", "time", "game", "level",
                                                "old",   "new",  "kept", "keptimg"};
    if (kOnce.count(key) && !once.insert(key).second) return false;
    bool ok = true;
    if (key == "end" && n == 1) {
      ended = true;
    } else if ((key == "title" || key == "time" || key == "game") && n == 2) {
      ok = Unescape(f[1], key == "title" ? p.Title : key == "time" ? p.Time : p.GameFolder);
    } else if (key == "level" && n == 6) {
      ok = (f[1] == "0" || f[1] == "1") && ParseLevel(f[2], f[3], p.Level.Before) &&
           ParseLevel(f[4], f[5], p.Level.After);
      p.Level.Checked = f[1] == "1";
    } else if (key == "old" && n == 4) {
      ok = Number32(f[1], p.OldCount) && Number32(f[2], p.OldFirstSector) &&
           Number(f[3], p.OldArchiveBytes) && p.OldCount >= 0 && p.OldCount < kEntryCountLimit;
    } else if (key == "order" && n == 4) {
      TOrderRun run;
      ok = Number32(f[1], run.Old) && Number32(f[2], run.New) && Number32(f[3], run.Count);
      p.Order.push_back(run);
    } else if (key == "replaced" && (n == 5 || n == 7)) {
      TKeptEntry e;
      std::vector<uint8_t> entry;
      ok = Number32(f[1], e.Index) && FromHex(f[2], entry) && entry.size() == sizeof e.Old &&
           Number32(f[3], e.NewSize) && Unescape(f[4], e.Kept);
      if (n == 7) ok = ok && Fingerprint(f[5], e.NewFingerprint) && TakenFrom(f[6], e.TakenFrom);
      if (ok) std::memcpy(&e.Old, entry.data(), sizeof e.Old);
      p.Replaced.push_back(e);
    } else if (key == "added" && (n == 3 || n == 4)) {
      TAddedEntry e;
      ok = Unescape(f[1], e.Name) && Number32(f[2], e.Size);
      if (n == 4) ok = ok && Fingerprint(f[3], e.NewFingerprint);
      p.Added.push_back(e);
    } else if (key == "gamefile" && (n == 6 || n == 7 || n == 8)) {
      TGameFileChange g;
      ok = Unescape(f[1], g.Item) && (f[2] == "0" || f[2] == "1") && Number(f[3], g.OldBytes) &&
           Number(f[4], g.NewBytes) && Unescape(f[5], g.Kept);
      if (n >= 7) ok = ok && Fingerprint(f[6], g.NewFingerprint);
      if (n == 8) ok = ok && TakenFrom(f[7], g.TakenFrom);
      g.Replaced = f[2] == "1";
      p.GameFiles.push_back(g);
    } else if (key == "folder" && n == 2) {
      std::string folder;
      ok = Unescape(f[1], folder);
      p.FoldersCreated.push_back(folder);
    } else if (key == "new" && n == 3) {
      // XXH3-128 since restore points are fingerprinted while the archive is written; points
      // of the first layouts hold a SHA-256.
      ok = Number(f[1], p.NewArchiveBytes) && (IsHex(f[2], 32) || IsHex(f[2], 64));
      p.NewArchiveFingerprint = f[2];
      sawNew = true;
    } else if (key == "kept" && n == 2) {
      ok = Number(f[1], p.KeptBytes);
    } else if (key == "keptimg" && n == 2) {
      ok = IsHex(f[1], 32);
      p.KeptArchiveFingerprint = f[1];
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  if (!ended || !sawNew) return false;
  if (cp1251) ConvertFromCp1251(p);
  return PathsStayInside(p);
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
  const auto entries = [&](const TRestorePoint& a, const std::string& keptIn) {
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
  entries(p, kKeptArchiveName);
  for (size_t n = 0; n < p.Parts.size(); ++n)
    entries(p.Parts[n], KeptPartFolder(n) + "\\" + kKeptArchiveName);
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
  out << "\nNew " << kArchiveInGame << ": " << p.NewArchiveBytes << " bytes, "
      << (p.NewArchiveFingerprint.size() == 64 ? "SHA-256 " : "XXH3-128 ")
      << p.NewArchiveFingerprint << "\n";
  for (const TRestorePoint& part : p.Parts)
    out << "New " << GameArchiveText(part.Archive) << ": " << part.NewArchiveBytes
        << " bytes, XXH3-128 " << part.NewArchiveFingerprint << "\n";
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
