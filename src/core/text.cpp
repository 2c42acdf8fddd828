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

}  // namespace merva
