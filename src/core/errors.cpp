#include "core/errors.h"

namespace merva {

namespace {

// Each code the program names, in the framework's words (the wizard's boxes) and in the tools'.
struct TIoCodeText {
  int Code;
  const char* Framework;
  const char* Plain;
};

constexpr TIoCodeText kIoCodeTexts[] = {
    {kFileNotFound, "File not found", "file not found"},
    {kPathNotFound, "Path not found", "folder not found"},
    {kAccessDenied, "File access denied", "access denied"},
    {kNotSameDevice, "The file cannot be moved to another drive",
     "the file cannot be moved to another drive"},
    {kSeekOnDevice, "Not a regular file (a pipe or a device)",
     "not a regular file (a pipe or a device)"},
    {kPathTooLong, "The path is too long for the system", "the path is too long for the system"},
    {kLinkRefused, "A link is at that name, which Merva never writes through",
     "a link is at that name, which Merva never writes through"},
    {kSharingViolation, nullptr, "the file is in use by another program"},
    {kLockViolation, nullptr, "the file is in use by another program"},
    {kReadBeyondEnd, "Read beyond end of file",
     "the file ends too early (read beyond end of file)"},
    {kDiskFull, "Disk full", "disk full"},
    {kAlreadyExists, "File already exists", "already exists"},
};

const TIoCodeText* FindIoCode(int code) {
  for (const TIoCodeText& text : kIoCodeTexts)
    if (text.Code == code) return &text;
  return nullptr;
}

}  // namespace

std::string IoErrorText(int code) {
  const TIoCodeText* text = FindIoCode(code);
  if (text && text->Framework) return text->Framework;
  return "I/O error " + std::to_string(code);
}

std::string IoErrorPlainText(int code) {
  const TIoCodeText* text = FindIoCode(code);
  return text ? text->Plain : IoErrorText(code);
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

void RaiseIfBlocked(int code, const std::string& path, const std::string& done) {
  const std::string advice = BlockedFileAdvice(code, path);
  if (advice.empty()) return;
  if (code == kSharingViolation || code == kLockViolation) throw EGameBusy(advice + " " + done);
  throw Exception(advice + " " + done);
}

std::string ErrorReportText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace merva
