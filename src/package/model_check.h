#pragma once
// What the game will make of a mod's model, texture dictionary or collision file, judged by its
// name's kind from its headers alone: a file the game cannot read at all crashes it at start,
// and the player cannot tell which mod it came from.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/block_file.h"

namespace merva {

enum class TModelVerdict {
  kNotJudged,  // not a kind judged here (text, .ifp, .ipl, anything unknown)
  kFine,
  kWarn,    // installed all the same: the game may cope, or the author meant it
  kRefuse,  // the game cannot read it: cut short, or made for a console
};

struct TModelCheck {
  TModelVerdict Verdict = TModelVerdict::kNotJudged;
  std::string Why;  // for a warning or a refusal: what is wrong, in words
};

// The bytes at a file position, fewer at the end of the file.
using TReadBytesAt = std::function<std::vector<uint8_t>(int64_t position, uint32_t count)>;

// The check of the file `name` (its kind by its extension) of `size` bytes.
TModelCheck CheckModelFile(const std::string& name, int64_t size, const TReadBytesAt& read);

// The same for the `size` bytes at `start` of an open file: a package's entry, or a file alone.
TModelCheck CheckModelFile(const std::string& name, TBlockFile& file, int64_t start, int64_t size);

// Tells the system which bytes of the file that check reads first, so that the heads of many
// files are fetched together before they are checked one by one.
void WillCheckModelFile(const std::string& name, TBlockFile& file, int64_t start, int64_t size);

// "3.6.0.3" for a RenderWare library ID stamp, decoded from either of its two forms.
std::string RenderWareVersionText(uint32_t stamp);
// The version packed as 0x36003, or 0 when the stamp is none.
uint32_t RenderWareVersion(uint32_t stamp);

}  // namespace merva
