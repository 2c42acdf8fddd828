#include "core/text.h"

namespace merva {

std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string ExtractFileNamePart(const std::string& path) {
  const auto last = path.find_last_of("\\:");
  return last == std::string::npos ? path : path.substr(last + 1);
}

std::vector<std::string> SplitAt(const std::string& text, const std::string& separators) {
  std::vector<std::string> parts(1);
  for (const char c : text) {
    if (separators.find(c) != std::string::npos)
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace merva
