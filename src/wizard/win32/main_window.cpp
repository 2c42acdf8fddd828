#include "wizard/win32/main_window.h"

#include <commctrl.h>

#include <vector>

#include "core/environment.h"
#include "resources/layout.h"
#include "wizard/win32/pictures.h"
#include "wizard/win32/services.h"
#include "wizard/win32/wide.h"

namespace merva {

namespace {

const wchar_t kWindowClass[] = L"TForm1";

// The handlers of the clickable pictures; the background has none.
struct TPictureHandlers {
  const char* Name;
  void (TForm1::*Click)();
  void (TForm1::*MouseMove)();
};
const TPictureHandlers kPictureHandlers[] = {
    {"Image2", &TForm1::Image2Click, &TForm1::Image2MouseMove},
    {"Image3", &TForm1::Image3Click, &TForm1::Image3MouseMove},
    {"Image4", &TForm1::Image4Click, &TForm1::Image4MouseMove},
    {"Image5", &TForm1::Image5Click, &TForm1::Image5MouseMove},
    {"Image6", &TForm1::Image6Click, &TForm1::Image6MouseMove},
};

int IdOf(const char* name) {
  return ControlLayout(name).Id;
}

HFONT MakeFont(const TFontStyle& font) {
  return CreateFontW(font.Height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     font.AnsiCharset ? ANSI_CHARSET : DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     Wide(font.Face).c_str());
}

}  // namespace

TMainWindow::TMainWindow(HINSTANCE instance, TWin32Services& services)
    : form_(TWizardServices{SystemFileSystem(), services.Boxes, *this, services.Process,
                            services.Registry, services.Locale, services.FolderDialog,
                            services.Shell, RestoreFolderFromEnvironment(), SystemInstalledApps(),
                            ProgramPath(), ProgramCopyFolderFromEnvironment()}),
      checkBoxId_(IdOf("CheckBox1")),
      editId_(IdOf("Edit1")),
      browseId_(IdOf("Button4")),
      progressId_(IdOf("ProgressBar1")) {
  const std::pair<const char*, TControl*> models[] = {
      {"Image1", &form_.Image1},       {"Image2", &form_.Image2},
      {"Image3", &form_.Image3},       {"Image4", &form_.Image4},
      {"Image5", &form_.Image5},       {"Image6", &form_.Image6},
      {"Label1", &form_.Label1},       {"Label2", &form_.Label2},
      {"CheckBox1", &form_.CheckBox1}, {"Edit1", &form_.Edit1},
      {"Button4", &form_.Button4},     {"ProgressBar1", &form_.ProgressBar1}};
  for (const auto& [name, model] : models) models_[IdOf(name)] = model;
  RegisterPictureControls(instance);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
  windowClass.lpszClassName = kWindowClass;
  RegisterClassW(&windowClass);

  // A fixed dialog frame with a caption and no system menu: no close, minimise or maximise box.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
  RECT frame{0, 0, kWindowLayout.ClientWidth, kWindowLayout.ClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  RECT desktop;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &desktop, 0);
  const int left = desktop.left + (desktop.right - desktop.left - width) / 2;
  const int top = desktop.top + (desktop.bottom - desktop.top - height) / 2;
  window_ = CreateWindowExW(exStyle, kWindowClass, Wide(kWindowLayout.Caption).c_str(), style, left,
                            top, width, height, nullptr, nullptr, instance, this);
  services.Owner.Window = window_;
  services.Owner.Sync = [this] { Sync(); };
  CreateControls(instance);
  Sync();
}

namespace {

// The window class and style of a kind of control.
struct TWindowClass {
  const wchar_t* Name;
  DWORD Style;
};

TWindowClass WindowClassOf(TControlKind kind) {
  const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  switch (kind) {
    case TControlKind::kPicture:
      break;
    case TControlKind::kLabel:
      return {kLabelClass, child};
    case TControlKind::kCheckBox:
      return {L"BUTTON", child | BS_AUTOCHECKBOX | WS_TABSTOP};
    case TControlKind::kEdit:
      return {L"EDIT", child | ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER};
    case TControlKind::kButton:
      return {L"BUTTON", child | BS_PUSHBUTTON | WS_TABSTOP};
    case TControlKind::kProgressBar:
      return {PROGRESS_CLASSW, child | WS_TABSTOP};
  }
  return {kPictureClass, child};
}

}  // namespace

void TMainWindow::CreateControls(HINSTANCE instance) {
  windowFont_.reset(MakeFont(kWindowLayout.Font));
  titleFont_.reset(MakeFont(ControlLayout("Label2").Font));
  blackBrush_.reset(CreateSolidBrush(RGB(0, 0, 0)));
  HBITMAP background = nullptr;
  for (const TControlLayout& layout : kControlLayout) {
    const TWindowClass kind = WindowClassOf(layout.Kind);
    HWND control = CreateWindowExW(0, kind.Name, Wide(layout.Caption).c_str(), kind.Style,
                                   layout.Left, layout.Top, layout.Width, layout.Height, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.Id)),
                                   instance, nullptr);
    controls_[layout.Id] = control;
    HFONT font = layout.Font.Face == kWindowLayout.Font.Face && !layout.Font.Bold
                     ? windowFont_.get()
                     : titleFont_.get();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (layout.Kind == TControlKind::kPicture) {
      TPictureState& state = pictures_[layout.Id];
      bitmaps_.emplace_back(LoadPicture(layout.PictureResource, layout.Width, layout.Height));
      state.Bitmap = bitmaps_.back().get();
      if (layout.PictureResource == kBackgroundPicture) background = state.Bitmap;
      SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    } else if (layout.Kind == TControlKind::kLabel) {
      TLabelState& state = labels_[layout.Id];
      state.Font = font;
      state.BlackBackground = layout.BlackBackground;
      state.Centered = layout.Align == TAlign::kCenter;
      state.Backdrop = background;
      state.BackdropOrigin = {layout.Left, layout.Top};
      SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    }
  }
  // Stacking: pictures and labels in creation order, a later one above an earlier one; the
  // standard controls above them all, in tab order from the top (the dialog manager tabs
  // through siblings from the top of the stack down).
  std::vector<const TControlLayout*> stack;
  for (const TControlLayout& layout : kControlLayout)
    if (layout.TabOrder < 0) stack.push_back(&layout);
  for (int order = 3; order >= 0; --order)
    for (const TControlLayout& layout : kControlLayout)
      if (layout.TabOrder == order) stack.push_back(&layout);
  for (const TControlLayout* layout : stack)
    SetWindowPos(controls_[layout->Id], HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  AddHint(instance, controls_[ControlLayout("Image6").Id], L"Kestrin Team");
}

