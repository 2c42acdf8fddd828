#pragma once
// Windows code page 1251: the bytes of the game's own files (script texts and lists, package
// and archive entry names). The program keeps every text in UTF-8 and converts where those
// bytes are read or written.
#include <string>

namespace merva {

// Every byte has a character (0x98, unassigned, is U+0098 as on Windows), so stored bytes come
// back unchanged from a round trip.
std::string Utf8FromCp1251(const std::string& bytes);

// False when a character has no place in code page 1251; `out` then holds '?' for it.
bool TryCp1251FromUtf8(const std::string& text, std::string& out);

// What is said of a name that must go into the game's files and cannot.
extern const char kNameOutsideCp1251[];

// For texts known to fit: unknown characters become '?'.
std::string Cp1251FromUtf8(const std::string& text);

}  // namespace merva
