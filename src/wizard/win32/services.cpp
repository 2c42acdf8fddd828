#include "wizard/win32/services.h"

#include <shellapi.h>

#include <vector>

#include "resources/layout.h"
#include "wizard/win32/wide.h"

namespace merva {

void TWin32Boxes::Show(TBoxKind kind, const std::string& text) {
  owner_.BeforeModal();
  const HWND owner = owner_.Window && IsWindowVisible(owner_.Window) ? owner_.Window : nullptr;
  const std::wstring caption = kind == TBoxKind::kErrorBox ? L"Error" : Wide(kApplicationTitle);
  const UINT icon = kind == TBoxKind::kPlain ? 0 : MB_ICONERROR;
  MessageBoxW(owner, Wide(text).c_str(), caption.c_str(), MB_OK | icon | MB_TASKMODAL);
}

bool TWin32Boxes::Ask(const std::string& text, TAnswer answer) {
  owner_.BeforeModal();
  const HWND owner = owner_.Window && IsWindowVisible(owner_.Window) ? owner_.Window : nullptr;
  return MessageBoxW(owner, Wide(text).c_str(), Wide(kApplicationTitle).c_str(),
                     MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL |
                         (answer == TAnswer::kNo ? MB_DEFBUTTON2 : MB_DEFBUTTON1)) == IDYES;
}

std::string ProgramPath() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return "";
  path.resize(length);
  return Utf8FromWide(path);
}

void TWin32Process::EndProgram() {
  ExitProcess(0);
}

void TWin32Shell::OpenUrl(const std::string& url) {
  ShellExecuteA(owner_.Window, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace merva
