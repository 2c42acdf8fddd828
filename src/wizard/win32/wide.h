#pragma once
// Conversions at the Windows edge: the portable code keeps code page 1251 bytes, the wide API
// takes UTF-16, so Russian texts show on every system locale.
#include <windows.h>

#include <string>

#include "core/cp1251.h"

namespace merva {

inline std::wstring Wide(const std::string& cp1251) {
  const std::u16string text = Utf16FromCp1251(cp1251);
  return std::wstring(text.begin(), text.end());
}

inline std::wstring WideFromUtf8(const std::string& utf8) {
  return Wide(Cp1251FromUtf8(utf8));
}

// A window's text, read through the wide API.
inline std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

inline std::string Narrow(const std::wstring& wide) {
  return Cp1251FromUtf16(std::u16string(wide.begin(), wide.end()));
}

}  // namespace merva
