// The restore point's record as this version writes it ("merva restore point 3"): a line per
// thing, its kind first, then NAME=VALUE fields. Each kind of line is one table of its fields,
// and the writer and the reader both go by it, so that a field's name, its form and its
// meaning are written down once.
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "archive/archive_kind.h"
#include "core/text.h"
#include "data/model_ids.h"
#include "restore/record_fields.h"
#include "restore/restore_point.h"

namespace merva {

using namespace record;

namespace {

// One field of a line of things of type T. `Write` gives the value to write, or none to leave
// the field out; `Read` takes the value read (null when the line has none) and says whether it
// is sound.
template <typename T>
struct TField {
  std::string Name;
  std::function<std::optional<std::string>(const T&)> Write;
  std::function<bool(const std::string*, T&)> Read;
};

template <typename T>
struct TLineKind {
  const char* Kind;
  std::vector<TField<T>> Fields;
};

template <typename T>
TField<T> TextField(const char* name, std::string T::*member) {
  return {name, [member](const T& t) { return std::optional(Escape(t.*member)); },
          [member](const std::string* f, T& t) { return f && Unescape(*f, t.*member); }};
}

template <typename T, typename N>
TField<T> CountField(const char* name, N T::*member) {
  return {name, [member](const T& t) { return std::optional(std::to_string(t.*member)); },
          [member](const std::string* f, T& t) {
            if constexpr (sizeof(N) == 4)
              return f && Number32(*f, t.*member);
            else
              return f && Number(*f, t.*member);
          }};
}

template <typename T>
TField<T> FlagField(const char* name, bool T::*member) {
  return {name, [member](const T& t) { return std::optional<std::string>(t.*member ? "1" : "0"); },
          [member](const std::string* f, T& t) {
            t.*member = f && *f == "1";
            return f && (*f == "0" || *f == "1");
          }};
}

template <typename T>
TField<T> PrintField(const char* name, std::string T::*member) {
  return {name, [member](const T& t) { return std::optional(t.*member); },
          [member](const std::string* f, T& t) { return f && Fingerprint(*f, t.*member); }};
}

template <typename T>
TField<T> FromField(const char* name, std::string T::*member) {
  return {name, [member](const T& t) { return std::optional(Escape(t.*member)); },
          [member](const std::string* f, T& t) { return f && TakenFrom(*f, t.*member); }};
}

// A field written only when it says something, as its value as it is; `sound` checks a value
// read.
template <typename T>
TField<T> OptionalField(const char* name, std::string T::*member,
                        bool (*sound)(const std::string&)) {
  return {name,
          [member](const T& t) {
            return (t.*member).empty() ? std::nullopt : std::optional(t.*member);
          },
          [member, sound](const std::string* f, T& t) {
            if (!f) return true;
            t.*member = *f;
            return sound(*f);
          }};
}

// The level check's value before or after the run: whether there was one, and its bytes.
TField<TRestorePoint> LevelPresentField(const char* name, TLevelValue TLevelRecord::*value) {
  return {name,
          [value](const TRestorePoint& p) {
            return std::optional<std::string>((p.Level.*value).Present ? "1" : "0");
          },
          [value](const std::string* f, TRestorePoint& p) {
            (p.Level.*value).Present = f && *f == "1";
            return f && (*f == "0" || *f == "1");
          }};
}

TField<TRestorePoint> LevelBytesField(const char* name, TLevelValue TLevelRecord::*value) {
  return {name,
          [value](const TRestorePoint& p) {
            const TLevelValue& v = p.Level.*value;
            return std::optional(Hex(v.Bytes.data(), v.Bytes.size()));
          },
          [value](const std::string* f, TRestorePoint& p) {
            return f && FromHex(*f, (p.Level.*value).Bytes);
          }};
}

bool IsFingerprint32(const std::string& field) {
  return IsHex(field, 32);
}

// A point rewritten from one of the first layouts keeps its SHA-256.
bool IsNewArchivePrint(const std::string& field) {
  return IsHex(field, 32) || IsHex(field, 64);
}

// The lines of the point itself.
const TLineKind<TRestorePoint> kTitle = {"title", {TextField("text", &TRestorePoint::Title)}};
const TLineKind<TRestorePoint> kTime = {"time", {TextField("text", &TRestorePoint::Time)}};
// "~id": passed over by earlier readers, which know the game by its folder alone.
const TLineKind<TRestorePoint> kGame = {
    "game",
    {TextField("folder", &TRestorePoint::GameFolder),
     OptionalField("~id", &TRestorePoint::GameIdentity, &IsGameIdentity)}};
const TLineKind<TRestorePoint> kLevel = {
    "level",
    {{"checked",
      [](const TRestorePoint& p) {
        return std::optional<std::string>(p.Level.Checked ? "1" : "0");
      },
      [](const std::string* f, TRestorePoint& p) {
        p.Level.Checked = f && *f == "1";
        return f && (*f == "0" || *f == "1");
      }},
     LevelPresentField("before", &TLevelRecord::Before),
     LevelBytesField("before-bytes", &TLevelRecord::Before),
     LevelPresentField("after", &TLevelRecord::After),
     LevelBytesField("after-bytes", &TLevelRecord::After)}};

const TLineKind<TGameFileChange> kGameFile = {
    "gamefile",
    {TextField("item", &TGameFileChange::Item), FlagField("replaced", &TGameFileChange::Replaced),
     CountField("old-bytes", &TGameFileChange::OldBytes),
     CountField("new-bytes", &TGameFileChange::NewBytes), TextField("kept", &TGameFileChange::Kept),
     PrintField("print", &TGameFileChange::NewFingerprint),
     FromField("from", &TGameFileChange::TakenFrom),
     // Passed over by earlier readers, which check the kept file by its size alone.
     OptionalField("~kept-print", &TGameFileChange::KeptFingerprint, &IsFingerprint32)}};

struct TFolderLine {
  std::string Path;
};
const TLineKind<TFolderLine> kFolder = {"folder", {TextField("path", &TFolderLine::Path)}};

const TLineKind<TItemChange> kItem = {
    "item",
    {TextField("kind", &TItemChange::Kind), TextField("file", &TItemChange::File),
     TextField("section", &TItemChange::Section), TextField("key", &TItemChange::Key),
     FlagField("added", &TItemChange::Added), TextField("old", &TItemChange::Old),
     TextField("new", &TItemChange::New), FromField("from", &TItemChange::TakenFrom),
     OptionalField("~auto", &TItemChange::AutomaticId, &IsAutomaticId)}};

// The lines of one archive's change.
const TLineKind<TArchiveChange> kArchive = {"archive",
                                            {TextField("path", &TArchiveChange::Archive)}};
// The archive's kind is left out for the game's own, so that such a record reads as before; one
// of another kind is refused by earlier readers, which would take it back as the game's.
TField<TArchiveChange> ArchiveKindField(const char* name) {
  return {name,
          [](const TArchiveChange& a) {
            return a.Kind == TArchiveKind::kVer2
                       ? std::nullopt
                       : std::optional<std::string>(ArchiveKindOf(a.Kind).Name());
          },
          [](const std::string* f, TArchiveChange& a) {
            if (!f) return true;
            const IArchiveKind* kind = ArchiveKindNamed(*f);
            if (kind) a.Kind = kind->Kind();
            return kind != nullptr;
          }};
}

const TLineKind<TArchiveChange> kOld = {
    "old",
    {CountField("count", &TArchiveChange::OldCount),
     CountField("first-sector", &TArchiveChange::OldFirstSector),
     CountField("bytes", &TArchiveChange::OldArchiveBytes), ArchiveKindField("kind")}};
const TLineKind<TOrderRun> kOrder = {
    "order",
    {CountField("old", &TOrderRun::Old), CountField("new", &TOrderRun::New),
     CountField("count", &TOrderRun::Count)}};
const TLineKind<TKeptEntry> kReplaced = {
    "replaced",
    {CountField("index", &TKeptEntry::Index),
     {"entry", [](const TKeptEntry& e) { return std::optional(Hex(&e.Old, sizeof e.Old)); },
      [](const std::string* f, TKeptEntry& e) {
        std::vector<uint8_t> entry;
        if (!f || !FromHex(*f, entry) || entry.size() != sizeof e.Old) return false;
        std::memcpy(&e.Old, entry.data(), sizeof e.Old);
        return true;
      }},
     CountField("new-size", &TKeptEntry::NewSize),
     TextField("kept", &TKeptEntry::Kept),
     PrintField("print", &TKeptEntry::NewFingerprint),
     FromField("from", &TKeptEntry::TakenFrom)}};
const TLineKind<TAddedEntry> kAdded = {
    "added",
    {TextField("name", &TAddedEntry::Name), CountField("size", &TAddedEntry::Size),
     PrintField("print", &TAddedEntry::NewFingerprint)}};
const TLineKind<TArchiveChange> kNew = {
    "new",
    {CountField("bytes", &TArchiveChange::NewArchiveBytes),
     {"print", [](const TArchiveChange& a) { return std::optional(a.NewArchiveFingerprint); },
      [](const std::string* f, TArchiveChange& a) {
        if (f) a.NewArchiveFingerprint = *f;
        return f && IsNewArchivePrint(*f);
      }}}};
const TLineKind<TArchiveChange> kKept = {"kept", {CountField("bytes", &TArchiveChange::KeptBytes)}};
const TLineKind<TArchiveChange> kKeptImg = {
    "keptimg",
    {{"print", [](const TArchiveChange& a) { return std::optional(a.KeptArchiveFingerprint); },
      [](const std::string* f, TArchiveChange& a) {
        if (f) a.KeptArchiveFingerprint = *f;
        return f && IsHex(*f, 32);
      }}}};

template <typename T>
void WriteLine(std::ostringstream& out, const TLineKind<T>& line, const T& thing) {
  out << line.Kind;
  for (const TField<T>& field : line.Fields)
    if (const std::optional<std::string> value = field.Write(thing))
      out << "\t" << field.Name << "=" << *value;
  out << "\n";
}

void WriteArchiveLines(std::ostringstream& out, const TArchiveChange& a) {
  WriteLine(out, kOld, a);
  for (const TOrderRun& run : a.Order) WriteLine(out, kOrder, run);
  for (const TKeptEntry& e : a.Replaced) WriteLine(out, kReplaced, e);
  for (const TAddedEntry& e : a.Added) WriteLine(out, kAdded, e);
}

void WriteNewArchiveLines(std::ostringstream& out, const TArchiveChange& a) {
  WriteLine(out, kNew, a);
  WriteLine(out, kKept, a);
  if (!a.KeptArchiveFingerprint.empty()) WriteLine(out, kKeptImg, a);
}

}  // namespace

std::string RecordText(const TRestorePoint& p) {
  std::ostringstream out;
  out << kTaggedHeading << "\n";
  WriteLine(out, kTitle, p);
  WriteLine(out, kTime, p);
  WriteLine(out, kGame, p);
  WriteLine(out, kLevel, p);
  WriteArchiveLines(out, p.Archives.front());
  for (const TGameFileChange& f : p.GameFiles) WriteLine(out, kGameFile, f);
  for (const std::string& folder : p.FoldersCreated) WriteLine(out, kFolder, TFolderLine{folder});
  for (const TItemChange& i : p.Items) WriteLine(out, kItem, i);
  WriteNewArchiveLines(out, p.Archives.front());
  // models\gta3.img's lines come first, with no line of their own; each other archive's after
  // an "archive" line: a reader that does not know it refuses the point rather than take back
  // gta3.img alone.
  for (size_t n = 1; n < p.Archives.size(); ++n) {
    WriteLine(out, kArchive, p.Archives[n]);
    WriteArchiveLines(out, p.Archives[n]);
    WriteNewArchiveLines(out, p.Archives[n]);
  }
  out << "end\n";
  return out.str();
}

namespace {

// One line of a tagged record as read: its fields by name, each taken by its line's table. A
// field missing or unreadable makes the line, and so the record, damaged.
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
  template <typename T>
  void Take(const TLineKind<T>& line, T& thing) {
    for (const TField<T>& field : line.Fields) {
      const auto it = values_.find(field.Name);
      const std::string* value = it == values_.end() ? nullptr : &it->second;
      if (value) taken_.insert(field.Name);
      Require(field.Read(value, thing));
    }
  }
  // The first field no table asked for that may not be passed over; empty when there is none.
  std::string Unknown() const {
    for (const auto& [name, value] : values_)
      if (!taken_.count(name) && name[0] != kSkippableMark) return name;
    return "";
  }
  bool Ok() const { return ok_; }
  void Require(bool sound) { ok_ = ok_ && sound; }

