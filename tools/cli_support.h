#pragma once
// What the command-line tools share: arguments as code page 1251 paths, console stand-ins for
// the wizard's boxes and progress bar, and one way of reporting failure.
#include <functional>
#include <string>
#include <vector>

#include "core/platform.h"

namespace merva {

// The arguments after the program name, as code page 1251 strings, with "/" turned into "\" so
// that a file's own name is what follows the last separator.
std::vector<std::string> ToolArguments(int argc, char** argv);
// A code page 1251 text for the terminal.
std::string ConsoleText(const std::string& cp1251);

// Message boxes become lines on standard error.
class ConsoleBoxes : public IMessageBoxes {
 public:
  explicit ConsoleBoxes(std::string tool) : tool_(std::move(tool)) {}
  void Show(TBoxKind kind, const std::string& text) override;
  bool ShownError() const { return shownError_; }

 private:
  std::string tool_;
  bool shownError_ = false;
};

class NoMessages : public IMessagePump {
 public:
  void ProcessMessages() override {}
};

// A progress bar drawn on a terminal as a percentage; silent when standard error is no terminal.
class ConsoleProgress : public IProgress {
 public:
  explicit ConsoleProgress(std::string label) : label_(std::move(label)) {}
  ~ConsoleProgress() override;
  void SetMin(int value) override { min_ = value; }
  void SetMax(int value) override { max_ = value; }
  void SetPosition(int value) override;
  int Position() const override { return position_; }

 private:
  std::string label_;
  int min_ = 0, max_ = 100, position_ = 0, shown_ = -1;
  bool drawn_ = false;
};

// Runs a tool's body: an error becomes one line "TOOL: error: ..." and exit status 1.
int RunTool(const std::string& tool, const std::function<int()>& body);

}  // namespace merva
