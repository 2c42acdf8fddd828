#pragma once
// The wizard's window on Windows: real child windows mirroring TForm1's control model.
#include <windows.h>

#include <functional>
#include <map>
#include <vector>

#include "core/platform.h"
#include "wizard/form.h"
#include "wizard/win32/handles.h"
#include "wizard/win32/picture_controls.h"
#include "wizard/win32/services.h"
#include "wizard/wizard_services.h"

namespace merva {

class TMainWindow : public IMessagePump {
 public:
  TMainWindow(HINSTANCE instance, TWin32Services& services);
  HWND Handle() const { return window_; }
  TForm1& Form() { return form_; }

  // Runs a handler of the program as the framework does, then mirrors the model onto the
  // controls and closes the window when a close was requested and no run is working.
  void Dispatch(void (TForm1::*handler)());
  void Run(const std::function<void()>& handler);
  // Pushes the control model to the real controls.
  void Sync();
  void ProcessMessages() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls(HINSTANCE instance);
  void AddHint(HINSTANCE instance, HWND control, const wchar_t* text);
  TControl& ModelOf(int id);

  TForm1 form_;
  HWND window_ = nullptr;
  std::map<int, HWND> controls_;
  std::map<int, TControl*> models_;  // the model of each child window, by control ID
  std::map<int, TPictureState> pictures_;
  std::map<int, TLabelState> labels_;
  // The IDs of the standard controls, from the layout table.
  const int checkBoxId_, editId_, browseId_, progressId_;
  TGdiObject<HFONT> windowFont_, titleFont_;
  TGdiObject<HBRUSH> blackBrush_;
  std::vector<TGdiObject<HBITMAP>> bitmaps_;
  bool syncing_ = false;
};

}  // namespace merva
