#pragma once
// RenderWare files made in a test: chunks of any type, version and size, and texture
// dictionaries for each platform.
#include <cstdint>
#include <string>

namespace merva::test {

// A chunk: its type, its body's size and the library stamp (San Andreas' 3.6.0.3 by default),
// then the body.
std::string RenderWareChunk(uint32_t type, const std::string& body, uint32_t stamp = 0x1803FFFF);
// A model: a clump with its struct.
std::string RenderWareModel(uint32_t stamp = 0x1803FFFF);
// A model of one frame named `frame` ("chassis_dummy" makes it a vehicle's), with or without the
// collision San Andreas keeps in a vehicle's clump.
std::string FramedModel(const std::string& frame, bool collision);
// A texture dictionary of one texture for `platform` (9: San Andreas on PC, 5: Xbox,
// 0x00325350: "PS2\0").
std::string TextureDictionary(uint32_t platform, uint32_t stamp = 0x1803FFFF);

}  // namespace merva::test
