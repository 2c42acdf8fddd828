#pragma once
// Fakes of the platform interfaces and helpers for tests on real temporary folders.
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "core/errors.h"
#include "core/platform.h"
#include "core/progress.h"
#include "restore/restore_point.h"
#include "wizard/window_progress.h"

namespace merva::test {

struct TShownBox {
  TBoxKind Kind;
  std::string Text;
};

// Records boxes, and the notices of the operations as the boxes the wizard would show.
class TFakeBoxes : public IMessageBoxes, public INotices {
 public:
  void Show(TBoxKind kind, const std::string& text) override { Shown.push_back({kind, text}); }
  bool Ask(const std::string& text, TAnswer first) override {
    Asked.push_back(text);
    Defaults.push_back(first);
    if (Answers.empty()) return Answer;
    const bool answer = Answers.front();
    Answers.erase(Answers.begin());
    return answer;
  }
  std::vector<std::string> Asked;
  std::vector<TAnswer> Defaults;  // each question's default button
  bool Answer = true;
  std::vector<bool> Answers;  // taken in turn before Answer
  void Notice(TNoticeKind kind, const std::string& text) override {
    Shown.push_back({kind == TNoticeKind::kError ? TBoxKind::kErrorBox : TBoxKind::kPlain, text});
  }
  std::vector<TShownBox> Shown;
};

class TCountingPump : public IMessagePump {
 public:
  void ProcessMessages() override {
    ++Calls;
    if (OnProcess) OnProcess();
  }
  int Calls = 0;
  std::function<void()> OnProcess;
};

// Records every report of long work; `OnShow` runs at each, as a front end's would.
class TFakeProgress : public IProgress {
 public:
  int64_t Total = 0, Done = 0;
  int Shows = 0;
  int Waits = 0;  // reports without a step: the work still at the same place
  std::function<void()> OnShow;

 protected:
  void Show(int64_t total, int64_t done) override {
    if (Shows > 0 && total == Total && done == Done) ++Waits;
    Total = total;
    Done = done;
    ++Shows;
    if (OnShow) OnShow();
  }
};

// Thrown where the real program would end.
struct TProgramEnded {};

class TFakeProcess : public IProcess {
 public:
  [[noreturn]] void EndProgram() override { throw TProgramEnded{}; }
};

class TFakeLocale : public ILocale {
 public:
  explicit TFakeLocale(char separator = '.') : Separator(separator) {}
  char DecimalSeparator() override { return Separator; }
  char Separator;
};

struct TFakeValue {
  TValueType Type;
  std::vector<uint8_t> Data;
};

// One key's values; can refuse to open the key or refuse writes.
class TFakeRegistry : public IRegistry {
 public:
  std::unique_ptr<IRegistryKey> CreateKeyFullAccess(const std::string& path) override;
  bool RefuseKey = false;
  bool RefuseWrites = false;
  bool KeyExists = false;
  int KeysOpened = 0;
  int KeysClosed = 0;
  std::string OpenedPath;
  std::map<std::string, TFakeValue> Values;
};

// The list of installed programs as a map of entries; can refuse writes.
class TFakeInstalledApps : public IInstalledApps {
 public:
  bool Write(const std::string& key, const std::vector<TAppValue>& values) override {
    if (RefuseWrites) return false;
    for (const TAppValue& value : values) Entries[key][value.Name] = value;
    return true;
  }
  bool Remove(const std::string& key) override {
    Entries.erase(key);
    return true;
  }
  std::vector<std::string> Keys() override {
    std::vector<std::string> keys;
    for (const auto& entry : Entries) keys.push_back(entry.first);
    return keys;
  }
  std::string ReadText(const std::string& key, const std::string& name) override {
    const auto entry = Entries.find(key);
    if (entry == Entries.end()) return "";
    const auto value = entry->second.find(name);
    return value == entry->second.end() || value->second.IsNumber ? "" : value->second.Text;
  }
  bool RefuseWrites = false;
  std::map<std::string, std::map<std::string, TAppValue>> Entries;
};

class TFakeFolderDialog : public IFolderDialog {
 public:
  bool SelectFolder(const std::string& caption, const std::u16string& root,
                    std::string& folder) override;
  std::vector<std::string> Answers;  // "" for a cancel, taken in turn
  int Calls = 0;
  std::string LastCaption;
};

class TFakeShell : public IShell {
 public:
  void OpenUrl(const std::string& url) override { Opened.push_back(url); }
  std::vector<std::string> Opened;
};

// Every service of the wizard as a fake, for a TForm1 in a native test.
struct TWizardFakes {
  TFakeBoxes boxes;
  TCountingPump pump;
  TFakeProcess process;
  TFakeRegistry registry;
  TFakeLocale locale;
  TFakeFolderDialog folderDialog;
  TFakeShell shell;
  TFakeInstalledApps apps;
};

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  const std::string& Path() const { return path_; }
  // A path in the program's own form: "\" before the name, so that the name is its file-name
  // part. The helpers below and the native file system accept it.
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// The paths where two trees (a path -> what lies there) differ, in a line short enough to read;
// empty when they are the same.
std::string TreeDifference(const std::map<std::string, std::string>& now,
                           const std::map<std::string, std::string>& expected);

// What lies under `root`, by relative path: "folder", "file " and the bytes, or "link to " and
// the target (never followed).
std::map<std::string, std::string> TreeOf(const std::string& root);

// The path with "\" turned into "/", for the standard library.
std::string Native(std::string path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool Exists(const std::string& path);
void MakeDirs(const std::string& path);

// An archive built byte by byte, independently of the code under test. Names and texts are
// given and read back in UTF-8 and stored in code page 1251, as the game's files hold them.
struct TEntryLayout {
  int32_t Offset;
  int32_t Size;
  std::string Name;
};
inline bool operator==(const TEntryLayout& a, const TEntryLayout& b) {
  return a.Offset == b.Offset && a.Size == b.Size && a.Name == b.Name;
}
inline std::ostream& operator<<(std::ostream& out, const TEntryLayout& e) {
  return out << "{" << e.Offset << ", " << e.Size << ", " << e.Name << "}";
}
std::string ArchiveBytes(const std::vector<TEntryLayout>& entries, int64_t sectors,
                         const std::string& tag = "VER2");
// Fills each entry's sectors with a pattern derived from its name.
std::string EntryData(const std::string& name, int32_t sectors);
std::string BuildArchive(const std::vector<TEntryLayout>& entries);
// The directory as read back from an archive's bytes.
std::vector<TEntryLayout> DirectoryOf(const std::string& bytes);
std::string DataOf(const std::string& bytes, const TEntryLayout& entry);
// Every entry of an archive as "NAME: its sectors", in directory order: what the game reads of
// it, wherever the data lies.
std::vector<std::string> EntriesOf(const std::string& bytes);

// A script file from (tag, text) records, scrambled as the format wants.
std::string ScriptBytes(const std::vector<std::pair<uint8_t, std::string>>& records,
                        const std::string& version = "1.0");
// A package from (name, data) files.
std::string PackageBytes(const std::vector<std::pair<std::string, std::string>>& files,
                         const std::string& version = "1.0");

// A restore record as the versions before tagged fields wrote it, each field told by its place:
// layout 2 (UTF-8), or layout 1 (its heading; names in code page 1251 as given). Without
// `prints` as the first of them: no fingerprints of what was written, no owners.
std::string UntaggedRecordText(const TRestorePoint& point, bool layoutOne, bool prints);

}  // namespace merva::test
