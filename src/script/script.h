#pragma once
// The installation script "scripts.bin": every text the wizard shows, the title, the level
// and the two file lists, loaded into one TDATAInst.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/file_system.h"

namespace merva {

// Texts and names in UTF-8, read from the code page 1251 of the file; they may hold any
// character, zero included.
struct TDATAInst {
  std::string Title;
  std::string Level;
  std::string WelcomeText;
  std::string AgreementText;
  std::string FolderText;
  std::string ProgressText;
  std::string FinishText;
  std::string RefusalText;
  std::string AgreeCaption;
  std::vector<std::string> GameFiles;
  std::vector<std::string> ArchiveFiles;
  // Archive items that name their archive ("models\\gta_int.img|int_room.dff"; install_items.h).
  // An installer that does not know their tag passes them over: none can land in gta3.img.
  std::vector<std::string> NamedArchiveFiles;
  // Lines merged into a data file by key ("data\\handling.cfg|handling.txt": the file, then the
  // package file holding the lines; install_items.h). An installer that does not know their tag
  // passes them over.
  std::vector<std::string> DataLines;
  // The game editions the mod is for ("1.0 US, 1.0 EU"; game/game_edition.h); empty for any.
  // An installer that does not know its tag installs the mod into every edition.
  std::string Editions;
};

// Record tags of the script file.
enum TScriptTag : uint8_t {
  kTagArchiveFile = 1,
  kTagGameFile = 2,
  kTagNamedArchiveFile = 3,  // one of the tags the format reserves
  kTagDataLines = 4,         // another of them
  kTagEditions = 5,          // and another
  kTagRefusalText = 10,
  kTagWelcomeText = 11,
  kTagAgreementText = 12,
  kTagFolderText = 13,
  kTagProgressText = 14,
  kTagFinishText = 15,
  kTagTitle = 20,
  kTagLevel = 21,
  kTagAgreeCaption = 22,
};

// One kind of record: its tag, the field of TDATAInst it fills (a text that a later record
// replaces, or a list that each record adds an item to), and its key in a mod author's manifest.
struct TScriptRecord {
  TScriptTag Tag;
  const char* ManifestKey;
  std::string TDATAInst::*Text;               // null for a list
  std::vector<std::string> TDATAInst::*List;  // null for a text
};

// Every kind of record, in the order the package builder writes them. The level comes last:
// the gate runs while the script loads, and a refusal or an error there must not keep the texts
// from loading.
extern const TScriptRecord kScriptRecords[14];
// The record kind of a tag, or null for a tag that nothing uses.
const TScriptRecord* FindScriptRecord(uint8_t tag);
const TScriptRecord* FindScriptRecord(const std::string& manifestKey);

constexpr int32_t kScriptPayloadLimit = 2048;
constexpr int64_t kScriptVersionOffset = 6;
constexpr int64_t kScriptRecordsOffset = 21;
extern const char kScriptFileName[];  // "scripts.bin"
extern const char kScriptVersionMessage[];
// What every front end says of a script that ends inside a record, before it installs nothing.
extern const char kScriptDamagedMessage[];

// Undoes the scrambling in place: bytes 1 to length-1 lose 32 each; byte 0 stays.
void DescrambleScriptText(uint8_t* buffer, size_t size, int32_t length);
// The inverse, for the package builder.
std::string ScrambleScriptText(const std::string& text);

// A script that nothing may be installed from: the path and kScriptDamagedMessage.
class EScriptDamaged : public EFileError {
 public:
  explicit EScriptDamaged(const std::string& path);
};

// How the records of a script ended.
enum class TScriptEnd : uint8_t {
  kEndRecord,  // at the record of length 0
  kFileEnd,    // at the end of the file, right after a whole record: as valid as an end record
  kDamaged,    // inside a record (its length field or payload), or at a length beyond the limit
};

// Reads the script at `path` ("scripts.bin" in the current folder unless told) into `Script`. Each
// Level record is handed to `checkLevel` right after it is stored. Errors of the file leave as
// EInOutError. What was read before a damaged record stays loaded; nothing may be installed from
// such a script.
TScriptEnd LoadScript(TDATAInst& Script, IFileSystem& fs, INotices& notices,
                      const std::function<void(const std::string&)>& checkLevel,
                      const std::string& path = kScriptFileName);

}  // namespace merva
