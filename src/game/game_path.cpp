#include "game/game_path.h"

#include "core/text.h"
#include "core/windows_names.h"

namespace merva {

std::vector<std::string> GamePathParts(const std::string& path) {
  std::vector<std::string> parts;
  for (const std::string& part : SplitAt(path, "\\/"))
    if (!part.empty() && part != ".") parts.push_back(part);
  return parts;
}

bool GamePathIsInside(const std::string& path) {
  if (path.empty() || (path.size() >= 2 && path[1] == ':') || path[0] == '\\' || path[0] == '/')
    return false;
  for (const std::string& part : SplitAt(path, "\\/"))
    if (part == "..") return false;
  return true;
}

bool IsWrittenGamePath(const std::string& path) {
  if (!GamePathIsInside(path) || path.find(':') != std::string::npos) return false;
  for (const std::string& part : SplitAt(path, "\\/"))
    if (part.empty() || part == ".") return false;
  for (const char c : path)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

std::string GamePathWindowsFault(const std::string& path) {
  for (const std::string& part : GamePathParts(path)) {
    const std::string fault = WindowsNameFault(part);
    if (!fault.empty()) return fault;
  }
  return "";
}

std::string InGameFolder(const std::string& gameFolder, const std::string& relative) {
  return gameFolder + "\\" + relative;
}

}  // namespace merva
