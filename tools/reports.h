#pragma once
// merva-img's plan and status, in words for the player and as one JSON document for scripts
// and mod managers (docs/authors.md documents its fields).
#include <string>

#include "operations/game_status.h"
#include "operations/installation.h"
#include "operations/undo.h"

namespace merva {

// The level check's verdict as the plan tells it.
enum class TLevelVerdict { kPasses, kRefused, kNotChecked };

struct TPlanReport {
  std::string GameFolder;
  std::string Title;
  TLevelVerdict Level = TLevelVerdict::kNotChecked;
  std::string Refusal;  // the script's refusal text, when refused
  TInstallPlan Plan;
};

std::string PlanText(const TPlanReport& report);
std::string PlanJson(const TPlanReport& report);
// What taking back the point `point` would do: given back, removed, staying, rewritten.
std::string UndoPlanText(const std::string& point, const TUndoPlan& plan);
std::string UndoPlanJson(const std::string& point, const TUndoPlan& plan);
std::string StatusText(const std::string& gameFolder, const TGameStatus& status);
std::string StatusJson(const std::string& gameFolder, const TGameStatus& status);

// `text` as a JSON string, quotes and all.
std::string JsonString(const std::string& text);

}  // namespace merva
