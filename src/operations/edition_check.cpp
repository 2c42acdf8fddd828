#include "operations/edition_check.h"

namespace merva {

namespace {

std::string ModIsFor(const std::vector<std::string>& words, const TGameEdition& edition) {
  return "This mod is for GTA San Andreas " + EditionsText(words) +
         "; the game in this folder is " + edition.Text();
}

}  // namespace

EWrongEdition::EWrongEdition(const std::vector<std::string>& words, const TGameEdition& edition,
                             bool unknown)
    : Exception(ModIsFor(words, edition) + ". Nothing was changed."),
      Unknown(unknown),
      Question(ModIsFor(words, edition) +
               ", so Merva cannot tell whether the mod works there.\n\nInstall the mod anyway?") {}

void CheckEdition(const TGameEdition& edition, const std::vector<std::string>& words,
                  bool allowUnknown) {
  switch (EditionVerdictOf(edition, words)) {
    case TEditionVerdict::kAny:
    case TEditionVerdict::kFor:
      return;
    case TEditionVerdict::kUnknown:
      if (allowUnknown) return;
      throw EWrongEdition(words, edition, true);
    case TEditionVerdict::kNotFor:
      throw EWrongEdition(words, edition, false);
  }
}

}  // namespace merva
