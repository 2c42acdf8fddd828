#include "core/errors.h"

namespace merva {

std::string IoErrorText(int code) {
  switch (code) {
    case kFileNotFound:
      return "File not found";
    case kPathNotFound:
      return "Path not found";
    case kAccessDenied:
      return "File access denied";
    case kReadBeyondEnd:
      return "Read beyond end of file";
    case kDiskFull:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(code);
  }
}

EInOutError::EInOutError(int code, std::string path)
    : Exception(IoErrorText(code)), code_(code), path_(std::move(path)) {}

std::string BlockedFileAdvice(int code, const std::string& path) {
  if (code == kSharingViolation || code == kLockViolation)
    return "The game or another program is using the file " + path + ". Close it, then try again.";
  if (code == kAccessDenied)
    return "Access to the file " + path +
           " was denied. Run the installer as administrator and make sure the file is not "
           "read-only, then try again.";
  return "";
}

std::string ErrorReportText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace merva
