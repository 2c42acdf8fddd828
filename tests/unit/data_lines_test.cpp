// Merging lines into the game's data files by key: each kind's table of cases, byte for byte.
#include "data/data_lines.h"

#include <gtest/gtest.h>

#include <set>

#include "core/errors.h"
#include "data/data_rules.h"
#include "data/mod_lines.h"
#include "data/model_ids.h"
#include "items/data_lines_kind.h"

namespace merva {
namespace {

struct TMergeCase {
  const char* Name;
  const char* File;  // relative to the game folder
  std::string Before;
  std::vector<TDataEdit> Edits;
  std::string After;
  std::vector<std::optional<std::string>> Old;  // what each edit found
};

// A gun's line as the stock weapon.dat writes it: the fire offset (0.25 0.05 0.09) before the
// skill level.
std::string PistolLine(int skill, const std::string& damage) {
  return "$ PISTOL\t\tINSTANT_HIT\t35.0 35.0\t346\t-1\t2\tcolt45\t17\t " + damage +
         "\t0.25 0.05 0.09\t" + std::to_string(skill) + " 0\t0.75 1.0\t6 17 6";
}
std::string PistolLineCrlf(int skill, const std::string& damage) {
  return PistolLine(skill, damage) + "\r\n";
}

const std::string kCar = "INFERNUS 1400.0 2725.3 1.5";
const std::string kCarNew = "INFERNUS 1500.0 2725.3 1.5";

const TMergeCase kMergeCases[] = {
    {"HandlingReplacedInPlaceKeepsItsBreak",
     "data\\handling.cfg",
     "; cars\r\n" + kCar + "\r\nCHEETAH 1200.0\r\n;the end\r\n",
     {{"", "INFERNUS", kCarNew}},
     "; cars\r\n" + kCarNew + "\r\nCHEETAH 1200.0\r\n;the end\r\n",
     {kCar}},
    {"HandlingAddedAfterTheLastCarBeforeTheBoats",
     "data\\handling.cfg",
     "CHEETAH 1200.0\n% PREDATOR 2200.0\n;the end\n",
     {{"", "MYCAR", std::string("MYCAR 1000.0")}},
     "CHEETAH 1200.0\nMYCAR 1000.0\n% PREDATOR 2200.0\n;the end\n",
     {std::nullopt}},
    {"HandlingBikeKeyedByItsMarker",
     "data\\handling.cfg",
     "PCJ600 500.0\n! PCJ600 0.1\n;the end\n",
     {{"!", "PCJ600", std::string("! PCJ600 0.2")}},
     "PCJ600 500.0\n! PCJ600 0.2\n;the end\n",
     {std::string("! PCJ600 0.1")}},
    {"HandlingNothingAfterTheEndIsRead",
     "data\\handling.cfg",
     "; only comments\r\n;the end\r\nMYCAR 1.0\r\n",
     {{"", "MYCAR", std::string("MYCAR 2.0")}},
     "; only comments\r\nMYCAR 2.0\r\n;the end\r\nMYCAR 1.0\r\n",
     {std::nullopt}},
    {"HandlingLineTakenOut",
     "data\\handling.cfg",
     "CHEETAH 1200.0\nMYCAR 1000.0\n;the end\n",
     {{"", "MYCAR", std::nullopt}},
     "CHEETAH 1200.0\n;the end\n",
     {std::string("MYCAR 1000.0")}},
    {"IdeAddedBeforeTheEndOfItsSectionByModelId",
     "data\\vehicles.ide",
     "# vehicles\r\ncars\r\n400, landstal, landstal\r\nend\r\npeds\r\nend\r\n",
     {{"cars", "611", std::string("611, mycar, mycar")},
      {"cars", "400", std::string("400, landstal2, landstal")}},
     "# vehicles\r\ncars\r\n400, landstal2, landstal\r\n611, mycar, "
     "mycar\r\nend\r\npeds\r\nend\r\n",
     {std::nullopt, std::string("400, landstal, landstal")}},
    {"IdeSectionMadeAtTheEndWhenMissing",
     "data\\default.ide",
     "objs\nend",
     {{"weap", "372", std::string("372, tec9, tec9")}},
     "objs\nend\nweap\n372, tec9, tec9\nend",
     {std::nullopt}},
    {"CarcolsColoursOnlyAddedAtTheEnd",
     "data\\carcols.dat",
     "col\n0,0,0\n245,245,245\nend\ncar\nlandstal, 4,1\nend\n",
     {{"col", "", std::string("12,34,56")}, {"car", "landstal", std::string("landstal, 5,1")}},
     "col\n0,0,0\n245,245,245\n12,34,56\nend\ncar\nlandstal, 5,1\nend\n",
     {std::nullopt, std::string("landstal, 4,1")}},
    // Cars name their colours by number: one taken out of the middle keeps its place, free; free
    // places go only where no colour follows them, and a new colour takes the first.
    {"ColourTakenOutOfTheMiddleKeepsItsPlace",
     "data\\carcols.dat",
     "col\r\n0,0,0\r\n1,1,1 # 1 mod A\r\n2,2,2 # 2 mod B\r\nend\r\n",
     {{"col", "#1", std::nullopt}},
     "col\r\n0,0,0\r\n" + std::string(kFreeColour) + "\r\n2,2,2 # 2 mod B\r\nend\r\n",
     {std::string("1,1,1 # 1 mod A")}},
    {"ColourTakenOutOfTheEndTakesTheFreePlacesBeforeIt",
     "data\\carcols.dat",
     "col\n0,0,0\n" + std::string(kFreeColour) + "\n2,2,2\nend\n",
     {{"col", "#2", std::nullopt}},
     "col\n0,0,0\nend\n",
     {std::string("2,2,2")}},
    {"ColourAddedIntoTheFirstFreePlace",
     "data\\carcols.dat",
     "col\n0,0,0\n" + std::string(kFreeColour) + "\n2,2,2\n" + kFreeColour + "\n3,3,3\nend\n",
     {{"col", "", std::string("9,9,9")}},
     "col\n0,0,0\n9,9,9\n2,2,2\n" + std::string(kFreeColour) + "\n3,3,3\nend\n",
     {std::nullopt}},
    {"SectionTheMergeEmptiesAtTheEndGoes",
     "data\\default.ide",
     "objs\nend\nweap\n372, tec9, tec9\nend",
     {{"weap", "372", std::nullopt}},
     "objs\nend",
     {std::string("372, tec9, tec9")}},
    {"CarmodsLinkByTheModelPairModsByTheModel",
     "data\\carmods.dat",
     "link\nexh_a_s, exh_a_m\nend\nmods\nlandstal, nto_b_l\nend\n",
     {{"link", "exh_b_s exh_b_m", std::string("exh_b_s, exh_b_m")},
      {"mods", "landstal", std::string("LANDSTAL, nto_b_l, nto_b_s")}},
     "link\nexh_a_s, exh_a_m\nexh_b_s, exh_b_m\nend\nmods\nLANDSTAL, nto_b_l, nto_b_s\nend\n",
     {std::nullopt, std::string("landstal, nto_b_l")}},
    {"GtaDatKeptInItsKeywordsGroup",
     "data\\gta.dat",
     "IMG DATA\\PATHS\\CARREC.IMG\r\nIDE DATA\\VEHICLES.IDE\r\nIPL DATA\\MAPS\\A.IPL\r\n",
     {{"IDE", "ide data\\maps\\my.ide", std::string("IDE DATA\\MAPS\\MY.IDE")}},
     "IMG DATA\\PATHS\\CARREC.IMG\r\nIDE DATA\\VEHICLES.IDE\r\nIDE DATA\\MAPS\\MY.IDE\r\nIPL "
     "DATA\\MAPS\\A.IPL\r\n",
     {std::nullopt}},
    {"ObjectAddedBeforeTheStar",
     "data\\object.dat",
     "; objects\nbarrel1 100 200\n*\n",
     {{"", "crate9", std::string("crate9 10 20")}},
     "; objects\nbarrel1 100 200\ncrate9 10 20\n*\n",
     {std::nullopt}},
    {"WeaponGunKeyedByNameAndSkillNotByItsFireOffset",
     "data\\weapon.dat",
     PistolLineCrlf(0, "25") + PistolLineCrlf(1, "25") + PistolLineCrlf(2, "25") +
         "ENDWEAPONDATA\r\n",
     {{"$", "PISTOL 2", PistolLine(2, "40")}},
     PistolLineCrlf(0, "25") + PistolLineCrlf(1, "25") + PistolLineCrlf(2, "40") +
         "ENDWEAPONDATA\r\n",
     {PistolLine(2, "25")}},
    {"HandlingIdentifierTwiceTheLastCopyIsTheGamesOne",
     "data\\handling.cfg",
     "INFERNUS 1.0\r\nCHEETAH 1200.0\r\nINFERNUS 2.0\r\n;the end\r\n",
     {{"", "INFERNUS", std::string("INFERNUS 3.0")}},
     "INFERNUS 1.0\r\nCHEETAH 1200.0\r\nINFERNUS 3.0\r\n;the end\r\n",
     {std::string("INFERNUS 2.0")}},
    {"ObjectAddedBeforeTheStockDecoratedEnd",
     "data\\object.dat",
     "; objects\r\nbarrel1 100 200\r\n*********melee weapons*************\r\nknife 1 2\r\n"
     "* ;end of file\r\n",
     {{"", "crate9", std::string("crate9 10 20")}},
     "; objects\r\nbarrel1 100 200\r\ncrate9 10 20\r\n*********melee weapons*************\r\n"
     "knife 1 2\r\n* ;end of file\r\n",
     {std::nullopt}},
    {"AfterALastLineWithoutABreakTheNewLineEndsTheFile",
     "data\\gtasa_vehicleAudioSettings.cfg",
     "landstal 0 1",
     {{"", "mycar", std::string("mycar 0 2")}},
     "landstal 0 1\r\nmycar 0 2",
     {std::nullopt}},
    {"TheLastLineTakenOutTheFileEndsAsItDid",
     "data\\gtasa_vehicleAudioSettings.cfg",
     "landstal 0 1\r\nmycar 0 2",
     {{"", "mycar", std::nullopt}},
     "landstal 0 1",
     {std::string("mycar 0 2")}},
    {"BytesOutsideAsciiAndSpacingKept",
     "data\\object.dat",
     "; \xC7\xE0\xEC\xE5\xF2\xEA\xE0\r\nbarrel1   100\t200\r\ncrate9 1\r\n",
     {{"", "crate9", std::string("crate9 2")}},
     "; \xC7\xE0\xEC\xE5\xF2\xEA\xE0\r\nbarrel1   100\t200\r\ncrate9 2\r\n",
     {std::string("crate9 1")}},
};

class DataMerge : public testing::TestWithParam<TMergeCase> {};

TEST_P(DataMerge, GivesTheFileByteForByte) {
  const TMergeCase& c = GetParam();
  const TDataRule* rule = DataRuleOf(c.File);
  ASSERT_NE(rule, nullptr);
  std::vector<TDataLine> lines = ReadDataLines(*rule, c.Before);
  ASSERT_EQ(DataBytes(lines), c.Before);
  const std::vector<TDataOutcome> outcomes = ApplyDataEdits(*rule, lines, c.Edits);
  EXPECT_EQ(DataBytes(lines), c.After);
  // Keyed as the merged file reads back.
  const std::vector<TDataLine> again = ReadDataLines(*rule, DataBytes(lines));
  ASSERT_EQ(again.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].Section + "|" + lines[i].Key + "|" + std::to_string(lines[i].Opens) +
                  std::to_string(lines[i].Closes),
              again[i].Section + "|" + again[i].Key + "|" + std::to_string(again[i].Opens) +
                  std::to_string(again[i].Closes))
        << i;
  ASSERT_EQ(outcomes.size(), c.Old.size());
  for (size_t i = 0; i < outcomes.size(); ++i) EXPECT_EQ(outcomes[i].Old, c.Old[i]) << i;
  // Plan, status and undo find each line where the installation put it.
  const auto now = DataLinesKind().ReadItems(c.File, DataBytes(lines));
  for (const TDataOutcome& outcome : outcomes) {
    if (outcome.Key.empty()) continue;
    EXPECT_EQ(now->Find(outcome.Section, outcome.Key), outcome.New) << outcome.Key;
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DataMerge, testing::ValuesIn(kMergeCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(DataRules, FileWithoutARuleHasNone) {
  EXPECT_EQ(DataRuleOf("data\\timecyc.dat"), nullptr);
  EXPECT_EQ(DataRuleOf("data\\.ide"), nullptr);
  ASSERT_NE(DataRuleOf("DATA\\MAPS\\LA\\LAn.IDE"), nullptr);
  EXPECT_EQ(DataRuleOf("DATA\\MAPS\\LA\\LAn.IDE")->Kind, TDataKind::kIde);
  // As Windows reads the name.
  ASSERT_NE(DataRuleOf("data\\HANDLING.CFG. "), nullptr);
  EXPECT_EQ(DataRuleOf("data\\HANDLING.CFG. ")->Kind, TDataKind::kHandling);
}

TEST(DataMerge, ASectionIsNotMadeInsideOneTheFileLeavesOpen) {
  const TDataRule& rule = *DataRuleOf("data\\carmods.dat");
  std::vector<TDataLine> lines = ReadDataLines(rule, "link\na, b\n");
  EXPECT_THROW(ApplyDataEdits(rule, lines, {{"mods", "landstal", "landstal, y"}}), EDataFileOpen);
  // Into the open section itself, the line goes where the game reads it.
  ApplyDataEdits(rule, lines, {{"link", "c d", "c, d"}});
  EXPECT_EQ(DataBytes(lines), "link\na, b\nc, d\n");
}

// A handling.cfg of the stock file's size (about 64,500 bytes, CRLF) takes a mod's line: the
// 55,000-byte limit of public pages is not San Andreas'.
TEST(DataMerge, AStockSizedHandlingFileTakesAModsLine) {
  std::string stock = "; handling\r\n";
  for (int car = 0; stock.size() < 64500; ++car)
    stock += "CAR" + std::to_string(car) + std::string(300, ' ').replace(0, 1, "\t1.5") + "\r\n";
  stock += "INFERNUS 1400.0\r\n;the end\r\n";
  std::vector<TDataOutcome> outcomes;
  const std::string merged = DataLinesKind().Put("data\\handling.cfg", stock,
                                                 {{"", "INFERNUS", "INFERNUS 1500.0"}}, outcomes);
  EXPECT_GT(merged.size(), 64500u);
  EXPECT_NE(merged.find("INFERNUS 1500.0\r\n;the end\r\n"), std::string::npos);
}

TEST(DataMerge, AColourAddedIsKnownByItsPosition) {
  const TDataRule& rule = *DataRuleOf("data\\carcols.dat");
  std::vector<TDataLine> lines = ReadDataLines(rule, "col\n0,0,0\nend\n");
  const std::vector<TDataOutcome> outcomes = ApplyDataEdits(rule, lines, {{"col", "", "1,2,3"}});
  EXPECT_EQ(outcomes.at(0).Key, "#1");
}

}  // namespace
}  // namespace merva

namespace merva {
namespace {

std::string CarLine(const std::string& id, size_t values = 35) {
  std::string line = id;
  for (size_t i = 1; i <= values; ++i)
    line += i == 15 ? " R" : i == 16 ? " P" : i == 31 || i == 32 ? " 4000A" : " 1.5";
  return line;
}

struct TRefusalCase {
  const char* Name;
  const char* File;
  std::string Lines;
  const char* Says;  // part of the refusal
};

const TRefusalCase kRefusals[] = {
    {"CarWithAValueMissing", "data\\handling.cfg", CarLine("MYCAR", 34) + "\n",
     "line 1: a car's handling line has 36 fields"},
    {"WordWhereTheGameReadsANumber", "data\\handling.cfg",
     "; mine\n" + CarLine("MYCAR").replace(6, 3, "abc") + "\n", "line 2: field 2 (abc)"},
    {"LongerThanTheGameReads", "data\\handling.cfg",
     CarLine("MYCAR") + std::string(400, ' ') + "\n", "characters long; the game reads 509"},
    {"BikeValueNotANumber", "data\\handling.cfg", "! PCJ600 abc 1.0\n", "line 1: field 3 (abc)"},
    {"CarDefinitionCutShort", "data\\vehicles.ide", "cars\n611, mycar, mycar, car\nend\n",
     "line 2: a car's definition has at least 11 fields"},
    {"ColourNotThreeNumbers", "data\\carcols.dat", "col\n1,2\nend\n", "a colour is three numbers"},
    {"IdeLineOutsideASection", "data\\vehicles.ide", "611, mycar, mycar\n", "outside a section"},
    {"IdeModelIdNotANumber", "data\\vehicles.ide", "cars\nID, mycar, mycar\nend\n",
     "line 2: has no key"},
    {"KeyGivenTwice", "data\\object.dat", "crate9 1\ncrate9 2\n", "line 2: gives crate9 again"},
    {"GunWithoutItsSkill", "data\\weapon.dat", "$ PISTOL INSTANT_HIT 35\n",
     "skill level in field 15"},
    {"AfterTheLastLineTheGameReads", "data\\handling.cfg", ";the end\n" + CarLine("MYCAR") + "\n",
     "line 2: lies after"},
    // An automatic ID stands only where the game reads a model's ID.
    {"AutomaticIdAsATextureDictionary", "data\\maps\\mine.ide",
     "objs\n@mybox, mybox, @mybox, 100, 0\nend\n", "line 2: @mybox stands as field 3"},
    {"AutomaticIdAsAPlacedModelsName", "data\\maps\\mine.ipl",
     "inst\n615, @mybox, 0, 1, 2, 3, 0, 0, 0, 1, -1\nend\n", "where the game reads no model ID"},
    {"AutomaticIdInAFileWithoutModelIds", "data\\handling.cfg", CarLine("@MYCAR") + "\n",
     "where the game reads no model ID"},
    {"PlacementNamingItsLodByPlace", "data\\maps\\mine.ipl",
     "inst\n@mybox, mybox, 0, 1, 2, 3, 0, 0, 0, 1, 7\nend\n", "write -1"},
};

class ModLineRefusal : public testing::TestWithParam<TRefusalCase> {};

TEST_P(ModLineRefusal, NamesTheTextTheLineAndTheFile) {
  const TRefusalCase& c = GetParam();
  try {
    ReadModLines(*DataRuleOf(c.File), c.File, c.Lines, "files/lines.txt");
    FAIL() << "accepted";
  } catch (const EFileError& error) {
    EXPECT_EQ(error.Path(), "files/lines.txt");
    EXPECT_NE(error.Text().find(c.Says), std::string::npos) << error.what();
    EXPECT_NE(error.Text().find(std::string("for ") + c.File), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ModLineRefusal, testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(ModLines, KeyedAsTheFileIsWithSectionsAndColoursToAdd) {
  const std::vector<TDataEdit> edits =
      ReadModLines(*DataRuleOf("data\\carcols.dat"), "data\\carcols.dat",
                   "# mine\r\ncol\r\n1,2,3\r\nend\r\ncar\r\nMyCar, 1,1\r\nend\r\n", "lines.txt");
  ASSERT_EQ(edits.size(), 2u);
  EXPECT_EQ(edits[0].Section, "col");
  EXPECT_EQ(edits[0].Key, "");
  EXPECT_EQ(edits[1].Key, "mycar");
  EXPECT_EQ(edits[1].Text, "MyCar, 1,1");
  const TDataRule& handling = *DataRuleOf("data\\handling.cfg");
  EXPECT_EQ(ReadModLines(handling, "data\\handling.cfg", CarLine("MYCAR"), "l").at(0).Key, "MYCAR");
}

// Lines as real files and readmes write them, each taken as the game takes it.
// The lowest free ID of a section's range, and the choice written over the name and nothing else.
TEST(ModelIds, TheLowestFreeIdIsWrittenWhereTheNameStood) {
  const TModelIdRange& cars = *ModelIdRangeOf("cars");
  EXPECT_EQ(LowestFreeId(cars, {}), 400);
  EXPECT_EQ(LowestFreeId(cars, {1, 400, 401, 403, 900}), 402);
  std::set<int32_t> full;
  for (int32_t id = cars.First; id <= cars.Last; ++id) full.insert(id);
  EXPECT_EQ(LowestFreeId(cars, full), -1);
  EXPECT_EQ(ModelIdRangeOf("txdp"), nullptr);
  const TDataRule& ipl = *DataRuleOf("data\\maps\\mine.ipl");
  EXPECT_EQ(WithChosenIds(ipl, "@MyBox,\tmybox, 0, @other, @myboxes", {{"@mybox", 615}}),
            "615,\tmybox, 0, @other, @myboxes");
}

TEST(ModLines, ReadAsRealFilesWriteThem) {
  const TDataRule& handling = *DataRuleOf("data\\handling.cfg");
  // Saved by Notepad as "UTF-8 with BOM": the mark is no part of the identifier.
  EXPECT_EQ(ReadModLines(handling, "data\\handling.cfg", "\xEF\xBB\xBF" + CarLine("INFERNUS"), "l")
                .at(0)
                .Key,
            "INFERNUS");
  // A readme's line of more than 200 characters, tabs included: San Andreas reads it whole.
  std::string stretch = CarLine("STRETCH");
  for (char& c : stretch)
    if (c == ' ') c = '\t';
  stretch += std::string(210 - stretch.size(), '\t');
  EXPECT_EQ(ReadModLines(handling, "data\\handling.cfg", stretch, "l").size(), 1u);
  // The stock file's three skill lines of one gun are three items.
  EXPECT_EQ(
      ReadModLines(*DataRuleOf("data\\weapon.dat"), "data\\weapon.dat",
                   PistolLineCrlf(0, "25") + PistolLineCrlf(1, "25") + PistolLineCrlf(2, "25"), "l")
          .size(),
      3u);
  // A colour as the stock carcols.dat writes it.
  EXPECT_EQ(ReadModLines(*DataRuleOf("data\\carcols.dat"), "data\\carcols.dat",
                         "col\r\n60,70,80 # 127 new blue\r\nend\r\n", "l")
                .size(),
            1u);
}

}  // namespace
}  // namespace merva
