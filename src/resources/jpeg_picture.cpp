#include "resources/jpeg_picture.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>

namespace merva {

namespace {

// libjpeg reports errors through a callback that must not return; jump back to the caller.
struct TErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info) {
  auto* manager = reinterpret_cast<TErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, TDecodedPicture& picture, std::string& error) {
  jpeg_decompress_struct info;
  TErrorManager manager;
  info.err = jpeg_std_error(&manager.base);
  manager.base.error_exit = OnError;
  if (setjmp(manager.jump)) {
    error = manager.message;
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  picture.Width = static_cast<int>(info.output_width);
  picture.Height = static_cast<int>(info.output_height);
  picture.Progressive = info.progressive_mode;
  picture.Bgr.assign(static_cast<size_t>(picture.Width) * picture.Height * 3, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = &picture.Bgr[static_cast<size_t>(info.output_scanline) * picture.Width * 3];
    jpeg_read_scanlines(&info, &row, 1);
    for (int x = 0; x < picture.Width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace merva
