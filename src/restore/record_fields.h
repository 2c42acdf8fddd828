#pragma once
// The fields of a restore point's record as its readers and writer share them: escaped texts,
// numbers, hex bytes, fingerprints, whose a version was, and the paths a record may name. Only
// the record's own files (restore_point.cpp and the frozen reader of earlier layouts) use it.
#include <cstdint>
#include <string>
#include <vector>

#include "change/changes.h"

namespace merva::record {

// The headings of each layout. Layout 3 tags every field; 2 and 1 (code page 1251) tell their
// fields by their places.
extern const char kTaggedHeading[];  // "merva restore point 3"
extern const char kHeading2[];       // "merva restore point 2"
extern const char kHeading1[];       // "merva restore point 1"
// A field or a line whose name starts with this may be passed over by a reader that does not
// know it: it adds to the point without changing what an undo does.
constexpr char kSkippableMark = '~';

// Names and texts may hold any byte: those that would break a line or a field are written as
// %XX.
std::string Escape(const std::string& text);
bool Unescape(const std::string& text, std::string& out);
std::string Hex(const void* data, size_t size);
bool FromHex(const std::string& text, std::vector<uint8_t>& out);
bool IsHex(const std::string& text, size_t digits);
bool Number(const std::string& text, int64_t& value);
bool Number32(const std::string& text, int32_t& value);
bool ParseLevel(const std::string& present, const std::string& bytes, TLevelValue& value);
// A fingerprint field: empty, or XXH3-128's 32 hex digits.
bool Fingerprint(const std::string& field, std::string& value);
// A game folder's identity (IFileSystem::FolderIdentity): up to 64 characters, hex digits and
// the separators "." and "-".
bool IsGameIdentity(const std::string& field);
// A "taken from" field: one of its three forms, a point named by its folder's name alone.
bool TakenFrom(const std::string& field, std::string& value);
// True when every path the record names stays inside its folders, as an installation writes
// them: a record that names anything else was not written by one, and nothing is done after it.
bool PathsStayInside(const TRestorePoint& p);

}  // namespace merva::record
