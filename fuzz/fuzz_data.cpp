// The game's data files and a mod's lines for them, as hostile input: the first byte chooses the
// kind of file, the rest is the file, then a zero byte, then the mod's lines. Every file reads
// back byte for byte; lines the checks take merge, and the merged file is keyed as it reads back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/errors.h"
#include "data/data_lines.h"
#include "data/mod_lines.h"

using namespace merva;

namespace {

std::string Keys(const std::vector<TDataLine>& lines) {
  std::string keys;
  for (const TDataLine& line : lines)
    keys += line.Section + '\n' + line.Key + '\n' + (line.Opens ? "o" : "") +
            (line.Closes ? "c" : "") + (line.Read ? "r" : "") + '\n';
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const TDataRule& rule = kDataRules[data[0] % std::size(kDataRules)];
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t zero = rest.find('\0');
  const std::string file = rest.substr(0, zero);
  const std::string mod = zero == std::string::npos ? "" : rest.substr(zero + 1);
  std::vector<TDataLine> lines = ReadDataLines(rule, file);
  if (DataBytes(lines) != file) std::abort();
  std::vector<TDataEdit> edits;
  try {
    edits = ReadModLines(rule, "data\\file", mod, "lines.txt");
  } catch (const EFileError&) {
    return 0;  // refused, in words
  }
  try {
    ApplyDataEdits(rule, lines, edits);
  } catch (const EDataFileOpen&) {
    return 0;  // refused, in words
  }
  if (Keys(ReadDataLines(rule, DataBytes(lines))) != Keys(lines)) std::abort();
  return 0;
}
