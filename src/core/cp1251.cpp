#include "core/cp1251.h"

#include <array>
#include <cstdint>

#include "core/unicode.h"

namespace merva {

const char kNameOutsideCp1251[] =
    "the name has a character outside code page 1251, which the game's files cannot carry";

namespace {

// Unicode of the bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F in order. The byte
// 0x98 is unassigned and maps to U+0098, as Windows does.
constexpr std::array<char16_t, 64> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char16_t ToUnicode(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte < 0xC0) return kHighHalf[byte - 0x80];
  return static_cast<char16_t>(0x0410 + (byte - 0xC0));
}

bool FromUnicode(char32_t c, char& out) {
  if (c < 0x80) {
    out = static_cast<char>(c);
    return true;
  }
  if (c >= 0x0410 && c <= 0x044F) {
    out = static_cast<char>(0xC0 + (c - 0x0410));
    return true;
  }
  for (size_t i = 0; i < kHighHalf.size(); ++i) {
    if (kHighHalf[i] == c) {
      out = static_cast<char>(0x80 + i);
      return true;
    }
  }
  out = '?';
  return false;
}

}  // namespace

std::string Utf8FromCp1251(const std::string& bytes) {
  std::string out;
  for (char c : bytes) AppendUtf8(ToUnicode(static_cast<unsigned char>(c)), out);
  return out;
}

bool TryCp1251FromUtf8(const std::string& text, std::string& out) {
  out.clear();
  bool all = true;
  for (char32_t c : DecodeUtf8(text)) {
    char byte;
    all = FromUnicode(c, byte) && all;
    out += byte;
  }
  return all;
}

std::string Cp1251FromUtf8(const std::string& text) {
  std::string out;
  TryCp1251FromUtf8(text, out);
  return out;
}

}  // namespace merva
