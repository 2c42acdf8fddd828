#include "core/unicode.h"

namespace merva {

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool NextCodePoint(const std::string& utf8, size_t at, char32_t& c, size_t& length) {
  static constexpr char32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
  const auto b = static_cast<unsigned char>(utf8[at]);
  const int extra = b < 0x80           ? 0
                    : (b >> 5) == 0x06 ? 1
                    : (b >> 4) == 0x0E ? 2
                    : (b >> 3) == 0x1E ? 3
                                       : -1;
  length = 1;
  if (extra < 0) return false;
  c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k <= extra; ++k) {
    if (at + k >= utf8.size() || (static_cast<unsigned char>(utf8[at + k]) & 0xC0) != 0x80)
      return false;
    c = (c << 6) | (static_cast<unsigned char>(utf8[at + k]) & 0x3F);
  }
  // Overlong forms and values past Unicode would let one text have two spellings.
  if (c < kMinimum[extra] || c > 0x10FFFF) return false;
  length = static_cast<size_t>(extra) + 1;
  return true;
}

std::u32string DecodeUtf8(const std::string& utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t c = 0;
    size_t length = 1;
    out += NextCodePoint(utf8, i, c, length) ? c : U'\uFFFD';
    i += length;
  }
  return out;
}

std::u16string Utf16FromUtf8(const std::string& utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (const char32_t c : DecodeUtf8(utf8)) {
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);  // a lone surrogate comes back as itself
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string Utf8FromUtf16(const std::u16string& utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (size_t i = 0; i < utf16.size(); ++i) {
    const char16_t c = utf16[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() &&
                      utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF;
    if (pair) {
      AppendUtf8(0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{utf16[i + 1]} - 0xDC00), out);
      ++i;
    } else {
      AppendUtf8(c, out);
    }
  }
  return out;
}

}  // namespace merva
