#pragma once
// The window's pictures as device-independent bitmaps, by resource ID.
#include <windows.h>

namespace merva {

// The picture of the given resource at the given size; never null.
HBITMAP LoadPicture(int resourceId, int width, int height);

}  // namespace merva
