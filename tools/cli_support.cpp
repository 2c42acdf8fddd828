#include "tools/cli_support.h"

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
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/errors.h"
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

#ifdef _WIN32
namespace {
std::wstring WidePath(const std::string& path) {
  return Wide(path);
}
// An open handle on the file or folder itself, for asking what it is; none when missing.
HANDLE OpenForQuery(const std::string& path) {
  return CreateFileW(WidePath(path).c_str(), 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}
}  // namespace

PathKind KindOfPath(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
  const HANDLE h = OpenForQuery(path);
  if (h == INVALID_HANDLE_VALUE) return PathKind::kFile;  // in use: still a file
  const DWORD type = GetFileType(h);
  CloseHandle(h);
  return type == FILE_TYPE_DISK ? PathKind::kFile : PathKind::kOther;
}

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION info[2] = {};
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    const HANDLE h = OpenForQuery(*paths[i]);
    if (h == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = GetFileInformationByHandle(h, &info[i]);
    CloseHandle(h);
    if (!ok) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

std::string AbsolutePath(const std::string& path) {
  const std::wstring wide = WidePath(path);
  wchar_t full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH * 4, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 4) return path;
  return Utf8FromWide(std::wstring(full, length));
}
#else
namespace {
bool StatPath(const std::string& path, struct stat& st) {
  std::string native = path;
  for (char& c : native)
    if (c == '\\') c = '/';
  return !native.empty() && ::stat(native.c_str(), &st) == 0;
}
}  // namespace

PathKind KindOfPath(const std::string& path) {
  struct stat st;
  if (!StatPath(path, st)) return PathKind::kMissing;
  if (S_ISDIR(st.st_mode)) return PathKind::kFolder;
  return S_ISREG(st.st_mode) ? PathKind::kFile : PathKind::kOther;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return StatPath(a, sa) && StatPath(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '\\') return path;
  char* here = getcwd(nullptr, 0);
  if (!here) return path;
  std::string folder = here;
  free(here);
  for (char& c : folder)
    if (c == '/') c = '\\';
  std::string relative = path;
  while (relative.rfind(".\\", 0) == 0) relative.erase(0, 2);
  return relative == "." ? folder : folder + "\\" + relative;
}
#endif

void ConsoleNotices::Notice(TNoticeKind kind, const std::string& text) {
  std::string line = text;
  for (char& c : line)
    if (c == '\n') c = ' ';
  std::cerr << tool_ << (kind == TNoticeKind::kPlain ? ": " : ": error: ") << line << "\n";
}

ConsoleProgress::ConsoleProgress(std::string label)
    : label_(std::move(label)), terminal_(isatty(fileno(stderr)) != 0) {}

void ConsoleProgress::SetPosition(int value) {
  position_ = value;
  if (!terminal_ || max_ <= min_) return;
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

#ifdef _WIN32
namespace {
// Texts are UTF-8: a console shows them as such while the tool runs, and gets its own code
// page back afterwards. Output into a file or a pipe is UTF-8 as it is.
class ConsoleInUtf8 {
 public:
  ConsoleInUtf8() : previous_(GetConsoleOutputCP()) {
    if (previous_ != 0) SetConsoleOutputCP(CP_UTF8);
  }
  ~ConsoleInUtf8() {
    if (previous_ != 0) SetConsoleOutputCP(previous_);
  }
  ConsoleInUtf8(const ConsoleInUtf8&) = delete;
  ConsoleInUtf8& operator=(const ConsoleInUtf8&) = delete;

 private:
  UINT previous_;
};
}  // namespace
#endif

int RunTool(const std::string& tool, const char* usage, int argc, char** argv,
            const std::function<int(const std::vector<std::string>& args)>& body) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);  // "\n" stays "\n", so scripts read the same output
  const ConsoleInUtf8 console;
#endif
  try {
    const std::vector<std::string> args = ToolArguments(argc, argv);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
      std::cout << usage;
      return args.empty() ? 2 : 0;
    }
    return body(args);
  } catch (const EAbort&) {
    return 1;  // already told
  } catch (const FileError& error) {
    std::cerr << tool << ": " << error.what() << "\n";
    return 1;
  } catch (const EInOutError& error) {
    if (error.Path().empty())
      std::cerr << tool << ": error: " << error.what() << "\n";
    else
      std::cerr << tool << ": " << DisplayPath(error.Path()) << ": "
                << IoErrorPlainText(error.ErrorCode()) << "\n";
    return 1;
  } catch (const Exception& error) {
    std::cerr << tool << ": error: " << error.what() << "\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << tool << ": error: " << error.what() << "\n";
    return 1;
  }
}

}  // namespace merva
