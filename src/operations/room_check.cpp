#include "operations/room_check.h"

#include <cstdio>

#include "core/file_tools.h"

namespace merva {

namespace {

// Records of a point, changes.txt and the run's own small files: room they may take besides
// the files counted.
constexpr int64_t kSmallFiles = 1 << 20;

std::string Grouped(uint64_t number) {
  std::string digits = std::to_string(number), text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

}  // namespace

std::string SizeText(uint64_t bytes) {
  const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 4) value /= 1024, ++unit;
  if (unit == 0) return Grouped(bytes) + " bytes";
  char shown[32];
  std::snprintf(shown, sizeof shown, "%.2f %s", value, units[unit]);
  return std::string(shown) + " (" + Grouped(bytes) + " bytes)";
}

void TRoomCheck::Need(const std::string& folder, int64_t bytes) {
  std::string existing = folder;
  while (!existing.empty() && !fs_.DirectoryExists(existing)) {
    const std::string parent = ParentFolder(existing);
    existing = parent == existing ? "" : parent;
  }
  TDriveRoom room;
  const bool known = !existing.empty() && fs_.RoomOf(existing, room) == 0;
  if (known) {
    for (TDriveNeed& drive : drives_) {
      if (drive.Known && drive.Drive == room.Drive) {
        drive.Needed += bytes;
        return;
      }
    }
  }
  drives_.push_back({folder, known ? room.Drive : "", bytes + kSmallFiles, room.Free, known});
}

void TRoomCheck::Check(const std::string& done) const {
  for (const TDriveNeed& drive : drives_) {
    if (!drive.Known || static_cast<uint64_t>(drive.Needed) <= drive.Free) continue;
    throw ENoRoom("Not enough room on the drive of " + drive.Folder + " (" + drive.Drive +
                  "): " + SizeText(static_cast<uint64_t>(drive.Needed)) + " needed, " +
                  SizeText(drive.Free) + " free. Make room, then try again. " + done);
  }
}

}  // namespace merva
