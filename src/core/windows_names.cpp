#include "core/windows_names.h"

#include "core/text.h"

namespace merva {

namespace {

std::string WithoutFinalDotsAndSpaces(std::string part) {
  while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
  return part;
}

// Cyrillic small letters (U+0430..U+045F, U+0491) as capitals, in UTF-8.
std::string CyrillicUpper(std::string text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    auto lead = static_cast<unsigned char>(text[i]);
    auto next = static_cast<unsigned char>(text[i + 1]);
    if (lead == 0xD0 && next >= 0xB0 && next <= 0xBF) {  // а..п
      text[i + 1] = static_cast<char>(next - 0x20);
    } else if (lead == 0xD1 && next >= 0x80 && next <= 0x8F) {  // р..я
      text[i] = static_cast<char>(0xD0);
      text[i + 1] = static_cast<char>(next + 0x20);
    } else if (lead == 0xD1 && next >= 0x90 && next <= 0x9F) {  // ѐ..џ
      text[i] = static_cast<char>(0xD0);
      text[i + 1] = static_cast<char>(next - 0x10);
    } else if (lead == 0xD2 && next == 0x91) {  // ґ
      text[i + 1] = static_cast<char>(0x90);
    } else {
      continue;
    }
    ++i;
  }
  return text;
}

bool IsDeviceName(const std::string& part) {
  // The device is named by what comes before the first dot, spaces before it dropped.
  std::string stem = AsciiUpper(part.substr(0, part.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices)
    if (stem == device) return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '0' && stem[3] <= '9';
}

}  // namespace

std::string WindowsNameKey(const std::string& part) {
  return CyrillicUpper(AsciiUpper(WithoutFinalDotsAndSpaces(part)));
}

std::string WindowsPathKey(const std::vector<std::string>& parts) {
  std::string key;
  for (const std::string& part : parts) key += (key.empty() ? "" : "\\") + WindowsNameKey(part);
  return key;
}

std::string WindowsNameFault(const std::string& part) {
  for (const char c : part) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) return "Windows does not allow control characters in a name";
    if (std::string("<>:\"|?*").find(c) != std::string::npos)
      return std::string("Windows does not allow the character '") + c + "' in a name";
  }
  if (WithoutFinalDotsAndSpaces(part).empty())
    return "Windows takes no name of dots and spaces alone";
  if (IsDeviceName(part)) return "Windows reserves the name " + part + " for a device";
  return "";
}

bool IsFullPath(const std::string& path) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && path[1] == ':' && separator(path[2]))
    return (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
  return path.size() >= 2 && separator(path[0]) && separator(path[1]);
}

std::string LongPathForm(const std::string& fullPath) {
  if (fullPath.rfind("\\\\?\\", 0) == 0 || fullPath.rfind("\\\\.\\", 0) == 0) return fullPath;
  if (fullPath.size() >= 3 && fullPath[1] == ':' && fullPath[2] == '\\' && IsFullPath(fullPath))
    return "\\\\?\\" + fullPath;
  if (fullPath.size() > 2 && fullPath.rfind("\\\\", 0) == 0)
    return "\\\\?\\UNC\\" + fullPath.substr(2);
  return fullPath;
}

}  // namespace merva
