#include "resources/layout.h"

#include <stdexcept>

namespace merva {

const char kApplicationTitle[] = "MERVA v1.0 by TAVIK";
const char kFirstSiteUrl[] = "http://merva.example.org";
const char kKestrinUrl[] =
    "http://kestrin.example.org/modules.php?name=Articles&file=category&articles_categories_id=1";

namespace {
constexpr TFontStyle kSansSerif{"MS Sans Serif", -11, false, false};
constexpr TFontStyle kTitleFont{"Arial", -19, true, true};
}  // namespace

const TWindowLayout kWindowLayout{"MERVA v1.01 by TAVIK", 566, 450, kSansSerif};

const std::array<TControlLayout, 12> kControlLayout = {{
    {"Image1", 101, TControlKind::kPicture, 0, 0, 566, 450, "", kSansSerif, false, TAlign::kLeft,
     -1, kBackgroundPicture},
    {"Image2", 102, TControlKind::kPicture, 326, 27, 240, 180, "", kSansSerif, false, TAlign::kLeft,
     -1, kPosterPicture},
    {"Image3", 103, TControlKind::kPicture, 203, 409, 112, 32, "", kSansSerif, false, TAlign::kLeft,
     -1, kBackPicture},
    {"Image4", 104, TControlKind::kPicture, 318, 409, 112, 32, "", kSansSerif, false, TAlign::kLeft,
     -1, kNextPicture},
    {"Image5", 105, TControlKind::kPicture, 440, 409, 112, 32, "", kSansSerif, false, TAlign::kLeft,
     -1, kCancelPicture},
    {"Label1", 201, TControlKind::kLabel, 8, 88, 313, 305, "Здесь краткое описание мода",
     kSansSerif, true, TAlign::kLeft, -1, 0},
    {"Label2", 202, TControlKind::kLabel, 8, 0, 545, 27, "Title", kTitleFont, false,
     TAlign::kCenter, -1, 0},
    {"Image6", 106, TControlKind::kPicture, 328, 208, 240, 160, "", kSansSerif, false,
     TAlign::kLeft, -1, kEmblemPicture},
    {"CheckBox1", 301, TControlKind::kCheckBox, 328, 368, 225, 25, "Принимаю соглашение",
     kSansSerif, true, TAlign::kLeft, 0, 0},
    {"Edit1", 401, TControlKind::kEdit, 8, 152, 313, 21, "C:\\Program Files\\GTA San Andreass",
     kSansSerif, false, TAlign::kLeft, 1, 0},
    {"Button4", 504, TControlKind::kButton, 248, 184, 75, 25, "Browse", kSansSerif, false,
     TAlign::kLeft, 2, 0},
    {"ProgressBar1", 601, TControlKind::kProgressBar, 8, 112, 313, 25, "", kSansSerif, false,
     TAlign::kLeft, 3, 0},
}};

const TControlLayout& ControlLayout(const std::string& name) {
  for (const TControlLayout& control : kControlLayout)
    if (name == control.Name) return control;
  throw std::out_of_range("no control " + name);
}

}  // namespace merva
