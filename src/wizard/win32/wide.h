#pragma once
// Conversions at the Windows edge: the portable code keeps UTF-8, the wide API takes UTF-16
// (core/wide_text.h), so every text and every folder shows on every system locale.
#include <windows.h>

#include <string>

#include "core/wide_text.h"

namespace merva {

// A window's text, read through the wide API.
inline std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace merva
