#pragma once
// Programs of the game made in a test: PE files that carry the marks the real builds of
// San Andreas carry, so that an edition can be tried without the game's own program.
#include <cstdint>
#include <string>
#include <vector>

namespace merva::test {

struct TPoke {
  uint32_t Address;  // as loaded at 0x400000
  uint32_t Value;
  uint32_t Bytes;
};

// A PE program of one section at 0x401000 whose raw bytes lie at the same place in the file,
// with `pokes` written into it; `patched` sets the fields patching tools change (time stamp,
// large-address and DEP flags, checksum).
std::string SyntheticProgram(const std::vector<TPoke>& pokes, bool patched = false);

// The programs of two builds players have.
std::string SyntheticUs10Program();
std::string SyntheticSteamProgram();

}  // namespace merva::test
