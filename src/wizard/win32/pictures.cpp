#include "wizard/win32/pictures.h"

#include "resources/layout.h"
#include "wizard/win32/wide.h"

namespace merva {

namespace {

// Plain pictures drawn with GDI: a dark face and, for the buttons, their lettering.
HBITMAP DrawPlainPicture(int resourceId, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, width, height};
  const COLORREF face = resourceId == kBackgroundPicture ? RGB(24, 26, 30) : RGB(44, 48, 56);
  HBRUSH brush = CreateSolidBrush(face);
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  const wchar_t* text = resourceId == kBackPicture     ? L"\x41D\x430\x437\x430\x434"
                        : resourceId == kNextPicture   ? L"\x414\x430\x43B\x435\x435"
                        : resourceId == kCancelPicture ? L"\x41E\x442\x43C\x435\x43D\x430"
                                                       : L"";
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(230, 230, 230));
  DrawTextW(dc, text, -1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bitmap;
}

}  // namespace

HBITMAP LoadPicture(int resourceId, int width, int height) {
  return DrawPlainPicture(resourceId, width, height);
}

}  // namespace merva
