#pragma once
// The log of an unattended run (/log="FILE"): UTF-8 lines, added to what the file holds, so that
// one log can follow a whole batch of mods. Each line is handed to the system as it is written:
// a run that is killed leaves its log up to that moment.
#include <memory>
#include <string>

#include "core/errors.h"
#include "core/file_system.h"

namespace merva {

class TRunLog : public INotices {
 public:
  // No log when `path` is empty. A log that cannot be opened raises an EFileError.
  TRunLog(IFileSystem& fs, const std::string& path);
  ~TRunLog() override;
  void Line(const std::string& text);
  // What the operations tell the player goes to the log; an error is kept as the run's first.
  // A message after which the wizard ends (a script it cannot read) stops the run: EAbort.
  void Notice(TNoticeKind kind, const std::string& text) override;
  // True once anything was noticed.
  bool Noticed() const { return noticed_; }

 private:
  std::unique_ptr<IFileHandle> file_;
  std::string path_;
  bool noticed_ = false;
};

}  // namespace merva
