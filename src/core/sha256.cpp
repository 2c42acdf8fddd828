#include "core/sha256.h"

#include <gcrypt.h>

#include <stdexcept>
#include <vector>

namespace merva {

namespace {

// libgcrypt wants its version checked once before any use; it picks the processor's SHA
// instructions where there are some, on both builds.
void InitialiseOnce() {
  static const bool initialised = [] {
    if (!gcry_check_version(GCRYPT_VERSION)) throw std::runtime_error("libgcrypt is too old");
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)initialised;
}

}  // namespace

struct TSha256::TState {
  gcry_md_hd_t hash = nullptr;
  ~TState() {
    if (hash) gcry_md_close(hash);
  }
};

TSha256::TSha256() : state_(std::make_unique<TState>()) {
  InitialiseOnce();
  if (gcry_md_open(&state_->hash, GCRY_MD_SHA256, 0) != 0)
    throw std::runtime_error("The system offers no SHA-256");
}

TSha256::~TSha256() = default;

void TSha256::Update(const void* data, size_t size) {
  gcry_md_write(state_->hash, data, size);
}

std::string TSha256::HexDigest() {
  static const char kDigits[] = "0123456789abcdef";
  const unsigned char* digest = gcry_md_read(state_->hash, GCRY_MD_SHA256);
  if (!digest) throw std::runtime_error("SHA-256 failed");
  std::string text;
  for (unsigned i = 0; i < gcry_md_get_algo_dlen(GCRY_MD_SHA256); ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 15];
  }
  return text;
}

std::string FileSha256(TBlockFile& file, const std::function<void()>& betweenParts) {
  constexpr uint32_t kPart = 1 << 20;
  std::vector<unsigned char> buffer(kPart);
  TSha256 hash;
  file.Seek(0);
  for (;;) {
    const uint32_t got = file.ReadCounted(buffer.data(), kPart);
    if (got == 0) break;
    hash.Update(buffer.data(), got);
    if (betweenParts) betweenParts();
  }
  return hash.HexDigest();
}

}  // namespace merva
