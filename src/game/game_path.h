#pragma once
// A path below the game folder, as a mod names it and as a record names it back: its parts, and
// whether it stays inside the folder. The one reader of such paths; the game archives, the game
// files and the records all ask here.
#include <string>
#include <vector>

namespace merva {

// Its parts between "\\" or "/", without empty or "." parts: "data\\.\\x" is "data", "x".
std::vector<std::string> GamePathParts(const std::string& path);
// True when it names a place inside the game folder: not empty, no drive ("C:", "C:\\"), no
// root and no ".." part. A ':' further on is a name Windows does not allow (GamePathWindowsFault).
bool GamePathIsInside(const std::string& path);
// True for a path as an installation writes it: inside, every part a name (no empty or "."
// part), no ':' and no control character. A record that names anything else was not written by
// an installation.
bool IsWrittenGamePath(const std::string& path);
// Why Windows cannot hold one of its parts (a device name, a character it refuses); empty when
// it can.
std::string GamePathWindowsFault(const std::string& path);
// The place of `relative` in `gameFolder`, as the program opens it.
std::string InGameFolder(const std::string& gameFolder, const std::string& relative);

}  // namespace merva
