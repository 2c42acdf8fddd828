#pragma once
// The mod author's manifest: a small UTF-8 text from which merva-pack makes "scripts.bin" and
// "data.cab". docs/formats.md describes its lines.
#include <string>
#include <vector>

#include "script/script.h"

namespace merva {

// A file to pack: its name in the package and where it lies on disk (UTF-8, "\").
struct TPackSource {
  std::string Name;
  std::string DiskPath;
};

// An archive of the mod's own, named by an IMG line of its gta.dat lines: built from its files
// and installed whole as a game file, so that the undo takes it away with its line.
struct TOwnArchive {
  std::string Path;                // below the game folder: "models\\mymod.img"
  std::vector<TPackSource> Files;  // each under its name in the archive
};

struct TManifest {
  TDATAInst Script;                  // texts and lists in UTF-8, each fitting code page 1251
  std::vector<TPackSource> Sources;  // in list order, each name once
  std::vector<std::string> Warnings;
  // Their sources are the last of Sources, with no DiskPath until the builder makes them.
  std::vector<TOwnArchive> OwnArchives;
};

// Reads the manifest at `path` (UTF-8, "\"); raises Exception with the line at fault.
// `anyLevel` keeps a level that the installer would refuse, for testing that refusal.
TManifest ReadManifest(const std::string& path, bool anyLevel = false);

// Escapes line breaks, so that a text fits on one manifest line, and the inverse.
std::string EscapeText(const std::string& text);
std::string UnescapeText(const std::string& text);

}  // namespace merva
