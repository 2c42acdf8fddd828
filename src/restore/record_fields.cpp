#include "restore/record_fields.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "core/text.h"
#include "game/game_archives.h"
#include "game/game_path.h"
#include "restore/restore_names.h"

namespace merva::record {

const char kTaggedHeading[] = "merva restore point 3";
const char kHeading2[] = "merva restore point 2";
const char kHeading1[] = "merva restore point 1";

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

bool ParseLevel(const std::string& present, const std::string& bytes, TLevelValue& value) {
  if (present != "0" && present != "1") return false;
  value.Present = present == "1";
  return FromHex(bytes, value.Bytes);
}

bool PathsStayInside(const TRestorePoint& p) {
  for (const TGameFileChange& f : p.GameFiles) {
    if (!IsWrittenGamePath(f.Item)) return false;
    if (f.Replaced ? f.Kept != KeptGameFileName(f.Item) : !f.Kept.empty()) return false;
  }
  for (const TKeptEntry& e : p.Archives.front().Replaced)
    if (e.Kept != kKeptArchiveName &&
        (!IsOwnKeptEntryFileName(e.Kept) || !IsWrittenGamePath(e.Kept)))
      return false;
  for (const std::string& folder : p.FoldersCreated)
    if (!IsWrittenGamePath(folder)) return false;
  for (const TItemChange& item : p.Items)
    if (!IsWrittenGamePath(item.File)) return false;
  // Each other archive once, one a mod may change; its kept bytes in its own archive.img.
  std::set<std::string> archives;
  for (size_t n = 1; n < p.Archives.size(); ++n) {
    const TArchiveChange& part = p.Archives[n];
    if (!GameArchiveFault(part.Archive).empty() || IsMainArchive(part.Archive)) return false;
    if (!archives.insert(GameArchiveKey(part.Archive)).second) return false;
    for (const TKeptEntry& e : part.Replaced)
      if (e.Kept != kKeptArchiveName) return false;
  }
  return !p.GameFolder.empty();
}

// A fingerprint field: empty, or XXH3-128's 32 hex digits.
bool Fingerprint(const std::string& field, std::string& value) {
  value = field;
  return field.empty() || IsHex(field, 32);
}

bool IsGameIdentity(const std::string& field) {
  return !field.empty() && field.size() <= 64 &&
         field.find_first_not_of("0123456789abcdef.-") == std::string::npos;
}

// A "taken from" field: one of its three forms, a point named by its folder's name alone.
bool TakenFrom(const std::string& field, std::string& value) {
  if (!Unescape(field, value)) return false;
  if (value.empty() || value == kTakenFromGame || value == kTakenFromChanged) return true;
  const std::string name = TakenFromPointName(value);
  return !name.empty() && name.find_first_of("\\/") == std::string::npos && name != "." &&
         name != "..";
}

}  // namespace merva::record
