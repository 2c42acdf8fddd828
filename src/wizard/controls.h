#pragma once
// The portable control model: the wizard's logic sets these fields, and the Windows layer
// mirrors them onto real child windows (and user input back into them).
#include <algorithm>
#include <string>

namespace merva {

constexpr int crDefault = 0;
constexpr int crHandPoint = -21;

struct TControl {
  bool Visible = true;
  bool Enabled = true;
  std::string Text;  // UTF-8
  int Cursor = crDefault;
};

struct TCheckBox : TControl {
  bool Checked = false;
};

struct TProgressBar : TControl {
  // The control holds its position within its range.
  void SetRange(int min, int max) {
    Min = min;
    Max = max;
    SetPosition(Pos);
  }
  void SetPosition(int value) { Pos = std::max(Min, std::min(value, std::max(Min, Max))); }

  int Min = 0;
  int Max = 100;
  int Pos = 0;
};

}  // namespace merva
