#include "core/file_hash_along.h"

#include <algorithm>

namespace merva {

namespace {
constexpr int64_t kPart = 1 << 20;
}  // namespace

TFileHashAlong::TFileHashAlong(TBlockFile& file, int64_t size, TUpdate update)
    : file_(file), size_(std::max<int64_t>(size, 0)), update_(std::move(update)) {}

void TFileHashAlong::Take(int64_t at, const char* data, size_t count) {
  const int64_t end = std::min(at + static_cast<int64_t>(count), size_);
  if (end <= hashed_) return;
  if (at > hashed_) ReadUpTo(at);
  const int64_t skip = hashed_ - at;
  update_(data + skip, static_cast<size_t>(end - hashed_));
  hashed_ = end;
}

bool TFileHashAlong::Step() {
  ReadUpTo(std::min(hashed_ + kPart, size_));
  return hashed_ < size_;
}

void TFileHashAlong::Finish() {
  while (Step()) {
  }
}

void TFileHashAlong::ReadUpTo(int64_t position) {
  if (position <= hashed_) return;
  if (buffer_.empty()) buffer_.resize(static_cast<size_t>(kPart));
  // The other reader may be in the middle of its own reading: it finds its place as it left it.
  const int64_t theirs = file_.Position();
  file_.Seek(hashed_);
  while (hashed_ < position) {
    const auto part = static_cast<uint32_t>(std::min(position - hashed_, kPart));
    file_.ReadExact(buffer_.data(), part);
    update_(buffer_.data(), part);
    hashed_ += part;
  }
  file_.Seek(theirs);
}

}  // namespace merva
