#include "script/level_gate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "core/errors.h"
#include "tests/support/fakes.h"

namespace merva {
namespace {

using test::TFakeLocale;
using test::TFakeRegistry;
using test::TFakeValue;

const std::vector<uint8_t> kLevelOne = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};

std::vector<uint8_t> DoubleBytes(double value) {
  std::vector<uint8_t> bytes(8);
  std::memcpy(bytes.data(), &value, 8);
  return bytes;
}

enum class TOutcome { kGoesOn, kRefused, kDamaged, kConversionError };

struct TGateCase {
  const char* level;
  std::optional<TFakeValue> before;  // "ProductID" before the check
  TOutcome outcome;
  std::optional<std::vector<uint8_t>> after;  // "ProductID" afterwards; nullopt: absent
  bool touchesRegistry;
};

TEST(CheckInstalledLevel, OutcomeTableOnBothSeparators) {
  const TFakeValue one{TValueType::kBinary, kLevelOne};
  const std::vector<TGateCase> cases = {
      {"0", std::nullopt, TOutcome::kGoesOn, std::nullopt, false},
      {"0", one, TOutcome::kGoesOn, kLevelOne, false},
      {"1.0", std::nullopt, TOutcome::kGoesOn, kLevelOne, true},
      {"1,0", std::nullopt, TOutcome::kGoesOn, kLevelOne, true},
      {"1.0", one, TOutcome::kGoesOn, kLevelOne, true},
      {"2.5", one, TOutcome::kGoesOn, kLevelOne, true},
      {"0.5", one, TOutcome::kRefused, kLevelOne, true},
      {"2.0", std::nullopt, TOutcome::kRefused, std::nullopt, true},
      {"1", std::nullopt, TOutcome::kRefused, std::nullopt, true},  // reads as 0.1
      {"10", one, TOutcome::kRefused, kLevelOne, true},             // reads as 0.10
      {"0.0", one, TOutcome::kDamaged, kLevelOne, false},
      {"00", std::nullopt, TOutcome::kDamaged, std::nullopt, false},
      {"0,00", std::nullopt, TOutcome::kDamaged, std::nullopt, false},
      {"", std::nullopt, TOutcome::kRefused, std::nullopt, true},
      {"", one, TOutcome::kRefused, kLevelOne, true},
      {"1.5.2", one, TOutcome::kConversionError, kLevelOne, false},
      {"1,5.0", std::nullopt, TOutcome::kConversionError, std::nullopt, false},
      {"abc", std::nullopt, TOutcome::kConversionError, std::nullopt, false},
      {"1.0", TFakeValue{TValueType::kOther, {'1'}}, TOutcome::kGoesOn, std::vector<uint8_t>{'1'},
       true},
      {"1.0", TFakeValue{TValueType::kBinary, {0, 0, 0x80, 0x3F}}, TOutcome::kGoesOn,
       std::vector<uint8_t>{0, 0, 0x80, 0x3F}, true},
      {" 1.5e0 ", one, TOutcome::kGoesOn, kLevelOne, true},
      {"1.0", TFakeValue{TValueType::kBinary, DoubleBytes(3)}, TOutcome::kRefused, DoubleBytes(3),
       true},
  };
  for (char separator : {'.', ','}) {
    for (const TGateCase& c : cases) {
      SCOPED_TRACE(std::string("level '") + c.level + "' separator " + separator);
      TFakeRegistry registry;
      if (c.before) registry.Values["ProductID"] = *c.before;
      TFakeLocale locale(separator);
      TOutcome outcome = TOutcome::kGoesOn;
      try {
        if (CheckInstalledLevel(c.level, {registry, locale}) == TLevelCheck::kRefused)
          outcome = TOutcome::kRefused;
      } catch (const ENotice& notice) {
        outcome = TOutcome::kDamaged;
        EXPECT_EQ(notice.Kind(), TNoticeKind::kEndProgram);
        EXPECT_EQ(notice.Message(), "Installation command file has been damaged");
      } catch (const EConvertError&) {
        outcome = TOutcome::kConversionError;
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
  TFakeRegistry registry;
  for (char separator : {'.', ','}) {
    TFakeLocale locale(separator);
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
  TFakeRegistry registry;
  registry.RefuseKey = true;
  TFakeLocale locale;
  try {
    CheckInstalledLevel("1.0", {registry, locale});
    ADD_FAILURE() << "no notice";
  } catch (const ENotice& notice) {
    EXPECT_EQ(notice.Kind(), TNoticeKind::kEndProgram);
    EXPECT_EQ(notice.Message(), "You must have administrator's rights for install this mod");
  }
}

TEST(CheckInstalledLevel, ARefusedWriteIsSwallowed) {
  TFakeRegistry registry;
  registry.RefuseWrites = true;
  TFakeLocale locale;
  EXPECT_EQ(CheckInstalledLevel("1.0", {registry, locale}), TLevelCheck::kAccepted);
  EXPECT_EQ(registry.KeysClosed, 1);
}

TEST(CheckInstalledLevel, TheSecondRunSeesWhatTheFirstWrote) {
  TFakeRegistry registry;
  TFakeLocale locale;
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
