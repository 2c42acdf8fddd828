#pragma once
// What the command-line tools share: arguments as UTF-8 paths, console stand-ins for
// the wizard's boxes and progress bar, and one way of reporting failure.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/platform.h"
#include "core/progress.h"

namespace merva {

// The arguments after the program name, as UTF-8 (natively the argument's own bytes), with "/"
// turned into "\" so that a file's own name is what follows the last separator.
std::vector<std::string> ToolArguments(int argc, char** argv);
// A path as the user writes it on this system ("/" on Linux).
std::string DisplayPath(const std::string& path);
// A message as the user reads it on this system: on Linux its absolute paths with "/".
std::string DisplayText(const std::string& message);

// What the operations tell the user becomes lines on standard error.
class TConsoleNotices : public INotices {
 public:
  explicit TConsoleNotices(std::string tool) : tool_(std::move(tool)) {}
  void Notice(TNoticeKind kind, const std::string& text) override;

 private:
  std::string tool_;
};

// Notices kept instead of shown, for a tool that reports the first one in its own words.
class TKeptNotices : public INotices {
 public:
  void Notice(TNoticeKind, const std::string& text) override {
    if (First.empty()) First = text;
  }
  std::string First;
};

// A progress bar drawn on a terminal as a percentage; silent when standard error is no terminal.
class TConsoleProgress : public IProgress {
 public:
  explicit TConsoleProgress(std::string label);
  ~TConsoleProgress() override;

 protected:
  void Show(int64_t total, int64_t done) override;

 private:
  std::string label_;
  bool terminal_;
  int shown_ = -1;
  bool drawn_ = false;
};

// Runs a tool on its arguments (ToolArguments): none, or "--help", prints `usage` (exit 2 and 0),
// anything else goes to `body`. An error becomes one line on standard error, "TOOL: PATH: ..."
// when it concerns a file and "TOOL: error: ..." otherwise, and the exit status `exitCodeOf`
// gives for it (1 unless it says otherwise).
int RunTool(const std::string& tool, const char* usage, int argc, char** argv,
            const std::function<int(const std::vector<std::string>& args)>& body,
            const std::function<int(const std::exception&)>& exitCodeOf = nullptr);

}  // namespace merva
