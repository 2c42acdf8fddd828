#include "core/environment.h"

#include <cstdlib>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

#include "core/cp1251.h"

namespace merva {

namespace {
// A variable's value as a code page 1251 path; empty when unset.
std::string Variable(const char* name) {
#ifdef _WIN32
  const std::wstring wide(name, name + std::char_traits<char>::length(name));
  const wchar_t* value = _wgetenv(wide.c_str());
  if (!value || !*value) return "";
  std::wstring text(value);
  std::string path;
  if (TryCp1251FromUtf16(std::u16string(text.begin(), text.end()), path)) return path;
  // A user name in another script: the folder's short name is plain ASCII.
  wchar_t shortPath[MAX_PATH];
  const DWORD length = GetShortPathNameW(text.c_str(), shortPath, MAX_PATH);
  if (length > 0 && length < MAX_PATH) text.assign(shortPath, length);
  return Cp1251FromUtf16(std::u16string(text.begin(), text.end()));
#else
  const char* value = std::getenv(name);
  return value && *value ? Cp1251FromUtf8(value) : "";
#endif
}
}  // namespace

std::string RestoreFolderFromEnvironment() {
  const std::string chosen = Variable("MERVA_RESTORE_DIR");
  if (!chosen.empty()) return chosen;
#ifdef _WIN32
  const std::string local = Variable("LOCALAPPDATA");
  return local.empty() ? "" : local + "\\Merva\\restore";
#else
  const std::string data = Variable("XDG_DATA_HOME");
  if (!data.empty()) return data + "\\merva\\restore";
  const std::string home = Variable("HOME");
  return home.empty() ? "" : home + "\\.local\\share\\merva\\restore";
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
