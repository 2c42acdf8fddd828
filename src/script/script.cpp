#include "script/script.h"

#include <array>
#include <cstring>

#include "core/block_file.h"
#include "core/cp1251.h"

namespace merva {

const char kScriptFileName[] = "scripts.bin";
const char kScriptVersionMessage[] = "Unknow version of script-file or file damaged";
const char kScriptDamagedMessage[] =
    "the installation script is damaged: it ends inside a record. Nothing was installed";

EScriptDamaged::EScriptDamaged(const std::string& path) : EFileError(path, kScriptDamagedMessage) {}

void DescrambleScriptText(uint8_t* buffer, size_t size, int32_t length) {
  const size_t end = length < 0 ? 0 : std::min(static_cast<size_t>(length), size);
  for (size_t i = 1; i < end; ++i) buffer[i] = static_cast<uint8_t>(buffer[i] - 32);
}

std::string ScrambleScriptText(const std::string& text) {
  std::string stored = text;
  for (size_t i = 1; i < stored.size(); ++i) stored[i] = static_cast<char>(stored[i] + 32);
  return stored;
}

const TScriptRecord kScriptRecords[14] = {
    {kTagTitle, "title", &TDATAInst::Title, nullptr},
    {kTagWelcomeText, "welcome", &TDATAInst::WelcomeText, nullptr},
    {kTagAgreementText, "agreement", &TDATAInst::AgreementText, nullptr},
    {kTagAgreeCaption, "agree", &TDATAInst::AgreeCaption, nullptr},
    {kTagFolderText, "folder", &TDATAInst::FolderText, nullptr},
    {kTagProgressText, "progress", &TDATAInst::ProgressText, nullptr},
    {kTagFinishText, "finish", &TDATAInst::FinishText, nullptr},
    {kTagRefusalText, "refusal", &TDATAInst::RefusalText, nullptr},
    {kTagArchiveFile, "archive", nullptr, &TDATAInst::ArchiveFiles},
    {kTagNamedArchiveFile, "archive in", nullptr, &TDATAInst::NamedArchiveFiles},
    {kTagGameFile, "game", nullptr, &TDATAInst::GameFiles},
    {kTagDataLines, "data", nullptr, &TDATAInst::DataLines},
    {kTagEditions, "editions", &TDATAInst::Editions, nullptr},
    {kTagLevel, "level", &TDATAInst::Level, nullptr},
};

const TScriptRecord* FindScriptRecord(uint8_t tag) {
  for (const TScriptRecord& record : kScriptRecords)
    if (record.Tag == tag) return &record;
  return nullptr;
}

const TScriptRecord* FindScriptRecord(const std::string& manifestKey) {
  for (const TScriptRecord& record : kScriptRecords)
    if (manifestKey == record.ManifestKey) return &record;
  return nullptr;
}

namespace {

void ApplyRecord(TDATAInst& Script, uint8_t tag, const std::string& text,
                 const std::function<void(const std::string&)>& checkLevel) {
  const TScriptRecord* record = FindScriptRecord(tag);
  if (!record) return;  // unassigned tags are read and ignored
  if (record->List) {
    (Script.*record->List).push_back(text);
    return;
  }
  Script.*record->Text = text;
  if (tag == kTagLevel && checkLevel) checkLevel(Script.Level);
}

}  // namespace

TScriptEnd LoadScript(TDATAInst& Script, IFileSystem& fs, INotices& notices,
                      const std::function<void(const std::string&)>& checkLevel,
                      const std::string& path) {
  // The script is only read, so a mod on read-only media loads as well.
  TBlockFile file = TBlockFile::OpenReadOnly(fs, path);
  std::array<uint8_t, kScriptPayloadLimit> buffer{};
  file.Seek(kScriptVersionOffset);
  file.ReadCounted(buffer.data(), 3);
  if (std::memcmp(buffer.data(), "1.0", 3) != 0)
    notices.Notice(TNoticeKind::kPlain, kScriptVersionMessage);

  file.Seek(kScriptRecordsOffset);
  // A file that ends inside a record was cut short (a broken download, a full disk): that
  // record is not applied, and the caller learns that the lists may be missing items.
  TScriptEnd end = TScriptEnd::kDamaged;
  for (;;) {
    uint8_t tag = 0;
    if (file.ReadCounted(&tag, 1) == 0) {
      end = TScriptEnd::kFileEnd;
      break;
    }
    uint8_t lengthBytes[4];
    if (file.ReadCounted(lengthBytes, 4) != 4) break;
    const int32_t length = static_cast<int32_t>(
        static_cast<uint32_t>(lengthBytes[0]) | static_cast<uint32_t>(lengthBytes[1]) << 8 |
        static_cast<uint32_t>(lengthBytes[2]) << 16 | static_cast<uint32_t>(lengthBytes[3]) << 24);
    // Nothing past the buffer is read: the rest of the file cannot be trusted.
    if (length < 0 || length > kScriptPayloadLimit) break;
    const auto count = static_cast<uint32_t>(length);
    if (file.ReadCounted(buffer.data(), count) != count) break;
    DescrambleScriptText(buffer.data(), buffer.size(), length);
    // The texts and names are code page 1251 in the file and UTF-8 from here on.
    const std::string stored(reinterpret_cast<const char*>(buffer.data()), count);
    ApplyRecord(Script, tag, Utf8FromCp1251(stored), checkLevel);
    if (length == 0) {  // the end record
      end = TScriptEnd::kEndRecord;
      break;
    }
  }
  file.Close();
  return end;
}

}  // namespace merva
