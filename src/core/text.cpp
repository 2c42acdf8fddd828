#include "core/text.h"

#include "core/unicode.h"

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

std::string FileSystemCase(const std::string& utf8) {
  std::string folded;
  for (char32_t c : DecodeUtf8(utf8)) {
    if (c >= 'a' && c <= 'z') c -= 0x20;
    if (c >= 0x0430 && c <= 0x044F) c -= 0x20;  // а..я
    if (c >= 0x0450 && c <= 0x045F) c -= 0x50;  // ѐ..џ
    if (c == 0x0491) c = 0x0490;                // ґ
    AppendUtf8(c, folded);
  }
  return folded;
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

}  // namespace merva
