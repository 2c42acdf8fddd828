#pragma once
// Owners of what the Windows back ends open (files, folder searches, registry keys), so that
// each is closed once on every way out, an early return or an exception alike.
#ifdef _WIN32
#include <windows.h>

namespace merva {

template <typename Traits>
class TOwned {
 public:
  using THandle = typename Traits::THandle;
  TOwned() = default;
  explicit TOwned(THandle handle) : handle_(handle) {}
  ~TOwned() { Reset(); }
  TOwned(const TOwned&) = delete;
  TOwned& operator=(const TOwned&) = delete;

  THandle Get() const { return handle_; }
  bool Valid() const { return handle_ != Traits::Invalid(); }
  // For a call that gives the handle through a pointer; what was held is closed first.
  THandle* Receive() {
    Reset();
    return &handle_;
  }
  // Gives up the handle unclosed, for a caller that closes it and wants to know how that went.
  THandle Release() {
    const THandle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }
  void Reset(THandle handle = Traits::Invalid()) {
    if (Valid()) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  THandle handle_ = Traits::Invalid();
};

struct TFileHandleTraits {
  using THandle = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};
struct TFindHandleTraits {
  using THandle = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { FindClose(handle); }
};
struct TKeyHandleTraits {
  using THandle = HKEY;
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};

using TFileHandleHolder = TOwned<TFileHandleTraits>;
using TFindHandleHolder = TOwned<TFindHandleTraits>;
using TKeyHolder = TOwned<TKeyHandleTraits>;

}  // namespace merva
#endif
