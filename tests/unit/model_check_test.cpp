// A mod's models, texture dictionaries and collisions judged from their headers, as made here:
// each kind, version and platform, whole and cut short.
#include "package/model_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "operations/mod_files_check.h"
#include "tests/support/renderware_files.h"

namespace merva {
namespace {

using test::RenderWareChunk;
using test::TextureDictionary;

std::string Dword(uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

TEST(ModelCheck, JudgesEachKindByItsHeaders) {
  const std::string model = test::RenderWareModel();
  const std::string collision = "COL3" + Dword(20) + std::string(20, 'k');
  const struct {
    const char* Name;
    std::string Bytes;
    TModelVerdict Verdict;
    const char* Why;
  } cases[] = {
      {"car.dff", model, TModelVerdict::kFine, ""},
      {"CAR.DFF", model.substr(0, model.size() - 5), TModelVerdict::kRefuse,
       "it is cut short: its data runs 5 bytes past the end of the file"},
      {"car.dff", RenderWareChunk(0x10, "x", 0x1003FFFF), TModelVerdict::kWarn,
       "it was made with RenderWare 3.4.0.3, older than the game's 3.6.0.3"},
      {"car.dff", RenderWareChunk(0x10, "x", 0x00000310), TModelVerdict::kWarn,
       "it was made with RenderWare 3.1.0.0, older"},
      {"car.dff", RenderWareChunk(0x10, "x", 0x1C02FFFF), TModelVerdict::kWarn,
       "RenderWare 3.7.0.2, newer than the game's 3.6.0.3"},
      {"car.dff", TextureDictionary(9), TModelVerdict::kWarn,
       "it is not a model the game can read: it is a texture dictionary"},
      {"car.dff", "hello, a readme", TModelVerdict::kWarn,
       "it is no RenderWare file (it starts with 0x6C6C6568)"},
      {"car.dff", "MZ", TModelVerdict::kWarn, "it is too short to be RenderWare"},
      {"car.dff", test::FramedModel("chassis_dummy", true), TModelVerdict::kFine, ""},
      {"car.dff", test::FramedModel("Chassis_Dummy", false), TModelVerdict::kWarn,
       "it is a vehicle model without its collision (chunk 0x0253F2FA)"},
      {"lamp.dff", test::FramedModel("lamppost", false), TModelVerdict::kFine, ""},
      {"car.txd", TextureDictionary(9), TModelVerdict::kFine, ""},
      {"car.txd", TextureDictionary(8, 0x0C02FFFF), TModelVerdict::kWarn, "RenderWare 3.3.0.2"},
      {"car.txd", TextureDictionary(5), TModelVerdict::kRefuse, "the Xbox's"},
      {"car.txd", TextureDictionary(0x00325350), TModelVerdict::kRefuse, "the PlayStation 2's"},
      {"car.txd", TextureDictionary(0x00325350).substr(0, 40), TModelVerdict::kRefuse, "cut short"},
      {"car.txd", model, TModelVerdict::kWarn, "it is a model"},
      {"car.col", collision, TModelVerdict::kFine, ""},
      {"car.col", "COLL" + Dword(4) + "kkkk" + collision, TModelVerdict::kFine, ""},
      {"car.col", collision.substr(0, 20), TModelVerdict::kRefuse,
       "its first model runs 8 bytes past the end"},
      {"car.col", RenderWareChunk(0x10, "x"), TModelVerdict::kWarn, "not collision data"},
      {"readme.txt", "hello", TModelVerdict::kNotJudged, ""},
      {"walk.ifp", "", TModelVerdict::kNotJudged, ""},
  };
  for (const auto& c : cases) {
    const TModelCheck check = CheckModelFile(
        c.Name, static_cast<int64_t>(c.Bytes.size()), [&](int64_t at, uint32_t count) {
          std::vector<uint8_t> bytes;
          for (int64_t i = at; i < at + count && i < int64_t(c.Bytes.size()); ++i)
            bytes.push_back(static_cast<uint8_t>(c.Bytes[i]));
          return bytes;
        });
    EXPECT_EQ(check.Verdict, c.Verdict) << c.Name << ": " << check.Why;
    EXPECT_NE(check.Why.find(c.Why), std::string::npos) << c.Name << ": " << check.Why;
  }
}

// A warning box tells the first twenty files and how many more: thousands of lines help nobody.
TEST(ModFilesWarning, TellsTwentyFilesAndHowManyMore) {
  const std::vector<std::string> few(3, "x.dff: why"), many(25, "x.dff: why");
  EXPECT_EQ(ModFilesWarning(few),
            std::string(kModFilesWarningText) + "\nx.dff: why\nx.dff: why\nx.dff: why");
  const std::string told = ModFilesWarning(many);
  EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 21);
  EXPECT_NE(told.find("\nand 5 more files of the mod like these"), std::string::npos) << told;
}

}  // namespace
}  // namespace merva
