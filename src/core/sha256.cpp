#include "core/sha256.h"

#include <stdexcept>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// windows.h first: bcrypt.h relies on its types.
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace merva {

namespace {
std::string Hex(const unsigned char* digest, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 15];
  }
  return text;
}
}  // namespace

#ifdef _WIN32
struct TSha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

TSha256::TSha256() : state_(std::make_unique<State>()) {
  if (BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
      BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0) != 0)
    throw std::runtime_error("The system offers no SHA-256");
}

void TSha256::Update(const void* data, size_t size) {
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  if (BCryptHashData(state_->hash, bytes, static_cast<ULONG>(size), 0) != 0)
    throw std::runtime_error("SHA-256 failed");
}

std::string TSha256::HexDigest() {
  unsigned char digest[32];
  if (BCryptFinishHash(state_->hash, digest, sizeof digest, 0) != 0)
    throw std::runtime_error("SHA-256 failed");
  return Hex(digest, sizeof digest);
}
#else
struct TSha256::State {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ~State() { EVP_MD_CTX_free(context); }
};

TSha256::TSha256() : state_(std::make_unique<State>()) {
  if (!state_->context || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("The system offers no SHA-256");
}

void TSha256::Update(const void* data, size_t size) {
  if (EVP_DigestUpdate(state_->context, data, size) != 1)
    throw std::runtime_error("SHA-256 failed");
}

std::string TSha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(state_->context, digest, &size) != 1)
    throw std::runtime_error("SHA-256 failed");
  return Hex(digest, size);
}
#endif

TSha256::~TSha256() = default;

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
