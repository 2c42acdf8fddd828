#include "game/game_edition.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/block_file.h"
#include "core/errors.h"
#include "core/sha256.h"
#include "core/text.h"
#include "game/game_path.h"

namespace merva {

namespace {

// The marks plugin SDKs tell the builds apart by, each a value at a virtual address of the
// program as loaded at 0x400000 (docs/formats.md names the source). The first that matches is
// the build.
struct TMark {
  uint32_t Address;
  uint32_t Value;
  uint32_t Bytes;  // 2 or 4
  const char* Name;
  const char* Line;
};
constexpr TMark kMarks[] = {
    {0x82457C, 0x94BF, 2, "1.0 US", "1.0"},
    {0x8245BC, 0x94BF, 2, "1.0 EU", "1.0"},
    {0x8252FC, 0x94BF, 2, "1.01 US", "1.01"},
    {0x82533C, 0x94BF, 2, "1.01 EU", "1.01"},
    {0x85EC4A, 0x94BF, 2, "Steam 3.0", "Steam"},
    {0x858D21, 0x3539F633, 4, "Steam r1", "Steam"},
    {0x858D51, 0x3539F633, 4, "Steam r2", "Steam"},
    {0x858C61, 0x3539F633, 4, "Steam r2 German", "Steam"},
    {0x858501, 0x3539F633, 4, "Launcher 1.0.22", "Launcher"},
};
// The two 1.0 US programs players have, told apart by their first instruction's bytes.
constexpr uint32_t kFirstCode = 0x401000;
constexpr uint32_t kCompactCode = 0x53EC8B55;
constexpr uint32_t kHoodlumCode = 0x16197BE9;
constexpr uint32_t kLoadedAt = 0x400000;

// The game's programs, as the retail and Steam builds name them.
constexpr const char* kPrograms[] = {"gta_sa.exe", "gta-sa.exe"};
constexpr const char* kDefinitiveProgram = "Gameface\\Binaries\\Win64\\SanAndreas.exe";

uint32_t LittleEndian(const std::vector<uint8_t>& bytes, size_t at, uint32_t count) {
  uint32_t value = 0;
  for (uint32_t i = 0; i < count; ++i) value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

struct TSection {
  uint32_t Address, Bytes, RawAt, RawBytes;
};

// The program's sections, from its PE headers; none when it is not a 32- or 64-bit PE file.
std::vector<TSection> Sections(const TReadAt& read) {
  const std::vector<uint8_t> dos = read(0, 64);
  if (dos.size() < 64 || dos[0] != 'M' || dos[1] != 'Z') return {};
  const uint32_t pe = LittleEndian(dos, 0x3C, 4);
  const std::vector<uint8_t> head = read(pe, 24);
  if (head.size() < 24 || std::memcmp(head.data(), "PE\0\0", 4) != 0) return {};
  const uint32_t count = std::min<uint32_t>(LittleEndian(head, 6, 2), 96);
  const uint32_t optional = LittleEndian(head, 20, 2);
  const std::vector<uint8_t> table = read(int64_t{pe} + 24 + optional, count * 40);
  std::vector<TSection> sections;
  for (uint32_t i = 0; i + 1 <= table.size() / 40; ++i) {
    const size_t at = size_t{i} * 40;
    sections.push_back({LittleEndian(table, at + 12, 4), LittleEndian(table, at + 8, 4),
                        LittleEndian(table, at + 20, 4), LittleEndian(table, at + 16, 4)});
  }
  return sections;
}

// The value of `bytes` bytes at a loaded address, read where the file holds it; none when no
// section's bytes in the file hold it.
bool ValueAt(const TReadAt& read, const std::vector<TSection>& sections, uint32_t address,
             uint32_t bytes, uint32_t& value) {
  if (address < kLoadedAt) return false;
  const uint32_t relative = address - kLoadedAt;
  for (const TSection& s : sections) {
    if (relative < s.Address || uint64_t{relative - s.Address} + bytes > s.RawBytes) continue;
    const std::vector<uint8_t> got = read(int64_t{s.RawAt} + (relative - s.Address), bytes);
    if (got.size() < bytes) return false;
    value = LittleEndian(got, 0, bytes);
    return true;
  }
  return false;
}

bool InFolder(IFileSystem& fs, const std::string& gameFolder, const std::string& relative) {
  return fs.FileExists(InGameFolder(gameFolder, SpellingInGame(fs, gameFolder, relative)));
}

// The build of the program at `path`, from its marks.
void ReadProgram(IFileSystem& fs, const std::string& path, TGameEdition& edition) {
  TBlockFile file = TBlockFile::OpenReadOnly(fs, path);
  edition.ProgramBytes = file.Size();
  const TProgramMarks marks = ProgramMarks([&](int64_t position, uint32_t count) {
    std::vector<uint8_t> bytes;
    if (position < 0 || position >= edition.ProgramBytes) return bytes;
    bytes.resize(count);
    file.Seek(position);
    bytes.resize(file.ReadCounted(bytes.data(), count));
    return bytes;
  });
  edition.Name = marks.Name;
  edition.Line = marks.Line;
  edition.Build = marks.Build;
  if (!edition.Known()) {
    file.Seek(0);
    edition.ProgramSha256 = FileSha256(file);
  }
  file.Close();
}

// The words a player may write for an edition, squeezed to compare: "1.0 us" is "1.0 US".
std::string Squeezed(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == ' ' || c == '\t') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

TProgramMarks ProgramMarks(const TReadAt& read) {
  const std::vector<TSection> sections = Sections(read);
  if (sections.empty()) return {};
  for (const TMark& mark : kMarks) {
    uint32_t value = 0;
    if (!ValueAt(read, sections, mark.Address, mark.Bytes, value) || value != mark.Value) continue;
    TProgramMarks marks{mark.Name, mark.Line, ""};
    uint32_t code = 0;
    if (std::strcmp(mark.Name, "1.0 US") == 0 && ValueAt(read, sections, kFirstCode, 4, code)) {
      if (code == kCompactCode) marks.Build = "compact";
      if (code == kHoodlumCode) marks.Build = "Hoodlum";
    }
    return marks;
  }
  return {};
}

std::string TGameEdition::Text() const {
  if (Definitive) return "GTA San Andreas - The Definitive Edition";
  if (Known()) return Build.empty() ? Name : Name + " (" + Build + ")";
  std::string text = "an edition Merva does not know";
  if (Program.empty()) return text + " (no gta_sa.exe in the folder)";
  text += " (" + Program + ", " + std::to_string(ProgramBytes) + " bytes";
  if (!ProgramSha256.empty()) text += ", SHA-256 " + ProgramSha256;
  if (!Line.empty()) text += ", of the " + Line + " edition";
  return text + ")";
}

bool IsDefinitiveEdition(IFileSystem& fs, const std::string& gameFolder) {
  return InFolder(fs, gameFolder, kDefinitiveProgram);
}

EDefinitiveEdition::EDefinitiveEdition(const std::string& gameFolder)
    : ENotAGame(gameFolder,
                "This folder holds GTA San Andreas \xE2\x80\x93 The Definitive Edition, a "
                "different game; mods for GTA San Andreas do not work in it. Nothing was "
                "changed.") {}

void RefuseDefinitiveEdition(IFileSystem& fs, const std::string& gameFolder) {
  if (IsDefinitiveEdition(fs, gameFolder)) throw EDefinitiveEdition(gameFolder);
}

TGameEdition GameEditionOf(IFileSystem& fs, const std::string& gameFolder) {
  TGameEdition edition;
  edition.Multiplayer = InFolder(fs, gameFolder, "samp.dll");
  if (IsDefinitiveEdition(fs, gameFolder)) {
    edition.Definitive = true;
    return edition;
  }
  for (const char* program : kPrograms) {
    const std::string spelt = SpellingInGame(fs, gameFolder, program);
    const std::string path = InGameFolder(gameFolder, spelt);
    if (fs.KindOf(path) != TPathKind::kFile) continue;
    edition.Program = spelt;
    ReadProgram(fs, path, edition);
    break;
  }
  if (edition.Known() || edition.Program.empty()) return edition;
  // A build no mark names may still show its line by the files beside it.
  if (InFolder(fs, gameFolder, "MTLX.dll") && InFolder(fs, gameFolder, "index.bin"))
    edition.Line = "Launcher";
  else if (AsciiLower(edition.Program) == "gta-sa.exe")
    edition.Line = "Steam";
  return edition;
}

const std::vector<TEditionWord>& EditionWords() {
  static const std::vector<TEditionWord> words = {
      {"1.0", "1.0", "1.0 (US or EU)"},
      {"1.0 US", "1.0", "1.0 US"},
      {"1.0 EU", "1.0", "1.0 EU"},
      {"1.01", "1.01", "1.01 (US or EU)"},
      {"1.01 US", "1.01", "1.01 US"},
      {"1.01 EU", "1.01", "1.01 EU"},
      {"Steam", "Steam", "a Steam edition"},
      {"Steam 3.0", "Steam", "Steam 3.0"},
      {"Steam r1", "Steam", "Steam r1"},
      {"Steam r2", "Steam", "Steam r2"},
      {"Steam r2 German", "Steam", "Steam r2 German"},
      {"Launcher", "Launcher", "the Launcher edition"},
      {"Launcher 1.0.22", "Launcher", "Launcher 1.0.22"},
  };
  return words;
}

std::string EditionWordOf(const std::string& text) {
  const std::string key = Squeezed(text);
  for (const TEditionWord& word : EditionWords())
    if (Squeezed(word.Word) == key) return word.Word;
  return "";
}

std::vector<std::string> EditionWordsOf(const std::string& line, std::string* unknown) {
  std::vector<std::string> words;
  for (const std::string& part : SplitAt(line, ",")) {
    const size_t first = part.find_first_not_of(" \t");
    const std::string written = first == std::string::npos
                                    ? ""
                                    : part.substr(first, part.find_last_not_of(" \t") + 1 - first);
    const std::string word = EditionWordOf(written);
    if (word.empty() && unknown && unknown->empty()) *unknown = written.empty() ? "\"\"" : written;
    if (!written.empty()) words.push_back(word.empty() ? written : word);
  }
  return words;
}

bool EditionIsOneOf(const TGameEdition& edition, const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (edition.Known() && word == edition.Name) return true;
    // A line's word stands for every build of it, known or told only by its files.
    if (!edition.Line.empty() && word == edition.Line) return true;
  }
  return false;
}

TEditionVerdict EditionVerdictOf(const TGameEdition& edition,
                                 const std::vector<std::string>& words) {
  if (words.empty()) return TEditionVerdict::kAny;
  if (EditionIsOneOf(edition, words)) return TEditionVerdict::kFor;
  if (edition.Known()) return TEditionVerdict::kNotFor;
  if (edition.Line.empty()) return TEditionVerdict::kUnknown;
  // Only the line is known: a build of it the mod names may be this one.
  for (const std::string& word : words)
    for (const TEditionWord& known : EditionWords())
      if (word == known.Word && edition.Line == known.Line) return TEditionVerdict::kUnknown;
  return TEditionVerdict::kNotFor;
}

std::string EditionsText(const std::vector<std::string>& words) {
  std::string text;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += i + 1 == words.size() ? " or " : ", ";
    std::string told = words[i];
    for (const TEditionWord& word : EditionWords())
      if (words[i] == word.Word) told = word.Words;
    text += told;
  }
  return text;
}

}  // namespace merva
