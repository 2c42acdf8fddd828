#pragma once
// How long work tells how far it has got: a stretch of `total` steps, `done` of them finished.
// The front end decides what that means: the wizard moves its bar and keeps its window
// answering, the tools draw a bar on the terminal. Work that waits (a flush, a fingerprint)
// reports again without a step, so that the front end is never left unanswered.
#include <cstdint>

namespace merva {

class IProgress {
 public:
  virtual ~IProgress() = default;
  // A new stretch of `total` steps begins, none done.
  void Start(int64_t total) {
    total_ = total;
    done_ = 0;
    Show(total_, done_);
  }
  // One more step is done.
  void Step() { Show(total_, ++done_); }
  // Still working on the same step.
  void Wait() { Show(total_, done_); }

 protected:
  // Called often (once per step, and between parts of long work): cheap when nothing changed.
  virtual void Show(int64_t total, int64_t done) = 0;

 private:
  int64_t total_ = 0, done_ = 0;
};

// For work whose caller shows nothing.
class TNoProgress : public IProgress {
 protected:
  void Show(int64_t, int64_t) override {}
};

}  // namespace merva
