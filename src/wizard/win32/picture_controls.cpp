#include "wizard/win32/picture_controls.h"

#include <string>

#include "wizard/win32/wide.h"

namespace merva {

const wchar_t kPictureClass[] = L"MervaPicture";
const wchar_t kLabelClass[] = L"MervaLabel";

namespace {

void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height, int fromX, int fromY) {
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(dc, x, y, width, height, memory, fromX, fromY, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

// Paints a control through `draw`, which gets the device context and the client rectangle.
template <typename Draw>
void Paint(HWND window, Draw draw) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT size;
  GetClientRect(window, &size);
  draw(dc, size);
  EndPaint(window, &paint);
}

LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<TPictureState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  const int id = GetDlgCtrlID(window);
  switch (message) {
    case WM_PAINT:
      Paint(window, [&](HDC dc, const RECT& size) {
        if (state && state->Bitmap)
          DrawBitmap(dc, state->Bitmap, 0, 0, size.right, size.bottom, 0, 0);
      });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
      SetCapture(window);
      return 0;
    case WM_LBUTTONUP: {
      if (GetCapture() != window) return 0;
      ReleaseCapture();
      RECT size;
      GetClientRect(window, &size);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (PtInRect(&size, at)) PostMessageW(GetParent(window), WM_PICTURE_CLICK, id, 0);
      return 0;
    }
    case WM_MOUSEMOVE:
      SendMessageW(GetParent(window), WM_PICTURE_MOVE, id, 0);
      return 0;
    case WM_SETCURSOR:
      SetCursor(LoadCursorW(nullptr, state && state->HandCursor ? IDC_HAND : IDC_ARROW));
      return TRUE;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<TLabelState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_PAINT:
      Paint(window, [&](HDC dc, RECT size) {
        if (state && state->BlackBackground) {
          FillRect(dc, &size, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        } else if (state && state->Backdrop) {
          DrawBitmap(dc, state->Backdrop, 0, 0, size.right, size.bottom, state->BackdropOrigin.x,
                     state->BackdropOrigin.y);
        }
        const std::wstring text = WindowText(window);
        HGDIOBJ oldFont = state && state->Font ? SelectObject(dc, state->Font) : nullptr;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        const UINT format =
            DT_WORDBREAK | DT_NOPREFIX | (state && state->Centered ? DT_CENTER : DT_LEFT);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &size, format);
        if (oldFont) SelectObject(dc, oldFont);
      });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
      InvalidateRect(window, nullptr, FALSE);
      return result;
    }
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // clicks go to what lies below, as with the framework's labels
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

void RegisterPictureControls(HINSTANCE instance) {
  WNDCLASSW picture{};
  picture.lpfnWndProc = PictureProc;
  picture.hInstance = instance;
  picture.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  picture.lpszClassName = kPictureClass;
  RegisterClassW(&picture);

  WNDCLASSW label{};
  label.lpfnWndProc = LabelProc;
  label.hInstance = instance;
  label.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  label.lpszClassName = kLabelClass;
  RegisterClassW(&label);
}

}  // namespace merva
