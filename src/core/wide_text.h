#pragma once
// The one place where the Windows back ends turn the program's UTF-8 into the wide API's
// UTF-16 and back: file names, window texts, the registry, the shell, the command line.
#ifdef _WIN32
#include <string>

#include "core/unicode.h"

namespace merva {

inline std::wstring Wide(const std::string& utf8) {
  const std::u16string text = Utf16FromUtf8(utf8);
  return std::wstring(text.begin(), text.end());
}

inline std::string Utf8FromWide(const std::wstring& wide) {
  return Utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

inline std::string Utf8FromWide(const wchar_t* wide) {
  return Utf8FromWide(std::wstring(wide ? wide : L""));
}

}  // namespace merva
#endif
