#include "tools/cli_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "core/errors.h"
#include "core/text.h"
#include "core/wide_text.h"

namespace merva {

std::vector<std::string> ToolArguments(int argc, char** argv) {
  std::vector<std::string> args;
#ifdef _WIN32
  // The wide command line: every name the system can hold, whatever its code page.
  (void)argv;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide) {
    for (int i = 1; i < count; ++i) args.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
  }
#else
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
#endif
  for (std::string& arg : args)
    for (char& c : arg)
      if (c == '/') c = '\\';
  (void)argc;
  return args;
}

std::string DisplayPath(const std::string& path) {
  std::string text = path;
#ifndef _WIN32
  for (char& c : text)
    if (c == '\\') c = '/';
#endif
  return text;
}

std::string DisplayText(const std::string& message) {
  std::string text = message;
#ifndef _WIN32
  // The tools hold every absolute path with "\" (ToolArguments, AbsolutePath): from where one
  // starts (a separator that begins a word) to a quote, a colon or the line's end, its
  // separators are shown as "/". Anything else keeps its backslashes: a name a package holds
  // ("..\evil.txt"), a mod's line ("IDE DATA\MAPS\MY.IDE").
  bool inPath = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' || c == ':' || c == '\n') {
      inPath = false;
    } else if (c == '\\' || c == '/') {
      const char before = i == 0 ? ' ' : text[i - 1];
      if (!inPath && (before == ' ' || before == '"' || before == '(' || before == '\''))
        inPath = true;
      if (inPath) text[i] = '/';
    }
  }
#endif
  return text;
}

void TConsoleNotices::Notice(TNoticeKind kind, const std::string& text) {
  if (kind == TNoticeKind::kWarning) {
    // One write for them all: standard error writes each piece at once.
    std::string lines;
    for (const std::string& line : SplitAt(DisplayText(text), "\n"))
      lines += tool_ + ": warning: " + line + "\n";
    std::cerr << lines;
    return;
  }
  std::string line = DisplayText(text);
  for (char& c : line)
    if (c == '\n') c = ' ';
  std::cerr << tool_ << (kind == TNoticeKind::kPlain ? ": " : ": error: ") << line << "\n";
}

TConsoleProgress::TConsoleProgress(std::string label)
    : label_(std::move(label)), terminal_(isatty(fileno(stderr)) != 0) {}

void TConsoleProgress::Show(int64_t total, int64_t done) {
  if (!terminal_ || total <= 0) return;
  const int percent = static_cast<int>(100 * std::clamp<int64_t>(done, 0, total) / total);
  if (percent == shown_) return;
  shown_ = percent;
  drawn_ = true;
  std::fprintf(stderr, "\r%s %3d%%", label_.c_str(), percent);
  std::fflush(stderr);
}

TConsoleProgress::~TConsoleProgress() {
  if (drawn_) std::fprintf(stderr, "\n");
}

#ifdef _WIN32
namespace {
// Texts are UTF-8: a console shows them as such while the tool runs, and gets its own code
// page back afterwards. Output into a file or a pipe is UTF-8 as it is.
class TConsoleInUtf8 {
 public:
  TConsoleInUtf8() : previous_(GetConsoleOutputCP()) {
    if (previous_ != 0) SetConsoleOutputCP(CP_UTF8);
  }
  ~TConsoleInUtf8() {
    if (previous_ != 0) SetConsoleOutputCP(previous_);
  }
  TConsoleInUtf8(const TConsoleInUtf8&) = delete;
  TConsoleInUtf8& operator=(const TConsoleInUtf8&) = delete;

 private:
  UINT previous_;
};
}  // namespace
#endif

int RunTool(const std::string& tool, const char* usage, int argc, char** argv,
            const std::function<int(const std::vector<std::string>& args)>& body,
            const std::function<int(const std::exception&)>& exitCodeOf) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);  // "\n" stays "\n", so scripts read the same output
  const TConsoleInUtf8 console;
#endif
  const auto failed = [&](const std::exception& error) {
    return exitCodeOf ? exitCodeOf(error) : 1;
  };
  try {
    const std::vector<std::string> args = ToolArguments(argc, argv);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
      std::cout << usage;
      return args.empty() ? 2 : 0;
    }
    return body(args);
  } catch (const EAbort& error) {
    return failed(error);  // already told
  } catch (const EFileError& error) {
    std::cerr << tool << ": " << DisplayPath(error.Path()) << ": " << DisplayText(error.Text())
              << "\n";
    return failed(error);
  } catch (const EInOutError& error) {
    if (error.Path().empty())
      std::cerr << tool << ": error: " << DisplayText(error.what()) << "\n";
    else
      std::cerr << tool << ": " << DisplayPath(error.Path()) << ": "
                << IoErrorPlainText(error.ErrorCode()) << "\n";
    return failed(error);
  } catch (const std::exception& error) {
    std::cerr << tool << ": error: " << DisplayText(error.what()) << "\n";
    return failed(error);
  }
}

}  // namespace merva