 private:
  std::map<std::string, std::string> values_;
  std::set<std::string> taken_;
  bool ok_ = true;
};

// A line of the point's header or of its game files; false for a kind of another reader.
bool ReadPointLine(const std::string& kind, TTaggedLine& f, TRestorePoint& p) {
  if (kind == kTitle.Kind) {
    f.Take(kTitle, p);
  } else if (kind == kTime.Kind) {
    f.Take(kTime, p);
  } else if (kind == kGame.Kind) {
    f.Take(kGame, p);
  } else if (kind == kLevel.Kind) {
    f.Take(kLevel, p);
  } else if (kind == kGameFile.Kind) {
    TGameFileChange& g = p.GameFiles.emplace_back();
    f.Take(kGameFile, g);
    f.Require(g.KeptFingerprint.empty() || g.Replaced);
  } else if (kind == kFolder.Kind) {
    TFolderLine folder;
    f.Take(kFolder, folder);
    p.FoldersCreated.push_back(folder.Path);
  } else if (kind == kItem.Kind) {
    TItemChange& i = p.Items.emplace_back();
    f.Take(kItem, i);
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
  if (kind == kArchive.Kind) {
    f.Take(kArchive, a);
  } else if (kind == kOld.Kind) {
    f.Take(kOld, a);
    f.Require(a.OldCount >= 0 && a.OldCount < kEntryCountLimit);
  } else if (kind == kOrder.Kind) {
    f.Take(kOrder, a.Order.emplace_back());
  } else if (kind == kReplaced.Kind) {
    f.Take(kReplaced, a.Replaced.emplace_back());
  } else if (kind == kAdded.Kind) {
    f.Take(kAdded, a.Added.emplace_back());
  } else if (kind == kNew.Kind) {
    f.Take(kNew, a);
  } else if (kind == kKept.Kind) {
    f.Take(kKept, a);
  } else if (kind == kKeptImg.Kind) {
    f.Take(kKeptImg, a);
  } else {
    return false;
  }
  return true;
}

TRecordRead ParseTaggedRecord(std::istringstream& in, TRestorePoint& p, std::string& unknown) {
  std::string line;
  bool ended = false, sawNew = false;
  std::set<std::string> once;
  static const std::set<std::string> kOnce = {kTitle.Kind, kTime.Kind, kGame.Kind, kLevel.Kind,
                                              kOld.Kind,   kNew.Kind,  kKept.Kind, kKeptImg.Kind};
  // models\gta3.img's lines come first, with the point's own; each other archive's after its
  // "archive" line describe that archive alone.
  p.Archives.assign(1, TArchiveChange{});
  while (std::getline(in, line)) {
    if (ended) return TRecordRead::kDamaged;  // nothing may follow the end
    const std::vector<std::string> fields = SplitAt(line, "\t");
    const std::string& kind = fields[0];
    TTaggedLine f;
    if (kind.empty() || !f.Read(fields)) return TRecordRead::kDamaged;
    if (kind == kArchive.Kind) {
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
      sawNew = sawNew || kind == kNew.Kind;
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

}  // namespace merva
