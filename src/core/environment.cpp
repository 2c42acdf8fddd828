#include "core/environment.h"

#include <cstdlib>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

#include "core/file_system.h"
#include "core/wide_text.h"

namespace merva {

namespace {
// A variable's value as a UTF-8 path; empty when unset.
std::string Variable(const char* name) {
#ifdef _WIN32
  const wchar_t* value = _wgetenv(Wide(name).c_str());
  return value ? Utf8FromWide(value) : "";
#else
  const char* value = std::getenv(name);
  return value ? value : "";
#endif
}
}  // namespace

std::string FolderWithoutFinalSeparators(std::string folder) {
  // A drive's root keeps its separator: "C:" alone is the current folder of that drive.
  const auto isRoot = [&folder] {
    return folder.size() == 1 || (folder.size() == 3 && folder[1] == ':');
  };
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/') && !isRoot())
    folder.pop_back();
  return folder;
}

std::string RestoreFolderFromEnvironment() {
  // Made absolute and without a final separator once, here: the points' paths, the entries'
  // keys and the uninstall commands are built from it, and must not change with the spelling
  // or with the folder a later run starts in.
  const std::string chosen = Variable("MERVA_RESTORE_DIR");
  if (!chosen.empty()) return FolderWithoutFinalSeparators(SystemFileSystem().AbsolutePath(chosen));
#ifdef _WIN32
  const std::string local = Variable("LOCALAPPDATA");
  return local.empty() ? "" : local + "\\Merva\\restore";
#else
  // A relative XDG_DATA_HOME is invalid and ignored, as the XDG base directory rules say:
  // the points would land wherever the tool happened to run.
  const std::string data = Variable("XDG_DATA_HOME");
  if (!data.empty() && data[0] == '/') return data + "\\merva\\restore";
  const std::string home = Variable("HOME");
  return home.empty() ? "" : home + "\\.local\\share\\merva\\restore";
#endif
}

std::string ProgramCopyFolderFromEnvironment() {
#ifdef _WIN32
  // A 32-bit program on 64-bit Windows reads "Program Files (x86)" here, as protected as the
  // other.
  const std::string programs = Variable("ProgramFiles");
  return programs.empty() ? "" : FolderWithoutFinalSeparators(programs) + "\\Merva";
#else
  return "";
#endif
}

std::string LocalTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace merva
