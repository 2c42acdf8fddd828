#pragma once
// UTF-8, the program's one text encoding inside, and UTF-16, the Windows API's. A Windows file
// name may hold a lone surrogate; it travels as its three-byte form (as WTF-8 does), so that a
// name read from the system reaches the system again unchanged.
#include <string>

namespace merva {

std::u16string Utf16FromUtf8(const std::string& utf8);
std::string Utf8FromUtf16(const std::u16string& utf16);

// The code point that starts at byte `at` of a UTF-8 text (a lone surrogate included) and the
// bytes it takes; false for a malformed sequence, whose first byte alone is then `length`.
bool NextCodePoint(const std::string& utf8, size_t at, char32_t& c, size_t& length);
// The code points of a UTF-8 text; a malformed sequence yields U+FFFD for its first byte.
std::u32string DecodeUtf8(const std::string& utf8);
void AppendUtf8(char32_t c, std::string& out);

}  // namespace merva
