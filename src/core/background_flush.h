#pragma once
// A flush of one file on a thread of its own: writing a gigabyte out to a hard disk takes
// seconds, and meanwhile the program writes the rest or tells its progress. The one place that
// starts such a thread, waits for it and carries its failure back.
#include <atomic>
#include <exception>
#include <functional>
#include <thread>

#include "core/block_file.h"
#include "core/progress.h"

namespace merva {

class TBackgroundFlush {
 public:
  TBackgroundFlush() = default;
  // Waits for a flush under way; its failure, not asked for, is dropped: a run that ends here
  // is already failing for another reason.
  ~TBackgroundFlush() { Join(); }
  TBackgroundFlush(const TBackgroundFlush&) = delete;
  TBackgroundFlush& operator=(const TBackgroundFlush&) = delete;

  // Starts flushing `file`, which must stay open until Wait or Join. One flush at a time: a
  // flush still under way is waited for first (without telling progress).
  void Start(TBlockFile& file);
  // True while a flush started is not done.
  bool Running() const { return thread_.joinable() && !done_; }
  // Waits for the flush under way, telling `progress` meanwhile, and raises its failure.
  // `meanwhile`, when given, is other work done in parts while the disk is busy: it runs instead
  // of a pause for as long as it returns true.
  void Wait(IProgress& progress, const std::function<bool()>& meanwhile = nullptr);
  // Waits for it quietly, keeping no failure.
  void Join();

 private:
  std::thread thread_;
  std::atomic<bool> done_{true};
  std::exception_ptr error_;
};

}  // namespace merva
