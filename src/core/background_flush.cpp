#include "core/background_flush.h"

#include <chrono>
#include <utility>

namespace merva {

void TBackgroundFlush::Start(TBlockFile& file) {
  if (thread_.joinable()) thread_.join();
  done_ = false;
  thread_ = std::thread([this, &file] {
    try {
      file.Flush();
    } catch (...) {
      error_ = std::current_exception();
    }
    done_ = true;
  });
}

void TBackgroundFlush::Wait(IProgress& progress, const std::function<bool()>& meanwhile) {
  bool more = static_cast<bool>(meanwhile);
  while (Running()) {
    progress.Wait();
    if (more)
      more = meanwhile();
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (thread_.joinable()) thread_.join();
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

void TBackgroundFlush::Join() {
  if (thread_.joinable()) thread_.join();
  error_ = nullptr;
}

}  // namespace merva
