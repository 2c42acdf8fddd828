#include "restore/restore_point.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>

#include "core/cp1251.h"
#include "core/text.h"
#include "game/game_folder.h"
#include "restore/ownership.h"
#include "restore/restore_names.h"

namespace merva {

const char kChangesFileName[] = "changes.txt";
const char kRecordFileName[] = "record.txt";
const char kKeptArchiveName[] = "archive.img";

namespace {

// Records of the first layout held their names and paths in code page 1251; since the second,
// every text is UTF-8. Both are read.
const char kRecordHeading[] = "merva restore point 2";
const char kCp1251RecordHeading[] = "merva restore point 1";

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

std::string LevelFields(const TLevelValue& value) {
  return std::string(value.Present ? "1" : "0") + "\t" +
         Hex(value.Bytes.data(), value.Bytes.size());
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

std::string RecordText(const TRestorePoint& p) {
  std::ostringstream out;
  out << kRecordHeading << "\n";
  out << "title\t" << Escape(p.Title) << "\n";
  out << "time\t" << Escape(p.Time) << "\n";
  out << "game\t" << Escape(p.GameFolder) << "\n";
  out << "level\t" << (p.Level.Checked ? 1 : 0) << "\t" << LevelFields(p.Level.Before) << "\t"
      << LevelFields(p.Level.After) << "\n";
  out << "old\t" << p.OldCount << "\t" << p.OldFirstSector << "\t" << p.OldArchiveBytes << "\n";
  for (const TOrderRun& run : p.Order)
    out << "order\t" << run.Old << "\t" << run.New << "\t" << run.Count << "\n";
  for (const TKeptEntry& e : p.Replaced)
    out << "replaced\t" << e.Index << "\t" << Hex(&e.Old, sizeof e.Old) << "\t" << e.NewSize << "\t"
        << Escape(e.Kept) << "\t" << e.NewFingerprint << "\t" << Escape(e.TakenFrom) << "\n";
  for (const TAddedEntry& e : p.Added)
    out << "added\t" << Escape(e.Name) << "\t" << e.Size << "\t" << e.NewFingerprint << "\n";
  for (const TGameFileChange& f : p.GameFiles)
    out << "gamefile\t" << Escape(f.Item) << "\t" << (f.Replaced ? 1 : 0) << "\t" << f.OldBytes
        << "\t" << f.NewBytes << "\t" << Escape(f.Kept) << "\t" << f.NewFingerprint << "\t"
        << Escape(f.TakenFrom) << "\n";
  for (const std::string& folder : p.FoldersCreated) out << "folder\t" << Escape(folder) << "\n";
  out << "new\t" << p.NewArchiveBytes << "\t" << p.NewArchiveFingerprint << "\n";
  out << "kept\t" << p.KeptBytes << "\n";
  if (!p.KeptArchiveFingerprint.empty()) out << "keptimg\t" << p.KeptArchiveFingerprint << "\n";
  out << "end\n";
  return out.str();
}

bool ParseRecord(const std::string& text, TRestorePoint& p) {
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
  out << "Archive entries added (" << p.Added.size() << "):\n";
  for (const TAddedEntry& e : p.Added)
    out << "  " << e.Name << ", " << SectorBytes(e.Size) << " bytes\n";
  out << "Archive entries replaced (" << p.Replaced.size() << "), old bytes kept in "
      << kKeptArchiveName << " (an IMG archive of their own):\n";
  for (const TKeptEntry& e : p.Replaced)
    out << "  " << EntryName(e.Old) << ": old " << SectorBytes(e.Old.Size) << " bytes, new "
        << SectorBytes(e.NewSize) << " bytes" << from(e.TakenFrom) << "\n";
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
  out << "This restore point keeps " << p.KeptBytes << " bytes of old files.\n\n";
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
