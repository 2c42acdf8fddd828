#include "tests/support/renderware_files.h"

namespace merva::test {

namespace {

std::string Dword(uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

}  // namespace

std::string RenderWareChunk(uint32_t type, const std::string& body, uint32_t stamp) {
  return Dword(type) + Dword(static_cast<uint32_t>(body.size())) + Dword(stamp) + body;
}

std::string RenderWareModel(uint32_t stamp) {
  return RenderWareChunk(0x10, RenderWareChunk(0x01, std::string(12, 'c'), stamp), stamp);
}

std::string FramedModel(const std::string& frame, bool collision) {
  const std::string frames =
      RenderWareChunk(0x0E, RenderWareChunk(0x01, std::string(60, 'f')) +
                                RenderWareChunk(0x03, RenderWareChunk(0x0253F2FE, frame)));
  const std::string extension =
      RenderWareChunk(0x03, collision ? RenderWareChunk(0x0253F2FA, "COL3 bounds") : "");
  return RenderWareChunk(0x10, RenderWareChunk(0x01, std::string(12, 'c')) + frames +
                                   RenderWareChunk(0x1A, std::string(40, 'g')) + extension);
}

std::string TextureDictionary(uint32_t platform, uint32_t stamp) {
  return RenderWareChunk(
      0x16,
      RenderWareChunk(0x01, std::string("\x01\x00\x02\x00", 4), stamp) +
          RenderWareChunk(
              0x15, RenderWareChunk(0x01, Dword(platform) + std::string(80, 't'), stamp), stamp),
      stamp);
}

}  // namespace merva::test
