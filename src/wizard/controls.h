#pragma once
// The portable control model: the wizard's logic sets these fields, and the Windows layer
// mirrors them onto real child windows (and user input back into them).
#include <algorithm>
#include <string>

#include "core/platform.h"

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

class TProgressBar : public TControl, public IProgress {
 public:
  void SetMin(int value) override {
    Min = value;
    SetPosition(Pos);
  }
  void SetMax(int value) override {
    Max = value;
    SetPosition(Pos);
  }
  // The control holds its position within its range.
  void SetPosition(int value) override { Pos = std::max(Min, std::min(value, std::max(Min, Max))); }
  int Position() const override { return Pos; }

  int Min = 0;
  int Max = 100;
  int Pos = 0;
};

}  // namespace merva
