#include <gtest/gtest.h>
#include <iconv.h>

#include "core/block_file.h"
#include "core/cp1251.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/sha256.h"
#include "core/text.h"
#include "core/unicode.h"
#include "core/windows_names.h"
#include "tests/support/fakes.h"
#include "tests/support/faulty_file_system.h"

namespace merva {
namespace {

using test::TTempDir;

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EInOutError& error) {
    return error.Message();
  }
  return "no error";
}

TEST(IoErrorText, NamesTheFrameworksTexts) {
  const std::pair<int, const char*> cases[] = {
      {2, "File not found"},     {3, "Path not found"},
      {5, "File access denied"}, {100, "Read beyond end of file"},
      {101, "Disk full"},        {32, "I/O error 32"}};
  for (const auto& [code, text] : cases) EXPECT_EQ(IoErrorText(code), text) << code;
}

TEST(IoErrorPlainText, NamesTheToolsTextsAndFallsBackToTheFrameworks) {
  const std::pair<int, const char*> cases[] = {
      {2, "file not found"},
      {3, "folder not found"},
      {32, "the file is in use by another program"},
      {33, "the file is in use by another program"},
      {100, "the file ends too early (read beyond end of file)"},
      {87, "I/O error 87"}};
  for (const auto& [code, text] : cases) EXPECT_EQ(IoErrorPlainText(code), text) << code;
}

TEST(ErrorReportText, AppendsAFullStopAfterCharactersAboveIt) {
  EXPECT_EQ(ErrorReportText("File not found"), "File not found.");
  EXPECT_EQ(ErrorReportText("Unable to create archive file."), "Unable to create archive file.");
  EXPECT_EQ(ErrorReportText("I/O error 32"), "I/O error 32.");
  EXPECT_EQ(ErrorReportText("odd!"), "odd!");  // '!' lies below '.'
  EXPECT_EQ(ErrorReportText(""), "");
}

TEST(BlockFile, FailuresCarryTheFrameworksTexts) {
  TTempDir dir;
  IFileSystem& fs = SystemFileSystem();
  EXPECT_EQ(ErrorOf([&] { TBlockFile::Open(fs, dir / "missing.bin", TOpenAccess::kReadWrite); }),
            "File not found");
  EXPECT_EQ(ErrorOf([&] { TBlockFile::Open(fs, dir / "no\\such\\file", TOpenAccess::kReadWrite); }),
            "Path not found");
  EXPECT_EQ(ErrorOf([&] { TBlockFile::Create(fs, dir / "none/x.bin"); }), "Path not found");
  EXPECT_EQ(ErrorOf([&] {
              TBlockFile full = TBlockFile::Open(fs, "/dev/full", TOpenAccess::kReadWrite);
              const char data[4] = {1, 2, 3, 4};
              full.WriteExact(data, 4);
            }),
            "Disk full");
  test::WriteFile(dir / "short.bin", "abc");
  EXPECT_EQ(ErrorOf([&] {
              TBlockFile file = TBlockFile::Open(fs, dir / "short.bin", TOpenAccess::kReadWrite);
              char buffer[8];
              file.ReadExact(buffer, 8);
            }),
            "Read beyond end of file");
}

TEST(BlockFile, CountedReadsReturnWhatTheFileHolds) {
  TTempDir dir;
  test::WriteFile(dir / "f.bin", "0123456789");
  TBlockFile file = TBlockFile::Open(SystemFileSystem(), dir / "f.bin", TOpenAccess::kReadWrite);
  char buffer[16] = {};
  file.Seek(4);
  EXPECT_EQ(file.ReadCounted(buffer, 16), 6u);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(file.ReadCounted(buffer, 16), 0u);
  EXPECT_EQ(file.Position(), 10);
  EXPECT_EQ(file.Size(), 10);
}

TEST(BlockFile, AReadOnlyOpenRefusesWrites) {
  TTempDir dir;
  test::WriteFile(dir / "f.bin", "data");
  IFileSystem& fs = SystemFileSystem();
  EXPECT_EQ(ErrorOf([&] {
              TBlockFile file = TBlockFile::Open(fs, dir / "f.bin", TOpenAccess::kReadOnly);
              file.WriteExact("x", 1);
            }),
            "File access denied");
  {
    TBlockFile file = TBlockFile::Open(fs, dir / "f.bin", TOpenAccess::kReadWrite);
    file.WriteExact("D", 1);
    file.Close();
  }
  EXPECT_EQ(test::ReadFile(dir / "f.bin"), "Data");
}

