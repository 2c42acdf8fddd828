#pragma once
// The window's side of long work: the bar follows it, and the window's messages are handled
// meanwhile, so that the window repaints and answers while the run works on the window's thread.
#include <algorithm>
#include <chrono>
#include <cstdint>

#include "core/progress.h"
#include "wizard/controls.h"
#include "wizard/wizard_services.h"

namespace merva {

class TWindowProgress : public IProgress {
 public:
  TWindowProgress(TProgressBar& bar, IMessagePump& pump) : bar_(bar), pump_(pump) {}

 protected:
  void Show(int64_t total, int64_t done) override {
    bar_.SetRange(0, Fit(total));
    bar_.SetPosition(Fit(done));
    // Often enough that the window never seems to hang, seldom enough that a run of thousands
    // of small steps does not spend its time on the queue.
    const auto now = Clock::now();
    if (now - handled_ < kInterval) return;
    handled_ = now;
    pump_.ProcessMessages();
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kInterval = std::chrono::milliseconds(20);
  static int Fit(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
  }

  TProgressBar& bar_;
  IMessagePump& pump_;
  Clock::time_point handled_{};  // the first report handles the queue at once
};

}  // namespace merva
