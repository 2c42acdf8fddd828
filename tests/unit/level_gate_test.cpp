#include "script/level_gate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "core/errors.h"
#include "tests/support/fakes.h"

namespace merva {
namespace {

using test::FakeLocale;
using test::FakeRegistry;
using test::FakeValue;

const std::vector<uint8_t> kLevelOne = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};

std::vector<uint8_t> DoubleBytes(double value) {
  std::vector<uint8_t> bytes(8);
  std::memcpy(bytes.data(), &value, 8);
  return bytes;
}

enum class Outcome { kGoesOn, kRefused, kDamaged, kConversionError };

struct GateCase {
  const char* level;
  std::optional<FakeValue> before;  // "ProductID" before the check
  Outcome outcome;
  std::optional<std::vector<uint8_t>> after;  // "ProductID" afterwards; nullopt: absent
  bool touchesRegistry;
};

TEST(CheckInstalledLevel, OutcomeTableOnBothSeparators) {
  const FakeValue one{TValueType::kBinary, kLevelOne};
  const std::vector<GateCase> cases = {
      {"0", std::nullopt, Outcome::kGoesOn, std::nullopt, false},
      {"0", one, Outcome::kGoesOn, kLevelOne, false},
      {"1.0", std::nullopt, Outcome::kGoesOn, kLevelOne, true},
      {"1,0", std::nullopt, Outcome::kGoesOn, kLevelOne, true},
      {"1.0", one, Outcome::kGoesOn, kLevelOne, true},
      {"2.5", one, Outcome::kGoesOn, kLevelOne, true},
      {"0.5", one, Outcome::kRefused, kLevelOne, true},
      {"2.0", std::nullopt, Outcome::kRefused, std::nullopt, true},
      {"1", std::nullopt, Outcome::kRefused, std::nullopt, true},  // reads as 0.1
      {"10", one, Outcome::kRefused, kLevelOne, true},             // reads as 0.10
      {"0.0", one, Outcome::kDamaged, kLevelOne, false},
      {"00", std::nullopt, Outcome::kDamaged, std::nullopt, false},
      {"0,00", std::nullopt, Outcome::kDamaged, std::nullopt, false},
      {"", std::nullopt, Outcome::kRefused, std::nullopt, true},
      {"", one, Outcome::kRefused, kLevelOne, true},
      {"1.5.2", one, Outcome::kConversionError, kLevelOne, false},
      {"1,5.0", std::nullopt, Outcome::kConversionError, std::nullopt, false},
      {"abc", std::nullopt, Outcome::kConversionError, std::nullopt, false},
      {"1.0", FakeValue{TValueType::kOther, {'1'}}, Outcome::kGoesOn, std::vector<uint8_t>{'1'},
       true},
      {"1.0", FakeValue{TValueType::kBinary, {0, 0, 0x80, 0x3F}}, Outcome::kGoesOn,
       std::vector<uint8_t>{0, 0, 0x80, 0x3F}, true},
      {" 1.5e0 ", one, Outcome::kGoesOn, kLevelOne, true},
      {"1.0", FakeValue{TValueType::kBinary, DoubleBytes(3)}, Outcome::kRefused, DoubleBytes(3),
       true},
  };
  for (char separator : {'.', ','}) {
    for (const GateCase& c : cases) {
      SCOPED_TRACE(std::string("level '") + c.level + "' separator " + separator);
      FakeRegistry registry;
      if (c.before) registry.Values["ProductID"] = *c.before;
      FakeLocale locale(separator);
      Outcome outcome = Outcome::kGoesOn;
      try {
        if (CheckInstalledLevel(c.level, {registry, locale}) == TLevelCheck::kRefused)
          outcome = Outcome::kRefused;
      } catch (const ENotice& notice) {
        outcome = Outcome::kDamaged;
        EXPECT_EQ(notice.Kind(), TNoticeKind::kEndProgram);
        EXPECT_EQ(notice.Message(), "Installation command file has been damaged");
      } catch (const EConvertError&) {
        outcome = Outcome::kConversionError;
      }
      EXPECT_EQ(outcome, c.outcome);
      if (c.after) {
        ASSERT_TRUE(registry.Values.count("ProductID"));
        EXPECT_EQ(registry.Values["ProductID"].Data, *c.after);
      } else {
        EXPECT_FALSE(registry.Values.count("ProductID"));
      }
      EXPECT_EQ(registry.KeysOpened > 0, c.touchesRegistry);
      EXPECT_EQ(registry.KeysOpened, registry.KeysClosed);
      if (c.touchesRegistry) {
        EXPECT_EQ(registry.OpenedPath, "SOFTWARE\\Rockstar Games\\GTA San Andreas\\Installation");
      }
    }
  }
}

TEST(CheckInstalledLevel, ConversionErrorNamesTheNormalisedText) {
  FakeRegistry registry;
  for (char separator : {'.', ','}) {
    FakeLocale locale(separator);
    try {
      CheckInstalledLevel("1.5.2", {registry, locale});
      ADD_FAILURE() << "no conversion error";
    } catch (const EConvertError& error) {
      EXPECT_EQ(error.Message(),
                std::string("'1") + separator + "5.2' is not a valid floating point value");
    }
  }
}

TEST(CheckInstalledLevel, WithoutRightsTheProgramIsToEndWithTheMessage) {
  FakeRegistry registry;
  registry.RefuseKey = true;
  FakeLocale locale;
  try {
    CheckInstalledLevel("1.0", {registry, locale});
    ADD_FAILURE() << "no notice";
  } catch (const ENotice& notice) {
    EXPECT_EQ(notice.Kind(), TNoticeKind::kEndProgram);
    EXPECT_EQ(notice.Message(), "You must have administrator's rights for install this mod");
  }
}

TEST(CheckInstalledLevel, ARefusedWriteIsSwallowed) {
  FakeRegistry registry;
  registry.RefuseWrites = true;
  FakeLocale locale;
  EXPECT_EQ(CheckInstalledLevel("1.0", {registry, locale}), TLevelCheck::kAccepted);
  EXPECT_EQ(registry.KeysClosed, 1);
}

TEST(CheckInstalledLevel, TheSecondRunSeesWhatTheFirstWrote) {
  FakeRegistry registry;
  FakeLocale locale;
  EXPECT_EQ(CheckInstalledLevel("1.0", {registry, locale}), TLevelCheck::kAccepted);
  EXPECT_EQ(CheckInstalledLevel("2.0", {registry, locale}), TLevelCheck::kAccepted);
  EXPECT_EQ(registry.Values["ProductID"].Data, kLevelOne);
}

TEST(NormaliseLevelSeparator, PutsTheLocaleSeparatorWhereTheFirstOneWas) {
  const std::pair<const char*, const char*> cases[] = {
      {"1.5", "1,5"},     {"1,5", "1,5"},      {"2", ",2"}, {"", ","},
      {"1.5.2", "1,5.2"}, {"1,5.0", "1,5.0,"}, {".", ","}};
  for (const auto& [level, normalised] : cases)
    EXPECT_EQ(NormaliseLevelSeparator(level, ','), normalised) << level;
}

}  // namespace
}  // namespace merva