TEST(BlockFile, BackslashesSeparateFoldersInNativeBuilds) {
  TTempDir dir;
  test::MakeDirs(dir / "models");
  test::WriteFile(dir / "models/gta3.img", "VER2");
  EXPECT_TRUE(SystemFileSystem().FileExists(dir.Path() + "\\models\\gta3.img"));
  EXPECT_FALSE(SystemFileSystem().FileExists(dir.Path() + "\\models"));
  EXPECT_TRUE(SystemFileSystem().DirectoryExists(dir.Path() + "\\models"));
}

TEST(TFaultyFileSystem, FailsExactlyTheChosenOperation) {
  TTempDir dir;
  test::WriteFile(dir / "f.bin", "0123456789");
  TFaultyFileSystem faulty(SystemFileSystem());
  faulty.FailAt(2, kAccessDenied, {TFileOp::kRead});
  TBlockFile file = TBlockFile::Open(faulty, dir / "f.bin", TOpenAccess::kReadWrite);
  char buffer[4];
  file.ReadExact(buffer, 4);
  EXPECT_EQ(ErrorOf([&] { file.ReadExact(buffer, 4); }), "File access denied");
  EXPECT_TRUE(faulty.Fired());
  file.ReadExact(buffer, 2);  // only the chosen one fails
  EXPECT_EQ(faulty.Count(), 3u);
}

TEST(TextHelpers, CaseFoldingChangesOnlyAsciiLetters) {
  const std::string cyrillic = "Жук";
  EXPECT_EQ(AsciiUpper("infernus.dff"), "INFERNUS.DFF");
  EXPECT_EQ(AsciiUpper("a-z_A-Z09"), "A-Z_A-Z09");
  EXPECT_EQ(AsciiUpper(cyrillic), cyrillic);
  EXPECT_EQ(AsciiLower("Car.DFF"), "car.dff");
  EXPECT_EQ(AsciiLower(cyrillic), cyrillic);
}

TEST(TextHelpers, FileNamePartFollowsTheLastBackslashOrColon) {
  const std::pair<const char*, const char*> cases[] = {{"C:\\Games\\GTA\\x.dff", "x.dff"},
                                                       {"C:x.dff", "x.dff"},
                                                       {"x.dff", "x.dff"},
                                                       {"dir\\", ""},
                                                       {"a:b\\c:d", "d"},
                                                       {"", ""},
                                                       {"a/b.txt", "a/b.txt"}};
  for (const auto& [path, name] : cases) EXPECT_EQ(ExtractFileNamePart(path), name) << path;
}

TEST(Cp1251, EveryByteAgreesWithTheSystemConverter) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (int byte = 1; byte < 256; ++byte) {
    if (byte == 0x98) continue;  // unassigned; Windows keeps it as U+0098
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inp = in;
    char* outp = out;
    size_t inLeft = 1, outLeft = sizeof out;
    ASSERT_NE(iconv(cd, &inp, &inLeft, &outp, &outLeft), static_cast<size_t>(-1)) << byte;
    const std::string expected(out, sizeof out - outLeft);
    EXPECT_EQ(Utf8FromCp1251(std::string(1, in[0])), expected) << byte;
    std::string back;
    EXPECT_TRUE(TryCp1251FromUtf8(expected, back));
    EXPECT_EQ(back, std::string(1, in[0])) << byte;
  }
  iconv_close(cd);
}

TEST(Cp1251, CharactersOutsideThePageAreReported) {
  std::string out;
  EXPECT_FALSE(TryCp1251FromUtf8("snow \xE2\x98\x83", out));  // U+2603
  EXPECT_EQ(out, "snow ?");
  EXPECT_TRUE(TryCp1251FromUtf8("Далее", out));
  EXPECT_EQ(Utf8FromCp1251(out), "Далее");
  EXPECT_FALSE(TryCp1251FromUtf8("\U0001F600", out));
  EXPECT_EQ(out, "?");
  EXPECT_FALSE(TryCp1251FromUtf8("\xC0\xAF", out)) << "an overlong form is no character";
}

