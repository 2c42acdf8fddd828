#pragma once
// Two window classes of our own: pictures, which paint their bitmap the same whether enabled or
// not and report clicks and mouse moves to the parent, and labels, which paint white text on
// black or over the background picture.
#include <windows.h>

namespace merva {

extern const wchar_t kPictureClass[];
extern const wchar_t kLabelClass[];

// Sent to the parent: wParam = control ID.
constexpr UINT WM_PICTURE_CLICK = WM_APP + 1;
constexpr UINT WM_PICTURE_MOVE = WM_APP + 2;

struct TPictureState {
  HBITMAP Bitmap = nullptr;
  bool HandCursor = false;
};

struct TLabelState {
  HFONT Font = nullptr;
  bool BlackBackground = false;
  bool Centered = false;
  // Drawn behind a transparent label: the background picture and where the label sits on it.
  HBITMAP Backdrop = nullptr;
  POINT BackdropOrigin{0, 0};
};

void RegisterPictureControls(HINSTANCE instance);

}  // namespace merva
