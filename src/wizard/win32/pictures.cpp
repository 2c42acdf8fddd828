#include "wizard/win32/pictures.h"

#include <cstring>
#include <string>

#include "resources/jpeg_picture.h"

namespace merva {

namespace {

// A dark face for a picture that cannot be decoded, so the window still works.
HBITMAP PlainFace(int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, width, height};
  HBRUSH brush = CreateSolidBrush(RGB(24, 26, 30));
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bitmap;
}

}  // namespace

HBITMAP LoadPicture(int resourceId, int width, int height) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10));
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const auto* data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  TDecodedPicture picture;
  std::string error;
  if (!data || !DecodeJpeg(data, SizeofResource(nullptr, found), picture, error))
    return PlainFace(width, height);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.Width;
  info.bmiHeader.biHeight = -picture.Height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return PlainFace(width, height);
  const size_t row = static_cast<size_t>(picture.Width) * 3;
  const size_t stride = (row + 3) & ~size_t{3};  // rows of a bitmap are padded to 4 bytes
  for (int y = 0; y < picture.Height; ++y)
    std::memcpy(static_cast<uint8_t*>(bits) + y * stride, &picture.Bgr[y * row], row);
  return bitmap;
}

}  // namespace merva