// What the Windows edge does with every folder a player may have: UTF-8 to UTF-16 and back,
// the same as the system's converter, and a lone surrogate of a Windows name kept as it is.
TEST(Unicode, Utf16AndBackAgreeWithTheSystemConverter) {
  const char* texts[] = {"C:\\Users\\João\\Área de Trabalho\\GTA San Andreas",
                         "C:\\Users\\Zoë\\Gry\\ąłęż", "D:\\游戏\\GTA San Andreas",
                         "Мод \"1\" 😀 (копия)", ""};
  iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (const char* text : texts) {
    std::string in(text);
    std::string out(in.size() * 4 + 4, '\0');
    char* inp = in.data();
    char* outp = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    ASSERT_NE(iconv(cd, &inp, &inLeft, &outp, &outLeft), static_cast<size_t>(-1)) << text;
    const size_t units = (out.size() - outLeft) / 2;
    std::u16string expected(units, u'\0');
    for (size_t i = 0; i < units; ++i)
      expected[i] = static_cast<char16_t>(static_cast<unsigned char>(out[2 * i]) |
                                          static_cast<unsigned char>(out[2 * i + 1]) << 8);
    EXPECT_EQ(Utf16FromUtf8(text), expected) << text;
    EXPECT_EQ(Utf8FromUtf16(expected), text) << text;
  }
  iconv_close(cd);
  const std::u16string lone = {u'a', 0xD800, u'b', 0xDC01};
  EXPECT_EQ(Utf16FromUtf8(Utf8FromUtf16(lone)), lone);
  EXPECT_EQ(Utf16FromUtf8("a\xFF"), u"a\uFFFD") << "a malformed byte";
}

// XXH3-128 of libxxhash: the same in one piece, in parts and from a file, and a byte changed
// anywhere changes it.
TEST(Fingerprint, WholeInPartsAndOfAFileAgree) {
  std::string data(3 * (1 << 20) + 12345, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7919) >> 5);
  TFingerprint whole;
  whole.Update(data.data(), data.size());
  const std::string digest = whole.HexDigest();
  EXPECT_EQ(digest.size(), 32u);
  TFingerprint parts;
  for (size_t at = 0; at < data.size(); at += 4099)
    parts.Update(data.data() + at, std::min<size_t>(4099, data.size() - at));
  EXPECT_EQ(parts.HexDigest(), digest);
  TTempDir dir;
  test::WriteFile(dir / "f", "head" + data);
  TBlockFile file = TBlockFile::OpenReadOnly(SystemFileSystem(), dir / "f");
  int ticks = 0;
  EXPECT_EQ(FileFingerprint(file, 4, static_cast<int64_t>(data.size()), [&] { ++ticks; }), digest);
  EXPECT_EQ(ticks, 4);
  file.Close();
  for (const size_t at : {size_t{0}, data.size() / 2, data.size() - 1}) {
    std::string changed = data;
    changed[at] ^= 1;
    TFingerprint other;
    other.Update(changed.data(), changed.size());
    EXPECT_NE(other.HexDigest(), digest) << at;
  }
}

TEST(Sha256, KnownDigestsWholeAndInPartsAndOfAFile) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  TTempDir dir;
  for (const auto& [text, digest] : cases) {
    TSha256 whole;
    whole.Update(text.data(), text.size());
    EXPECT_EQ(whole.HexDigest(), digest);
    TSha256 parts;
    for (size_t at = 0; at < text.size(); at += 777)
      parts.Update(text.data() + at, std::min<size_t>(777, text.size() - at));
    EXPECT_EQ(parts.HexDigest(), digest);
    test::WriteFile(dir / "f", text);
    TBlockFile file = TBlockFile::OpenReadOnly(SystemFileSystem(), dir / "f");
    int ticks = 0;
    EXPECT_EQ(FileSha256(file, [&] { ++ticks; }), digest);
    EXPECT_EQ(ticks, static_cast<int>((text.size() + (1 << 20) - 1) >> 20));
    file.Close();
  }
}

