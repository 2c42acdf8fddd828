#include "wizard/run_log.h"

#include "core/environment.h"
#include "core/text.h"

namespace merva {

TRunLog::TRunLog(IFileSystem& fs, const std::string& path) : path_(path) {
  if (path.empty()) return;
  // A link is the player's own choice of where the log goes, as any path they type.
  int code = fs.Open(path, TOpenAccess::kReadWrite, file_);
  if (code == kFileNotFound) code = fs.Create(path, file_);
  int64_t end = 0;
  if (code == 0) code = file_->Size(end);
  if (code == 0) code = file_->Seek(end);
  if (code != 0) {
    file_.reset();
    throw EFileError(path, "unable to write the log (" + IoErrorPlainText(code) + ")");
  }
}

TRunLog::~TRunLog() {
  if (file_) file_->Close();
}

void TRunLog::Line(const std::string& text) {
  if (!file_) return;
  // One line each, so that a batch's log reads and searches line by line: a script's texts may
  // hold line breaks of their own.
  std::string line = LocalTimeText() + "  ";
  for (const char c : text) {
    if (c == '\n')
      line += ' ';
    else if (c != '\r')
      line += c;
  }
  line += "\r\n";
  uint32_t done = 0;
  // A log that stops taking lines (a full disk) must not stop the run it tells of.
  file_->Write(line.data(), static_cast<uint32_t>(line.size()), done);
}

void TRunLog::Notice(TNoticeKind kind, const std::string& text) {
  if (kind == TNoticeKind::kWarning) {
    for (const std::string& line : SplitAt(text, "\n")) Line("Warning: " + line);
    return;
  }
  noticed_ = true;
  Line((kind == TNoticeKind::kPlain ? "Notice: " : "Error: ") + text);
  if (kind == TNoticeKind::kEndProgram) throw EAbort();  // told above
}

}  // namespace merva
