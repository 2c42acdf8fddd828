#include <cstring>
#include <set>
#include <sstream>

#include "core/cp1251.h"
#include "core/text.h"
#include "restore/record_fields.h"
#include "restore/restore_point.h"

// The frozen reader of the layouts before every field was tagged (1, in code page 1251, and 2,
// in UTF-8): each line's fields in their places. Points of those layouts still read and undo by
// it; nothing writes them any more, so it does not change.
namespace merva {

using namespace record;

namespace {

void ConvertFromCp1251(TRestorePoint& p) {
  for (std::string* text : {&p.Title, &p.Time, &p.GameFolder}) *text = Utf8FromCp1251(*text);
  for (TKeptEntry& e : p.Archives.front().Replaced) e.Kept = Utf8FromCp1251(e.Kept);
  for (TAddedEntry& e : p.Archives.front().Added) e.Name = Utf8FromCp1251(e.Name);
  for (TGameFileChange& f : p.GameFiles) {
    f.Item = Utf8FromCp1251(f.Item);
    f.Kept = Utf8FromCp1251(f.Kept);
  }
  for (std::string& folder : p.FoldersCreated) folder = Utf8FromCp1251(folder);
}

// Names and texts may hold any byte: those that would break a line or a field are written as

bool ReadUntaggedReplaced(const std::vector<std::string>& f, TKeptEntry& e) {
  std::vector<uint8_t> entry;
  bool ok = Number32(f[1], e.Index) && FromHex(f[2], entry) && entry.size() == sizeof e.Old &&
            Number32(f[3], e.NewSize) && Unescape(f[4], e.Kept);
  if (f.size() == 7) ok = ok && Fingerprint(f[5], e.NewFingerprint) && TakenFrom(f[6], e.TakenFrom);
  if (ok) std::memcpy(&e.Old, entry.data(), sizeof e.Old);
  return ok;
}

bool ReadUntaggedGameFile(const std::vector<std::string>& f, TGameFileChange& g) {
  bool ok = Unescape(f[1], g.Item) && (f[2] == "0" || f[2] == "1") && Number(f[3], g.OldBytes) &&
            Number(f[4], g.NewBytes) && Unescape(f[5], g.Kept);
  if (f.size() >= 7) ok = ok && Fingerprint(f[6], g.NewFingerprint);
  if (f.size() == 8) ok = ok && TakenFrom(f[7], g.TakenFrom);
  g.Replaced = f[2] == "1";
  return ok;
}

// One line of the layouts before every field was tagged: its fields in their places. False for
// a line no installation wrote.
bool ReadUntaggedLine(const std::vector<std::string>& f, TRestorePoint& p, bool& ended,
                      bool& sawNew) {
  TArchiveChange& a = p.Archives.front();
  const std::string& key = f[0];
  const size_t n = f.size();
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
    ok = Number32(f[1], a.OldCount) && Number32(f[2], a.OldFirstSector) &&
         Number(f[3], a.OldArchiveBytes) && a.OldCount >= 0 && a.OldCount < kEntryCountLimit;
  } else if (key == "order" && n == 4) {
    TOrderRun run;
    ok = Number32(f[1], run.Old) && Number32(f[2], run.New) && Number32(f[3], run.Count);
    a.Order.push_back(run);
  } else if (key == "replaced" && (n == 5 || n == 7)) {
    ok = ReadUntaggedReplaced(f, a.Replaced.emplace_back());
  } else if (key == "added" && (n == 3 || n == 4)) {
    TAddedEntry e;
    ok = Unescape(f[1], e.Name) && Number32(f[2], e.Size);
    if (n == 4) ok = ok && Fingerprint(f[3], e.NewFingerprint);
    a.Added.push_back(e);
  } else if (key == "gamefile" && (n == 6 || n == 7 || n == 8)) {
    ok = ReadUntaggedGameFile(f, p.GameFiles.emplace_back());
  } else if (key == "folder" && n == 2) {
    std::string folder;
    ok = Unescape(f[1], folder);
    p.FoldersCreated.push_back(folder);
  } else if (key == "new" && n == 3) {
    // XXH3-128 since restore points are fingerprinted while the archive is written; points
    // of the first layouts hold a SHA-256.
    ok = Number(f[1], a.NewArchiveBytes) && (IsHex(f[2], 32) || IsHex(f[2], 64));
    a.NewArchiveFingerprint = f[2];
    sawNew = true;
  } else if (key == "kept" && n == 2) {
    ok = Number(f[1], a.KeptBytes);
  } else if (key == "keptimg" && n == 2) {
    ok = IsHex(f[1], 32);
    a.KeptArchiveFingerprint = f[1];
  } else {
    ok = false;
  }
  return ok;
}

}  // namespace

// The layouts before every field was tagged: each line's fields in their places.
bool ParseUntaggedRecord(const std::string& text, TRestorePoint& p) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || (line != kHeading2 && line != kHeading1)) return false;
  const bool cp1251 = line == kHeading1;
  bool ended = false, sawNew = false;
  p.Archives.assign(1, TArchiveChange{});
  std::set<std::string> once;
  while (std::getline(in, line)) {
    if (ended) return false;  // nothing may follow the end
    const std::vector<std::string> f = SplitAt(line, "\t");
    const std::string& key = f[0];
    // A field of the whole point given twice: a record written by no installation.
    static const std::set<std::string> kOnce = {"title", "time", "game", "level",
                                                "old",   "new",  "kept", "keptimg"};
    if (kOnce.count(key) && !once.insert(key).second) return false;
    if (!ReadUntaggedLine(f, p, ended, sawNew)) return false;
  }
  if (!ended || !sawNew) return false;
  if (cp1251) ConvertFromCp1251(p);
  return PathsStayInside(p);
}

}  // namespace merva
