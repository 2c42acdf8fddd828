#pragma once
// What the game loads of models when it starts, read as it reads its data files: the IDE files
// that data\default.dat and then data\gta.dat name (an IDE file that lies in the folder but is
// named by neither is never loaded), the model IDs and models they define; the IMG archives and
// the IPL files that place things, as gta.dat names them; the handling names handling.cfg holds.
// Automatic IDs are chosen from it, and the game's limits counted against it.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace merva {

// Of the IDE files the game loads, and of gta.dat and handling.cfg.
struct TGameModels {
  std::set<int32_t> Ids;                  // every model ID they define
  std::map<std::string, int64_t> Models;  // the models they define, by section ("cars")
  int64_t ImgArchives = 0;                // IMG lines of gta.dat
  int64_t PlacingIpls = 0;                // IPL files named that place things (inst lines)
  std::set<std::string> HandlingNames;    // the cars' identifiers in data\handling.cfg
};

// The model IDs the IDE file of `bytes` defines, loaded by the game or not.
std::set<int32_t> IdsDefinedIn(const std::string& bytes);

// Reads them; a file the game names but the folder lacks is passed over, as nothing of it can
// be counted. Raises EInOutError for one that cannot be read.
TGameModels ReadGameModels(IFileSystem& fs, const std::string& gameFolder);

}  // namespace merva
