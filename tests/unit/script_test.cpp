#include "script/script.h"

#include <gtest/gtest.h>

#include "core/errors.h"
#include "script/install_items.h"
#include "tests/support/fakes.h"
#include "tests/support/faulty_file_system.h"

namespace merva {
namespace {

using test::ScriptBytes;
using test::TFakeBoxes;
using test::TTempDir;

struct TLoaded {
  TDATAInst Script;
  std::vector<test::TShownBox> Boxes;
  std::vector<std::string> Levels;
};

TLoaded Load(const std::string& bytes) {
  TTempDir dir;
  test::WriteFile(dir / "scripts.bin", bytes);
  TLoaded result;
  TFakeBoxes boxes;
  LoadScript(
      result.Script, SystemFileSystem(), boxes,
      [&](const std::string& level) { result.Levels.push_back(level); }, dir / "scripts.bin");
  result.Boxes = boxes.Shown;
  return result;
}

std::string Record(uint8_t tag, int32_t length, const std::string& stored) {
  std::string bytes(1, static_cast<char>(tag));
  bytes.append(reinterpret_cast<const char*>(&length), 4);
  return bytes + stored;
}

TEST(DescrambleScriptText, FirstByteStaysTheOthersLose32) {
  struct TCase {
    std::vector<uint8_t> stored;
    int32_t length;
    std::vector<uint8_t> text;
  };
  const TCase cases[] = {
      {{0x41, 0x61, 0x62}, 3, {0x41, 0x41, 0x42}},
      {{0x41, 0x10}, 2, {0x41, 0xF0}},
      {{0x99}, 1, {0x99}},
      {{0x99, 0x99}, 0, {0x99, 0x99}},
      {{0x50, 0x50, 0x50}, 2, {0x50, 0x30, 0x50}},  // only the first `length` bytes
  };
  for (const TCase& c : cases) {
    std::vector<uint8_t> buffer = c.stored;
    DescrambleScriptText(buffer.data(), buffer.size(), c.length);
    EXPECT_EQ(buffer, c.text);
  }
}

TEST(LoadScript, ExactlyTheHeaderLoadsNothingWithoutAMessage) {
  const TLoaded loaded = Load(ScriptBytes({}));
  EXPECT_TRUE(loaded.Boxes.empty());
  EXPECT_TRUE(loaded.Script.Title.empty());
  EXPECT_TRUE(loaded.Script.ArchiveFiles.empty());
  EXPECT_TRUE(loaded.Script.GameFiles.empty());
}

TEST(LoadScript, AWrongOrMissingVersionMarkIsToldOnceAndLoadingGoesOn) {
  for (const std::string& bytes : {std::string(), std::string("\0\0\0\0\0\0"
                                                              "1.",
                                                              8)}) {
    const TLoaded loaded = Load(bytes);
    ASSERT_EQ(loaded.Boxes.size(), 1u);
    EXPECT_EQ(loaded.Boxes[0].Text, "Unknow version of script-file or file damaged");
    EXPECT_EQ(loaded.Boxes[0].Kind, TBoxKind::kPlain);
  }
  const TLoaded loaded = Load(ScriptBytes({{20, "Title"}}, "1.1"));
  EXPECT_EQ(loaded.Boxes.size(), 1u);
  EXPECT_EQ(loaded.Script.Title, "Title");
}

TEST(LoadScript, EveryTagReachesItsField) {
  const TLoaded loaded = Load(ScriptBytes({{20, "T"},
                                           {11, "welcome"},
                                           {12, "agreement"},
                                           {13, "folder"},
                                           {14, "progress"},
                                           {15, "finish"},
                                           {10, "refusal"},
                                           {22, "agree"},
                                           {1, "a.dff"},
                                           {2, "data\\b.ide"},
                                           {1, "c.txd"},
                                           {21, "1.0"}}));
  const TDATAInst& s = loaded.Script;
  EXPECT_EQ(s.Title, "T");
  EXPECT_EQ(s.WelcomeText, "welcome");
  EXPECT_EQ(s.AgreementText, "agreement");
  EXPECT_EQ(s.FolderText, "folder");
  EXPECT_EQ(s.ProgressText, "progress");
  EXPECT_EQ(s.FinishText, "finish");
  EXPECT_EQ(s.RefusalText, "refusal");
  EXPECT_EQ(s.AgreeCaption, "agree");
  EXPECT_EQ(s.Level, "1.0");
  EXPECT_EQ(s.ArchiveFiles, (std::vector<std::string>{"a.dff", "c.txd"}));
  EXPECT_EQ(s.GameFiles, (std::vector<std::string>{"data\\b.ide"}));
  EXPECT_EQ(loaded.Levels, (std::vector<std::string>{"1.0"}));
}

TEST(LoadScript, LaterTextRecordsReplaceAndListRecordsAppend) {
  const TLoaded loaded =
      Load(ScriptBytes({{20, "first"}, {20, "second"}, {1, "x"}, {1, "y"}, {1, "x"}}));
  EXPECT_EQ(loaded.Script.Title, "second");
  EXPECT_EQ(loaded.Script.ArchiveFiles, (std::vector<std::string>{"x", "y", "x"}));
}

TEST(LoadScript, AZeroLengthRecordIsAppliedAndEndsLoading) {
  const TLoaded loaded = Load(ScriptBytes({{20, "title"}, {2, ""}, {11, "never"}}));
  EXPECT_EQ(loaded.Script.Title, "title");
  EXPECT_EQ(loaded.Script.GameFiles, (std::vector<std::string>{""}));
  EXPECT_TRUE(loaded.Script.WelcomeText.empty());

  const TLoaded level = Load(ScriptBytes({{21, ""}, {20, "never"}}));
  EXPECT_EQ(level.Levels, (std::vector<std::string>{""}));
  EXPECT_TRUE(level.Script.Title.empty());
}

TEST(LoadScript, UnassignedTagsAreSkipped) {
  const std::string filler(100, 'z');
  for (uint8_t tag : {0, 7, 255}) {
    const TLoaded loaded = Load(ScriptBytes({{tag, filler}, {20, "after"}}));
    EXPECT_EQ(loaded.Script.Title, "after") << int(tag);
  }
}

TEST(LoadScript, PayloadsKeepEveryByteUpToTheLimit) {
  const std::string full(2048, 'q');
  const std::string withZero("a\0b", 3);
  const TLoaded loaded = Load(ScriptBytes({{11, full}, {12, withZero}}));
  EXPECT_EQ(loaded.Script.WelcomeText, full);
  EXPECT_EQ(loaded.Script.AgreementText, withZero);
}

TEST(LoadScript, DamagedLengthsStopLoadingWithTheMessageOnce) {
  for (int32_t length : {-1, 2049, INT32_MIN}) {
    const TLoaded loaded =
        Load(ScriptBytes({{20, "kept"}}, "1.1") + Record(11, length, "abc") + Record(12, 1, "x"));
    EXPECT_EQ(loaded.Script.Title, "kept");
    EXPECT_TRUE(loaded.Script.WelcomeText.empty());
    EXPECT_TRUE(loaded.Script.AgreementText.empty());
    EXPECT_EQ(loaded.Boxes.size(), 1u) << length;  // one message, for the version and the length
  }
}

TEST(LoadScript, AnIncompleteLastRecordIsNotApplied) {
  const std::string base = ScriptBytes({{20, "long title"}});
  const std::string cases[] = {
      std::string(1, 20),              // only the tag
      std::string("\x14\x05\x00", 3),  // inside the length
      Record(20, 10, "sho"),           // inside the payload
  };
  for (const std::string& tail : cases) {
    const TLoaded loaded = Load(base + tail);
    EXPECT_EQ(loaded.Script.Title, "long title");
    EXPECT_TRUE(loaded.Boxes.empty());
  }
  const TLoaded complete = Load(base);  // a file that ends after a whole record
  EXPECT_EQ(complete.Script.Title, "long title");
}

TEST(LoadScript, OpensTheScriptReadOnly) {
  TTempDir dir;
  test::WriteFile(dir / "scripts.bin", ScriptBytes({{20, "ro"}}));
  TAccessSpy spy;
  TDATAInst script;
  TFakeBoxes boxes;
  LoadScript(script, spy, boxes, nullptr, dir / "scripts.bin");
  EXPECT_EQ(script.Title, "ro");
  EXPECT_EQ(spy.Accesses, (std::vector<TOpenAccess>{TOpenAccess::kReadOnly}));
}

TEST(LoadScript, AMissingScriptRaisesAnInputOutputError) {
  TTempDir dir;
  TDATAInst script;
  TFakeBoxes boxes;
  EXPECT_THROW(LoadScript(script, SystemFileSystem(), boxes, nullptr, dir / "scripts.bin"),
               EInOutError);
}

TEST(LoadScript, AnErrorFromTheLevelCheckEndsLoadingThere) {
  TTempDir dir;
  test::WriteFile(dir / "scripts.bin", ScriptBytes({{20, "a"}, {21, "x"}, {11, "never"}}));
  TDATAInst script;
  TFakeBoxes boxes;
  EXPECT_THROW(LoadScript(
                   script, SystemFileSystem(), boxes,
                   [](const std::string&) { throw EConvertError("bad"); }, dir / "scripts.bin"),
               EConvertError);
  EXPECT_EQ(script.Title, "a");
  EXPECT_TRUE(script.WelcomeText.empty());
}

TEST(ReadInstallItems, AGameFileItemIsReadOnceIntoItsPlaceAndItsPackageFile) {
  struct TCase {
    std::string item, packageName, path;
    std::vector<std::string> folders;
  };
  const TCase cases[] = {
      {"data\\maps\\x.ide", "x.ide", "data\\maps\\x.ide", {"data", "data\\maps"}},
      {"data\\.\\\\x.ide", "x.ide", "data\\x.ide", {"data"}},
      {"data/x.ide", "data/x.ide", "data\\x.ide", {"data"}},  // "/" parts a place, not a name
      {"top.txt", "top.txt", "top.txt", {}},
      {"data\\", "", "data", {}},  // names no package file
      {"", "", "", {}},
  };
  for (const TCase& c : cases) {
    TDATAInst script;
    script.GameFiles = {c.item};
    script.ArchiveFiles = {"a.dff", ""};
    const TInstallItems items = ReadInstallItems(script);
    ASSERT_EQ(items.GameFiles.size(), 1u);
    const TGameFileItem& item = items.GameFiles[0];
    EXPECT_EQ(item.Item, c.item);
    EXPECT_EQ(item.PackageName, c.packageName) << c.item;
    EXPECT_EQ(item.Path, c.path) << c.item;
    EXPECT_EQ(item.Folders, c.folders) << c.item;
    ASSERT_EQ(items.ArchiveFiles.size(), 2u);
    EXPECT_EQ(items.ArchiveFiles[0].PackageName, "a.dff");
  }
}

TEST(ReadInstallItems, ItemsOutsideTheGameFolderOrOfTheInstallersOwnAreRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"..\\x.ide", "outside the game folder"},
      {"C:\\x.ide", "outside the game folder"},
      {"\\x.ide", "outside the game folder"},
      {"data\\..\\..\\x", "outside the game folder"},
      {"data\\handling.cfg:stream", "Windows cannot hold"},
      {"MODELS\\gta3.IMG", "the installer itself uses"},
      {"models\\.\\temp.img", "the installer itself uses"},
      {"merva-install.tmp\\1.new", "the installer itself uses"},
      {"Merva.Lock", "the installer itself uses"},
  };
  for (const auto& [item, says] : cases) {
    TDATAInst script;
    script.GameFiles = {"fine.txt", item};
    try {
      ReadInstallItems(script);
      ADD_FAILURE() << item;
    } catch (const Exception& error) {
      EXPECT_NE(error.Message().find(says), std::string::npos) << item << ": " << error.Message();
    }
  }
}

}  // namespace
}  // namespace merva
