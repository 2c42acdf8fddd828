#pragma once
// Small owners of Windows handles and COM objects, so that every one made is released once.
#include <windows.h>
// IMalloc, after windows.h
#include <objidl.h>

#include <memory>
#include <type_traits>

namespace merva {

// A GDI object (font, brush, bitmap), deleted with the owner.
struct TGdiDeleter {
  void operator()(void* object) const {
    if (object) DeleteObject(static_cast<HGDIOBJ>(object));
  }
};
template <typename Handle>
using TGdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, TGdiDeleter>;

// A COM interface pointer, released with the owner.
template <typename Interface>
class TComPtr {
 public:
  TComPtr() = default;
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  ~TComPtr() {
    if (pointer_) pointer_->Release();
  }
  // For the functions that hand out a new interface through an out parameter.
  Interface** Receive() { return &pointer_; }
  Interface* operator->() const { return pointer_; }
  Interface* Get() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  Interface* pointer_ = nullptr;
};

// Memory from the shell's allocator (item lists, buffers), freed through it with the owner.
class TShellMemory {
 public:
  TShellMemory(IMalloc* allocator, void* memory) : allocator_(allocator), memory_(memory) {}
  TShellMemory(const TShellMemory&) = delete;
  TShellMemory& operator=(const TShellMemory&) = delete;
  ~TShellMemory() {
    if (memory_) allocator_->Free(memory_);
  }
  void* Get() const { return memory_; }

 private:
  IMalloc* allocator_;
  void* memory_;
};

}  // namespace merva
