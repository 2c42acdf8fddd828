#pragma once
// The error classes of the program. Their messages are the texts the user sees in the
// framework's error report, so they follow the old framework's wording exactly.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace merva {

// General exception: ends the current window handler and is reported in a message box.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  const std::string Message() const { return what(); }
};

// Input/output error of a checked block file, carrying the system error code and the file's
// path. The message is the framework's text alone, as the wizard shows it; the tools add the path.
class EInOutError : public Exception {
 public:
  explicit EInOutError(int code, std::string path = "");
  int ErrorCode() const { return code_; }
  const std::string& Path() const { return path_; }

 private:
  int code_;
  std::string path_;
};

// A failure that concerns one file or folder, told with its path: the tools print
// "PATH: TEXT", the wizard the whole message.
class EFileError : public Exception {
 public:
  EFileError(std::string path, std::string text)
      : Exception(path + ": " + text), path_(std::move(path)), text_(std::move(text)) {}
  const std::string& Path() const { return path_; }
  const std::string& Text() const { return text_; }

 private:
  std::string path_, text_;
};

// Text-to-number conversion error.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class ERangeError : public Exception {
 public:
  ERangeError() : Exception("Range check error") {}
};

// A silent error: ends the handler without a report, for failures the user was already told of.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// How a front end is to tell the user of something an operation met: a plain message, the
// error box, or a message after which the program ends. The operations never show anything.
// A warning tells of something the run does all the same, a line at a time.
enum class TNoticeKind { kPlain, kError, kEndProgram, kWarning };

// An error that stops an operation and carries what the user is to be told, and how.
class ENotice : public Exception {
 public:
  ENotice(TNoticeKind kind, const std::string& text) : Exception(text), kind_(kind) {}
  TNoticeKind Kind() const { return kind_; }

 private:
  TNoticeKind kind_;
};

// Where an operation that goes on tells what the user is to be told meanwhile (a wrong version
// mark), in the order it meets it.
class INotices {
 public:
  virtual ~INotices() = default;
  virtual void Notice(TNoticeKind kind, const std::string& text) = 0;
};

// Error codes the framework knows by name; others print as "I/O error %d".
enum TIoCode : int {
  kFileNotFound = 2,
  kPathNotFound = 3,
  kAccessDenied = 5,
  // A move the system does only inside one drive (another drive, another file system).
  kNotSameDevice = 17,
  // A seek on a pipe or a device, which is no file.
  kSeekOnDevice = 132,
  // A path longer than the system takes.
  kPathTooLong = 206,
  // A link (symbolic link, junction) where a file is to be written: never written through.
  kLinkRefused = 1920,
  kSharingViolation = 32,
  kLockViolation = 33,
  kAlreadyExists = 183,
  kReadBeyondEnd = 100,
  kDiskFull = 101,
  // An operation this file system does not offer.
  kNotSupported = 50,
};

// The framework's text for an input/output error code, as the wizard's boxes show it.
std::string IoErrorText(int code);
// The same in the tools' words, for a line that names the file before it.
std::string IoErrorPlainText(int code);

// What a player is told when a file of the game cannot be opened or replaced because another
// program holds it (the game itself, while it runs) or because this user may not write it;
// empty for any other error.
std::string BlockedFileAdvice(int code, const std::string& path);

// The game, or another installation or undo, holds what a run needs (the game's lock, the
// archive, a game file): nothing was changed, and trying again later may work.
class EGameBusy : public Exception {
 public:
  using Exception::Exception;
};

// A run failed after it had changed the game and could not take the change back: the message
// says what state the game is in.
class EHalfDone : public Exception {
 public:
  using Exception::Exception;
};

// Raises the advice of BlockedFileAdvice followed by `done` (what state the game is in), as
// EGameBusy when another program holds the file; returns when there is no advice, so that the
// caller reports the error as it stands.
void RaiseIfBlocked(int code, const std::string& path, const std::string& done);

// The report text: the message, with "." appended when it ends in a character above ".".
std::string ErrorReportText(const std::string& message);

}  // namespace merva