// The hint of the second link picture, the one control that shows a hint.
void TMainWindow::AddHint(HINSTANCE instance, HWND control, const wchar_t* text) {
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                             nullptr, instance, nullptr);
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;  // the size every version of the control accepts
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<wchar_t*>(text);
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

TControl& TMainWindow::ModelOf(int id) {
  return *models_.at(id);
}

void TMainWindow::Sync() {
  syncing_ = true;
  for (const auto& [id, control] : controls_) {
    const TControl& model = ModelOf(id);
    if (Utf8FromWide(WindowText(control)) != model.Text && id != progressId_)
      SetWindowTextW(control, Wide(model.Text).c_str());
    if (!!IsWindowEnabled(control) != model.Enabled) EnableWindow(control, model.Enabled);
    if (!!(GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != model.Visible)
      ShowWindow(control, model.Visible ? SW_SHOWNA : SW_HIDE);
    auto picture = pictures_.find(id);
    if (picture != pictures_.end()) picture->second.HandCursor = model.Cursor == crHandPoint;
  }
  const HWND checkBox = controls_[checkBoxId_], progress = controls_[progressId_];
  const bool checked = SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
  if (checked != form_.CheckBox1.Checked)
    SendMessageW(checkBox, BM_SETCHECK, form_.CheckBox1.Checked ? BST_CHECKED : 0, 0);
  const TProgressBar& bar = form_.ProgressBar1;
  SendMessageW(progress, PBM_SETRANGE32, bar.Min, std::max(bar.Min, bar.Max));
  SendMessageW(progress, PBM_SETPOS, bar.Pos, 0);
  syncing_ = false;
}

void TMainWindow::Dispatch(void (TForm1::*handler)()) {
  Run([&] { (form_.*handler)(); });
}

void TMainWindow::Run(const std::function<void()>& handler) {
  form_.HandleEvent(handler);
  Sync();
  if (form_.CloseRequested && !form_.Installing) DestroyWindow(window_);
}

void TMainWindow::ProcessMessages() {
  Sync();
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (!IsDialogMessageW(window_, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

LRESULT CALLBACK TMainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TMainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || !self->window_) return DefWindowProcW(window, message, wParam, lParam);
  // No C++ exception may cross into Windows: the handlers report their own errors, and
  // anything else is reported here.
  try {
    return self->Handle(message, wParam, lParam);
  } catch (const std::exception& error) {
    ReportError(self->form_.Boxes(), error.what());
  } catch (...) {
    ReportError(self->form_.Boxes(), "Unknown error");
  }
  return 0;
}

LRESULT TMainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PICTURE_CLICK:
    case WM_PICTURE_MOVE:
      for (const TPictureHandlers& picture : kPictureHandlers)
        if (IdOf(picture.Name) == static_cast<int>(wParam))
          Dispatch(message == WM_PICTURE_CLICK ? picture.Click : picture.MouseMove);
      return 0;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == editId_ && code == EN_CHANGE && !syncing_) {
        form_.Edit1.Text = Utf8FromWide(WindowText(controls_[editId_]));
      } else if (id == checkBoxId_ && code == BN_CLICKED) {
        form_.CheckBox1.Checked =
            SendMessageW(controls_[checkBoxId_], BM_GETCHECK, 0, 0) == BST_CHECKED;
        Dispatch(&TForm1::CheckBox1Click);
      } else if (id == browseId_ && code == BN_CLICKED) {
        Dispatch(&TForm1::Button4Click);
      }
      return 0;  // Enter and Escape (IDOK, IDCANCEL) move nothing
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (reinterpret_cast<HWND>(lParam) == controls_[checkBoxId_]) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkColor(dc, RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(blackBrush_.get());
      }
      return DefWindowProcW(window_, message, wParam, lParam);
    case WM_CLOSE:
      // Alt+F4, a posted close, taskkill: what Cancel does. During a run the window waits for
      // it, and closes once it has ended.
      Dispatch(&TForm1::Image5Click);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

}  // namespace merva