TEST(TFileBeside, TakesTheTargetsPlaceOrLeavesNothingBehind) {
  test::TTempDir dir;
  IFileSystem& fs = SystemFileSystem();
  const std::string target = dir / "gta3.img", temp = dir / "gta3.img.new";
  test::WriteFile(target, "old");
  {
    TFileBeside file(fs, temp, target);
    test::WriteFile(file.Path(), "new");
    EXPECT_EQ(test::ReadFile(target), "old");  // untouched until the move
    EXPECT_EQ(file.Replace(), 0);
  }
  EXPECT_EQ(test::ReadFile(target), "new");
  EXPECT_FALSE(test::Exists(temp));
  {
    TFileBeside file(fs, temp, target);
    test::WriteFile(file.Path(), "half-written");
  }  // a writer that failed: the target stays, the half-written file goes
  EXPECT_EQ(test::ReadFile(target), "new");
  EXPECT_FALSE(test::Exists(temp));
  TFaultyFileSystem faulty(fs);
  faulty.FailAt(1, kSharingViolation, {TFileOp::kMove});
  TFileBeside held(faulty, temp, target);
  test::WriteFile(held.Path(), "newer");
  EXPECT_EQ(held.Replace(), kSharingViolation);
  EXPECT_EQ(test::ReadFile(target), "new");
  EXPECT_FALSE(test::Exists(temp));
}

TEST(SystemFileSystem, TellsWhatLiesAtAPathAndWhetherTwoPathsAreOneFile) {
  test::TTempDir dir;
  IFileSystem& fs = SystemFileSystem();
  test::WriteFile(dir / "a.dff", "a");
  test::MakeDirs(dir / "folder");
  EXPECT_EQ(fs.KindOf(dir / "a.dff"), TPathKind::kFile);
  EXPECT_EQ(fs.KindOf(dir / "folder"), TPathKind::kFolder);
  EXPECT_EQ(fs.KindOf(dir / "missing"), TPathKind::kMissing);
  EXPECT_EQ(fs.KindOf("/dev/null"), TPathKind::kOther);
  EXPECT_TRUE(fs.SameFile(dir / "a.dff", dir / "folder\\..\\a.dff"));
  EXPECT_FALSE(fs.SameFile(dir / "a.dff", dir / "missing"));
  EXPECT_EQ(fs.AbsolutePath(dir / "a.dff"), dir / "a.dff");  // already from the root
  const std::string relative = fs.AbsolutePath("x\\y");
  EXPECT_EQ(relative.substr(relative.size() - 4), "\\x\\y");
  EXPECT_EQ(relative[0], '\\');
}

// Names as Windows compares and refuses them: final dots and spaces, case of Latin and Cyrillic
// letters, device names with any extension, refused characters.
TEST(WindowsNames, AreComparedAndRefusedAsWindowsDoes) {
  const std::pair<const char*, const char*> sameKey[] = {
      {"gta3.img", "GTA3.IMG. . "},
      {"Моды", "МОДЫ"},
      {"ёж", "ЁЖ"},
      {"ґ", "Ґ"},
  };
  for (const auto& [a, b] : sameKey) EXPECT_EQ(WindowsNameKey(a), WindowsNameKey(b)) << a;
  EXPECT_NE(WindowsNameKey("gta3.img"), WindowsNameKey("gta3.imgx"));
  EXPECT_EQ(WindowsPathKey({"data", "x.txt "}), WindowsPathKey({"DATA.", "X.TXT"}));

  const std::pair<const char*, const char*> faults[] = {
      {"NUL", "reserves the name NUL"},  {"nul.txt", "reserves the name nul.txt"},
      {"Com7.dat", "reserves the name"}, {"aux .txt", "reserves the name"},
      {"CONIN$", "reserves the name"},   {"a?b", "character '?'"},
      {"a:b", "character ':'"},          {"tab\there", "control characters"},
      {"...", "dots and spaces alone"},  {" ", "dots and spaces alone"},
  };
  for (const auto& [name, says] : faults)
    EXPECT_NE(WindowsNameFault(name).find(says), std::string::npos) << name;
  for (const char* fine : {"console.txt", "COM10", "nullable.dff", "lpt.txt", "данные"})
    EXPECT_EQ(WindowsNameFault(fine), "") << fine;
}

}  // namespace
}  // namespace merva
