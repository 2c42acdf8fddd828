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
