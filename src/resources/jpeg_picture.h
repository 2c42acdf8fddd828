#pragma once
// Decoding the window's JPEG pictures with libjpeg into 24-bit pixels.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace merva {

struct TDecodedPicture {
  int Width = 0;
  int Height = 0;
  bool Progressive = false;
  std::vector<uint8_t> Bgr;  // rows top to bottom, 3 bytes a pixel, blue first
};

// False, with the reason in `error`, for data that is no JPEG picture.
bool DecodeJpeg(const uint8_t* data, size_t size, TDecodedPicture& picture, std::string& error);

}  // namespace merva
