#include "tests/support/fakes.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/cp1251.h"

namespace merva::test {

namespace {

class TFakeKey : public IRegistryKey {
 public:
  explicit TFakeKey(TFakeRegistry& owner) : owner_(owner) {}
  ~TFakeKey() override { ++owner_.KeysClosed; }
  bool ValueExists(const std::string& name) override { return owner_.Values.count(name) > 0; }
  bool ReadValue(const std::string& name, TValueType& type, std::vector<uint8_t>& data) override {
    const auto it = owner_.Values.find(name);
    if (it == owner_.Values.end()) return false;
    type = it->second.Type;
    data = it->second.Data;
    return true;
  }
  bool WriteBinary(const std::string& name, const std::vector<uint8_t>& data) override {
    if (owner_.RefuseWrites) return false;
    owner_.Values[name] = {TValueType::kBinary, data};
    return true;
  }
  bool DeleteValue(const std::string& name) override {
    if (owner_.RefuseWrites) return false;
    owner_.Values.erase(name);
    return true;
  }

 private:
  TFakeRegistry& owner_;
};

}  // namespace

std::unique_ptr<IRegistryKey> TFakeRegistry::CreateKeyFullAccess(const std::string& path) {
  if (RefuseKey) return nullptr;
  ++KeysOpened;
  KeyExists = true;
  OpenedPath = path;
  return std::make_unique<TFakeKey>(*this);
}

bool TFakeFolderDialog::SelectFolder(const std::string& caption, const std::u16string&,
                                     std::string& folder) {
  LastCaption = caption;
  const std::string answer = Calls < static_cast<int>(Answers.size()) ? Answers[Calls] : "";
  ++Calls;
  if (answer.empty()) return false;
  folder = answer;
  return true;
}

std::map<std::string, std::string> TreeOf(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  const std::string native = Native(root);
  if (!fs::exists(fs::symlink_status(native))) return tree;
  for (auto it = fs::recursive_directory_iterator(native); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string relative = fs::relative(it->path(), native).string();
    if (it->is_symlink())
      tree[relative] = "link to " + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      tree[relative] = "folder";
    else
      tree[relative] = "file " + ReadFile(it->path().string());
  }
  return tree;
}

std::string TreeDifference(const std::map<std::string, std::string>& now,
                           const std::map<std::string, std::string>& expected) {
  std::string differ;
  for (const auto& [path, what] : now)
    if (!expected.count(path) || expected.at(path) != what) differ += path + "; ";
  for (const auto& [path, what] : expected)
    if (!now.count(path)) differ += path + " (gone); ";
  return differ;
}

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "merva-test-XXXXXX").string();
  path_ = mkdtemp(pattern.data());
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string Native(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(Native(path), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(Native(path), std::ios::binary | std::ios::trunc) << data;
}

bool Exists(const std::string& path) {
  return std::filesystem::exists(Native(path));
}

void MakeDirs(const std::string& path) {
  std::filesystem::create_directories(Native(path));
}

namespace {
void Put32(std::string& bytes, size_t at, int32_t value) {
  std::memcpy(&bytes[at], &value, 4);
}
int32_t Get32(const std::string& bytes, size_t at) {
  int32_t value;
  std::memcpy(&value, &bytes[at], 4);
  return value;
}
}  // namespace

std::string ArchiveBytes(const std::vector<TEntryLayout>& entries, int64_t sectors,
                         const std::string& tag) {
  std::string bytes(static_cast<size_t>(sectors * 2048), '\0');
  std::memcpy(&bytes[0], tag.data(), 4);
  Put32(bytes, 4, static_cast<int32_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = 8 + i * 32;
    Put32(bytes, at, entries[i].Offset);
    Put32(bytes, at + 4, entries[i].Size);
    const std::string name = Cp1251FromUtf8(entries[i].Name);
    std::memcpy(&bytes[at + 8], name.data(), std::min<size_t>(24, name.size()));
  }
  return bytes;
}

std::string EntryData(const std::string& entryName, int32_t sectors) {
  const std::string name = entryName.empty() ? "?" : entryName;
  std::string data(static_cast<size_t>(sectors) * 2048, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(name[i % name.size()] + i / 2048);
  return data;
}

std::string BuildArchive(const std::vector<TEntryLayout>& entries) {
  int64_t sectors = 1 + static_cast<int64_t>(entries.size()) * 32 / 2048 + 1;
  for (const TEntryLayout& e : entries) sectors = std::max<int64_t>(sectors, e.Offset + e.Size);
  std::string bytes = ArchiveBytes(entries, sectors);
  for (const TEntryLayout& e : entries)
    bytes.replace(static_cast<size_t>(e.Offset) * 2048, static_cast<size_t>(e.Size) * 2048,
                  EntryData(e.Name, e.Size));
  return bytes;
}

std::vector<TEntryLayout> DirectoryOf(const std::string& bytes) {
  std::vector<TEntryLayout> entries;
  const int32_t count = Get32(bytes, 4);
  for (int32_t i = 0; i < count; ++i) {
    const size_t at = 8 + static_cast<size_t>(i) * 32;
    const std::string field = bytes.substr(at + 8, 24);
    entries.push_back({Get32(bytes, at), Get32(bytes, at + 4),
                       Utf8FromCp1251(field.substr(0, field.find('\0')))});
  }
  return entries;
}

std::vector<std::string> EntriesOf(const std::string& bytes) {
  std::vector<std::string> entries;
  for (const TEntryLayout& entry : DirectoryOf(bytes))
    entries.push_back(entry.Name + ": " + DataOf(bytes, entry));
  return entries;
}

std::string DataOf(const std::string& bytes, const TEntryLayout& entry) {
  return bytes.substr(static_cast<size_t>(entry.Offset) * 2048,
                      static_cast<size_t>(entry.Size) * 2048);
}

std::string ScriptBytes(const std::vector<std::pair<uint8_t, std::string>>& records,
                        const std::string& version) {
  std::string bytes(21, '\0');
  bytes.replace(6, 3, version.substr(0, 3));
  for (const auto& [tag, utf8] : records) {
    const std::string text = Cp1251FromUtf8(utf8);
    bytes += static_cast<char>(tag);
    std::string length(4, '\0');
    Put32(length, 0, static_cast<int32_t>(text.size()));
    bytes += length;
    for (size_t i = 0; i < text.size(); ++i)
      bytes += static_cast<char>(i == 0 ? text[i] : text[i] + 32);
  }
  return bytes;
}

std::string PackageBytes(const std::vector<std::pair<std::string, std::string>>& files,
                         const std::string& version) {
  std::string bytes(116, 'x');
  bytes.replace(23, 3, version.substr(0, 3));
  Put32(bytes, 112, static_cast<int32_t>(files.size()));
  for (const auto& [utf8, data] : files) {
    const std::string name = Cp1251FromUtf8(utf8);
    std::string record(28, '\0');
    std::memcpy(&record[0], name.data(), std::min<size_t>(24, name.size()));
    Put32(record, 24, static_cast<int32_t>(data.size()));
    for (int i = 0; i < 25; ++i) record[i] = static_cast<char>(record[i] + 20);
    bytes += record;
  }
  for (const auto& file : files) bytes += file.second;
  return bytes;
}

namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    char code[4];
    std::snprintf(code, sizeof code, "%%%02X", byte);
    out += byte < 0x20 || byte == 0x7f || c == '%' ? std::string(code) : std::string(1, c);
  }
  return out;
}

