#include "package/model_check.h"

#include <algorithm>
#include <cstdio>

#include "core/text.h"

namespace merva {

namespace {

// RenderWare's chunk types a mod's files begin with, and the texture's own.
constexpr uint32_t kStructChunk = 0x01;
constexpr uint32_t kClumpChunk = 0x10;
constexpr uint32_t kTextureNativeChunk = 0x15;
constexpr uint32_t kTextureDictionaryChunk = 0x16;
constexpr uint32_t kChunkHeaderBytes = 12;
// A vehicle model: its frames (one named "chassis_dummy"), their names, and the collision San
// Andreas keeps in a vehicle's clump.
constexpr uint32_t kExtensionChunk = 0x03;
constexpr uint32_t kFrameListChunk = 0x0E;
constexpr uint32_t kFrameNameChunk = 0x0253F2FE;
constexpr uint32_t kCollisionChunk = 0x0253F2FA;
constexpr const char kVehicleFrame[] = "chassis_dummy";
// The bytes read at once from a file's start: a texture dictionary's first texture and a model's
// frame list mostly lie within them.
constexpr int64_t kHeadBytes = 512;
// The most children looked at in one chunk: a hostile file cannot make the check long.
constexpr int kChildLimit = 4096;
// RenderWare 3.6.0.3, San Andreas' own.
constexpr uint32_t kGameVersion = 0x36003;
// A texture's platform: Xbox, and the PlayStation 2's FourCC "PS2\0".
constexpr uint32_t kXboxPlatform = 5;
constexpr uint32_t kPs2Platform = 0x00325350;

struct TChunk {
  uint32_t Type = 0, Size = 0, Stamp = 0;
};

uint32_t Dword(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

bool ReadChunk(const TReadBytesAt& read, int64_t at, TChunk& chunk) {
  const std::vector<uint8_t> head = read(at, kChunkHeaderBytes);
  if (head.size() < kChunkHeaderBytes) return false;
  chunk = {Dword(head, 0), Dword(head, 4), Dword(head, 8)};
  return true;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// What a file of one RenderWare kind starts with, and how it is named.
struct TRenderWareKind {
  const char* Extension;
  uint32_t Chunk;
  const char* What;
};
constexpr TRenderWareKind kKinds[] = {
    {".dff", kClumpChunk, "a model"},
    {".txd", kTextureDictionaryChunk, "a texture dictionary"},
};

const char* WhatStartsWith(uint32_t chunk) {
  for (const TRenderWareKind& kind : kKinds)
    if (kind.Chunk == chunk) return kind.What;
  return nullptr;
}

// Calls `visit` with each child chunk of the body [begin, end) and where it starts, until it
// answers true; false when none did.
template <typename TVisit>
bool AnyChild(const TReadBytesAt& read, int64_t begin, int64_t end, TVisit visit) {
  int64_t at = begin;
  for (int i = 0; i < kChildLimit && at + kChunkHeaderBytes <= end; ++i) {
    TChunk child;
    if (!ReadChunk(read, at, child)) return false;
    if (visit(child, at)) return true;
    at += kChunkHeaderBytes + int64_t{child.Size};
  }
  return false;
}

// True for a model whose frames name a vehicle's chassis.
bool IsVehicleModel(const TReadBytesAt& read, int64_t clumpEnd) {
  return AnyChild(read, kChunkHeaderBytes, clumpEnd, [&](const TChunk& frames, int64_t at) {
    if (frames.Type != kFrameListChunk) return false;
    const int64_t end = at + kChunkHeaderBytes + frames.Size;
    return AnyChild(read, at + kChunkHeaderBytes, end, [&](const TChunk& extension, int64_t at) {
      if (extension.Type != kExtensionChunk) return false;
      const int64_t end = at + kChunkHeaderBytes + extension.Size;
      return AnyChild(read, at + kChunkHeaderBytes, end, [&](const TChunk& name, int64_t at) {
        if (name.Type != kFrameNameChunk || name.Size != sizeof kVehicleFrame - 1) return false;
        const std::vector<uint8_t> text = read(at + kChunkHeaderBytes, name.Size);
        return AsciiLower(std::string(text.begin(), text.end())) == kVehicleFrame;
      });
    });
  });
}

// True when the clump's own extension holds the collision.
bool HasCollision(const TReadBytesAt& read, int64_t clumpEnd) {
  return AnyChild(read, kChunkHeaderBytes, clumpEnd, [&](const TChunk& extension, int64_t at) {
    if (extension.Type != kExtensionChunk) return false;
    const int64_t end = at + kChunkHeaderBytes + extension.Size;
    return AnyChild(read, at + kChunkHeaderBytes, end,
                    [](const TChunk& chunk, int64_t) { return chunk.Type == kCollisionChunk; });
  });
}

// A texture dictionary made for a console: the platform of its first texture.
TModelCheck CheckTexturePlatform(const TReadBytesAt& read, int64_t size) {
  TChunk header, texture, data;
  if (!ReadChunk(read, kChunkHeaderBytes, header) || header.Type != kStructChunk) return {};
  const int64_t textureAt = 2 * int64_t{kChunkHeaderBytes} + header.Size;
  if (textureAt >= size || !ReadChunk(read, textureAt, texture) ||
      texture.Type != kTextureNativeChunk ||
      !ReadChunk(read, textureAt + kChunkHeaderBytes, data) || data.Type != kStructChunk)
    return {};
  const std::vector<uint8_t> platform = read(textureAt + 2 * kChunkHeaderBytes, 4);
  if (platform.size() < 4) return {};
  if (Dword(platform, 0) == kXboxPlatform)
    return {TModelVerdict::kRefuse,
            "its textures are the Xbox's, which the game on PC cannot read"};
  if (Dword(platform, 0) == kPs2Platform)
    return {TModelVerdict::kRefuse,
            "its textures are the PlayStation 2's, which the game on PC cannot read"};
  return {};
}

TModelCheck CheckRenderWare(const TRenderWareKind& kind, int64_t size, const TReadBytesAt& read) {
  TChunk top;
  if (!ReadChunk(read, 0, top)) return {TModelVerdict::kWarn, "it is too short to be RenderWare"};
  if (top.Type != kind.Chunk) {
    const char* other = WhatStartsWith(top.Type);
    return {TModelVerdict::kWarn,
            std::string("it is not ") + kind.What + " the game can read: it is " +
                (other ? other : "no RenderWare file (it starts with " + Hex(top.Type) + ")")};
  }
  const int64_t ends = int64_t{kChunkHeaderBytes} + top.Size;
  if (ends > size)
    return {TModelVerdict::kRefuse,
            "it is cut short: its data runs " + std::to_string(ends - size) +
                " bytes past the end of the file (" + std::to_string(size) + " bytes)"};
  if (kind.Chunk == kTextureDictionaryChunk) {
    const TModelCheck platform = CheckTexturePlatform(read, size);
    if (platform.Verdict != TModelVerdict::kNotJudged) return platform;
  }
  if (kind.Chunk == kClumpChunk && IsVehicleModel(read, ends) && !HasCollision(read, ends))
    return {TModelVerdict::kWarn,
            "it is a vehicle model without its collision (chunk 0x0253F2FA), which the game "
            "needs for a vehicle"};
  const uint32_t version = RenderWareVersion(top.Stamp);
  if (version != kGameVersion)
    return {TModelVerdict::kWarn,
            "it was made with RenderWare " + RenderWareVersionText(top.Stamp) +
                (version < kGameVersion ? ", older than the game's 3.6.0.3 (GTA III's and Vice "
                                          "City's are older)"
                                        : ", newer than the game's 3.6.0.3")};
  return {TModelVerdict::kFine, ""};
}

TModelCheck CheckCollision(int64_t size, const TReadBytesAt& read) {
  const std::vector<uint8_t> head = read(0, 8);
  const std::string mark(head.begin(), head.begin() + std::min<size_t>(head.size(), 4));
  if (mark != "COLL" && mark != "COL2" && mark != "COL3" && mark != "COL4")
    return {TModelVerdict::kWarn,
            "it is not collision data the game can read: it does not start with COLL, COL2, COL3 "
            "or COL4"};
  if (head.size() < 8)
    return {TModelVerdict::kRefuse, "it is cut short: it ends inside its first header"};
  const int64_t ends = 8 + int64_t{Dword(head, 4)};
  if (ends > size)
    return {TModelVerdict::kRefuse,
            "it is cut short: its first model runs " + std::to_string(ends - size) +
                " bytes past the end of the file (" + std::to_string(size) + " bytes)"};
  return {TModelVerdict::kFine, ""};
}

}  // namespace

uint32_t RenderWareVersion(uint32_t stamp) {
  // Since 3.2 the stamp packs the version and a build number; before, it was the version alone,
  // 0x00000VJN for V.J.N.
  if (stamp & 0xFFFF0000) return (((stamp >> 14) & 0x3FF00) + 0x30000) | ((stamp >> 16) & 0x3F);
  return stamp << 8;
}

std::string RenderWareVersionText(uint32_t stamp) {
  const uint32_t v = RenderWareVersion(stamp);
  return std::to_string(v >> 16 & 0xF) + "." + std::to_string(v >> 12 & 0xF) + "." +
         std::to_string(v >> 8 & 0xF) + "." + std::to_string(v & 0xFF);
}

TModelCheck CheckModelFile(const std::string& name, int64_t size, const TReadBytesAt& read) {
  const std::string lower = AsciiLower(name);
  if (EndsWith(lower, ".col")) return CheckCollision(size, read);
  for (const TRenderWareKind& kind : kKinds)
    if (EndsWith(lower, kind.Extension)) return CheckRenderWare(kind, size, read);
  return {};
}

void WillCheckModelFile(const std::string& name, TBlockFile& file, int64_t start, int64_t size) {
  const std::string lower = AsciiLower(name);
  bool checked = EndsWith(lower, ".col");
  for (const TRenderWareKind& kind : kKinds) checked = checked || EndsWith(lower, kind.Extension);
  if (checked && size > 0) file.WillRead(start, std::min(size, kHeadBytes));
}

TModelCheck CheckModelFile(const std::string& name, TBlockFile& file, int64_t start, int64_t size) {
  // Most checks read the first few headers alone: one read of the file's head serves them, so a
  // mod of thousands of files costs a read each.
  std::vector<uint8_t> head;
  bool headRead = false;
  const auto readAt = [&](int64_t at, uint32_t count) {
    std::vector<uint8_t> bytes;
    if (at < 0 || at >= size) return bytes;
    const int64_t wanted = std::min<int64_t>(count, size - at);
    if (!headRead) {
      head.resize(static_cast<size_t>(std::min<int64_t>(size, kHeadBytes)));
      head.resize(file.ReadCountedAt(start, head.data(), static_cast<uint32_t>(head.size())));
      headRead = true;
    }
    if (at + wanted <= static_cast<int64_t>(head.size()))
      return std::vector<uint8_t>(head.begin() + at, head.begin() + at + wanted);
    bytes.resize(static_cast<size_t>(wanted));
    bytes.resize(file.ReadCountedAt(start + at, bytes.data(), static_cast<uint32_t>(bytes.size())));
    return bytes;
  };
  return CheckModelFile(name, size, readAt);
}

}  // namespace merva
