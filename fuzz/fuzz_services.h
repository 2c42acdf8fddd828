#pragma once
// What every fuzz target shares: the fakes of the unit tests and an in-memory game folder.
#include <cstdint>
#include <string>

#include "core/errors.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"

namespace merva::fuzz {

// Takes a length-prefixed part off the front of the input (two bytes of length).
inline std::string TakePart(const uint8_t*& data, size_t& size) {
  if (size < 2) {
    data += size;
    size = 0;
    return "";
  }
  const size_t wanted = data[0] | (static_cast<size_t>(data[1]) << 8);
  const size_t length = std::min(wanted, size - 2);
  std::string part(reinterpret_cast<const char*>(data + 2), length);
  data += 2 + length;
  size -= 2 + length;
  return part;
}

// A game folder "G" with its models folder, in memory.
inline void MakeGameFolder(TMemoryFileSystem& fs, const std::string& archive) {
  fs.AddDirectory("G");
  fs.AddDirectory("G\\models");
  fs.Put("G\\models\\gta3.img", archive);
}

}  // namespace merva::fuzz
