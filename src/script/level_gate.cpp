#include "script/level_gate.h"

#include <cstdlib>
#include <cstring>

#include "core/errors.h"

namespace merva {

const char kInstallationKey[] = "SOFTWARE\\Rockstar Games\\GTA San Andreas\\Installation";
const char kLevelValueName[] = "ProductID";

namespace {
const char kDamagedMessage[] = "Installation command file has been damaged";
const char kRightsMessage[] = "You must have administrator's rights for install this mod";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
}  // namespace

std::string NormaliseLevelSeparator(const std::string& level, char separator) {
  const auto comma = level.find(',');
  const auto dot = level.find('.');
  const unsigned pc = comma == std::string::npos ? 0 : static_cast<unsigned>(comma + 1);
  const unsigned pd = dot == std::string::npos ? 0 : static_cast<unsigned>(dot + 1);
  const unsigned p = (pc + pd) & 0xFF;  // the position is held in eight bits
  std::string text = level;
  if (p >= 1 && p <= text.size()) text.erase(p - 1, 1);
  const size_t at = p == 0 ? 0 : std::min<size_t>(p - 1, text.size());
  text.insert(at, 1, separator);
  return text;
}

double LevelTextToFloat(const std::string& text, char separator) {
  const auto fail = [&]() -> double {
    throw EConvertError("'" + text + "' is not a valid floating point value");
  };
  size_t i = 0;
  std::string plain;  // the number in the C library's own notation
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
  bool mantissa = false;
  while (i < text.size() && IsDigit(text[i])) plain += text[i++], mantissa = true;
  if (i < text.size() && text[i] == separator) {
    plain += '.';
    ++i;
    mantissa = true;
    while (i < text.size() && IsDigit(text[i])) plain += text[i++];
  }
  if (!mantissa) return fail();
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    if (i >= text.size() || !IsDigit(text[i])) return fail();
    while (i < text.size() && IsDigit(text[i])) plain += text[i++];
  }
  while (i < text.size() && text[i] == ' ') ++i;
  if (i != text.size()) return fail();
  if (plain == "." || plain == "+." || plain == "-.") return 0.0;
  return std::strtod(plain.c_str(), nullptr);
}

double LevelNumber(const std::string& level, char separator) {
  return LevelTextToFloat(NormaliseLevelSeparator(level, separator), separator);
}

TLevelCheck CheckInstalledLevel(const std::string& level, TLevelGateServices services) {
  if (level == "0") return TLevelCheck::kAccepted;
  const char separator = services.Locale.DecimalSeparator();
  const std::string text = NormaliseLevelSeparator(level, separator);
  const double number = LevelNumber(level, separator);
  if (number == 0 && text.size() >= 2) throw ENotice(TNoticeKind::kEndProgram, kDamagedMessage);
  std::unique_ptr<IRegistryKey> key = services.Registry.CreateKeyFullAccess(kInstallationKey);
  if (!key) throw ENotice(TNoticeKind::kEndProgram, kRightsMessage);
  if (!key->ValueExists(kLevelValueName)) {
    if (number == 1) {
      std::vector<uint8_t> bytes(sizeof(double));
      std::memcpy(bytes.data(), &number, sizeof number);  // little-endian, as Windows stores it
      key->WriteBinary(kLevelValueName, bytes);           // a refused write is not reported
      return TLevelCheck::kAccepted;
    }
    return TLevelCheck::kRefused;
  }
  TValueType type;
  std::vector<uint8_t> data;
  // A value of another type or size is left alone without a message.
  if (!key->ReadValue(kLevelValueName, type, data) || type != TValueType::kBinary ||
      data.size() != sizeof(double))
    return TLevelCheck::kAccepted;
  double stored;
  std::memcpy(&stored, data.data(), sizeof stored);
  return number < stored ? TLevelCheck::kRefused : TLevelCheck::kAccepted;
}

}  // namespace merva
