#include "tests/support/synthetic_program.h"

#include <cstring>

namespace merva::test {

namespace {

void Put(std::string& file, size_t at, uint32_t value, uint32_t bytes) {
  for (uint32_t i = 0; i < bytes; ++i) file[at + i] = static_cast<char>(value >> (8 * i));
}

}  // namespace

std::string SyntheticProgram(const std::vector<TPoke>& pokes, bool patched) {
  constexpr uint32_t kPe = 0x80, kSectionAt = 0x1000, kRawBytes = 0x460000;
  std::string file(kSectionAt + kRawBytes, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  Put(file, 0x3C, kPe, 4);
  std::memcpy(&file[kPe], "PE\0\0", 4);
  Put(file, kPe + 4, 0x14C, 2);  // i386
  Put(file, kPe + 6, 1, 2);      // one section
  Put(file, kPe + 8, patched ? 0x5EADBEEF : 0x41000000, 4);
  Put(file, kPe + 20, 0xE0, 2);  // the optional header's size
  Put(file, kPe + 22, patched ? 0x0122 : 0x0102, 2);
  const size_t optional = kPe + 24;
  Put(file, optional, 0x10B, 2);
  Put(file, optional + 28, 0x400000, 4);
  Put(file, optional + 64, patched ? 0x1234567 : 0, 4);
  Put(file, optional + 70, patched ? 0x0100 : 0, 2);
  const size_t section = optional + 0xE0;
  std::memcpy(&file[section], ".text\0\0\0", 8);
  Put(file, section + 8, kRawBytes, 4);
  Put(file, section + 12, kSectionAt, 4);
  Put(file, section + 16, kRawBytes, 4);
  Put(file, section + 20, kSectionAt, 4);
  for (const TPoke& poke : pokes) Put(file, poke.Address - 0x400000, poke.Value, poke.Bytes);
  return file;
}

std::string SyntheticUs10Program() {
  return SyntheticProgram({{0x82457C, 0x94BF, 4}});
}

std::string SyntheticSteamProgram() {
  return SyntheticProgram({{0x85EC4A, 0x94BF, 4}});
}

}  // namespace merva::test