std::string HexOf(const void* data, size_t size) {
  std::string out;
  char digits[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<const unsigned char*>(data)[i]);
    out += digits;
  }
  return out;
}

}  // namespace

std::string UntaggedRecordText(const TRestorePoint& p, bool layoutOne, bool prints) {
  const TArchiveChange& a = p.Archives.front();
  std::ostringstream out;
  out << (layoutOne ? "merva restore point 1" : "merva restore point 2") << "\n";
  out << "title\t" << Escaped(p.Title) << "\ntime\t" << Escaped(p.Time) << "\ngame\t"
      << Escaped(p.GameFolder) << "\n";
  const auto level = [](const TLevelValue& value) {
    return std::string(value.Present ? "1" : "0") + "\t" +
           HexOf(value.Bytes.data(), value.Bytes.size());
  };
  out << "level\t" << (p.Level.Checked ? 1 : 0) << "\t" << level(p.Level.Before) << "\t"
      << level(p.Level.After) << "\n";
  out << "old\t" << a.OldCount << "\t" << a.OldFirstSector << "\t" << a.OldArchiveBytes << "\n";
  for (const TOrderRun& run : a.Order)
    out << "order\t" << run.Old << "\t" << run.New << "\t" << run.Count << "\n";
  for (const TKeptEntry& e : a.Replaced) {
    out << "replaced\t" << e.Index << "\t" << HexOf(&e.Old, sizeof e.Old) << "\t" << e.NewSize
        << "\t" << Escaped(e.Kept);
    if (prints) out << "\t" << e.NewFingerprint << "\t" << Escaped(e.TakenFrom);
    out << "\n";
  }
  for (const TAddedEntry& e : a.Added)
    out << "added\t" << Escaped(e.Name) << "\t" << e.Size << (prints ? "\t" + e.NewFingerprint : "")
        << "\n";
  for (const TGameFileChange& f : p.GameFiles) {
    out << "gamefile\t" << Escaped(f.Item) << "\t" << (f.Replaced ? 1 : 0) << "\t" << f.OldBytes
        << "\t" << f.NewBytes << "\t" << Escaped(f.Kept);
    if (prints) out << "\t" << f.NewFingerprint << "\t" << Escaped(f.TakenFrom);
    out << "\n";
  }
  for (const std::string& folder : p.FoldersCreated) out << "folder\t" << Escaped(folder) << "\n";
  out << "new\t" << a.NewArchiveBytes << "\t" << a.NewArchiveFingerprint << "\n";
  out << "kept\t" << a.KeptBytes << "\n";
  if (!a.KeptArchiveFingerprint.empty()) out << "keptimg\t" << a.KeptArchiveFingerprint << "\n";
  out << "end\n";
  return out.str();
}

}  // namespace merva::test
