#include "tools/cli_support.h"

#include <cstdio>
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

#include "core/cp1251.h"
#include "core/errors.h"

namespace merva {

std::vector<std::string> ToolArguments(int argc, char** argv) {
  std::vector<std::string> args;
#ifdef _WIN32
  (void)argv;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; i < count; ++i) {
    const std::wstring w(wide[i]);
    args.push_back(Cp1251FromUtf16(std::u16string(w.begin(), w.end())));
  }
  LocalFree(wide);
#else
  for (int i = 1; i < argc; ++i) args.push_back(Cp1251FromUtf8(argv[i]));
#endif
  for (std::string& arg : args)
    for (char& c : arg)
      if (c == '/') c = '\\';
  (void)argc;
  return args;
}

std::string ConsoleText(const std::string& cp1251) {
  return Utf8FromCp1251(cp1251);
}

void ConsoleBoxes::Show(TBoxKind kind, const std::string& text) {
  std::string line = ConsoleText(text);
  for (char& c : line)
    if (c == '\n') c = ' ';
  std::cerr << tool_ << (kind == TBoxKind::kPlain ? ": " : ": error: ") << line << "\n";
  if (kind != TBoxKind::kPlain) shownError_ = true;
}

void ConsoleProgress::SetPosition(int value) {
  position_ = value;
  if (!isatty(fileno(stderr)) || max_ <= min_) return;
  const int percent = static_cast<int>(100LL * (position_ - min_) / (max_ - min_));
  if (percent == shown_) return;
  shown_ = percent;
  drawn_ = true;
  std::fprintf(stderr, "\r%s %3d%%", label_.c_str(), percent);
  std::fflush(stderr);
}

ConsoleProgress::~ConsoleProgress() {
  if (drawn_) std::fprintf(stderr, "\n");
}

int RunTool(const std::string& tool, const std::function<int()>& body) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);  // "\n" stays "\n", so scripts read the same output
#endif
  try {
    return body();
  } catch (const EAbort&) {
    return 1;  // already told
  } catch (const std::exception& error) {
    std::cerr << tool << ": error: " << ConsoleText(error.what()) << "\n";
    return 1;
  }
}

}  // namespace merva
