// The shell's folder dialog, modal for the whole program.
#include <shlobj.h>

#include <vector>

#include "wizard/win32/handles.h"
#include "wizard/win32/services.h"
#include "wizard/win32/wide.h"

namespace merva {

namespace {

int CALLBACK PreselectFolder(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data != 0)
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

BOOL CALLBACK DisableWindow(HWND window, LPARAM list) {
  if (IsWindowVisible(window) && IsWindowEnabled(window)) {
    EnableWindow(window, FALSE);
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  }
  return TRUE;
}

}  // namespace

bool TWin32FolderDialog::SelectFolder(const std::string& caption, const std::u16string& root,
                                      std::string& folder) {
  owner_.BeforeModal();
  const std::wstring existing = Wide(folder);
  const DWORD attributes = GetFileAttributesW(existing.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    folder.clear();

  TComPtr<IMalloc> allocator;
  if (FAILED(SHGetMalloc(allocator.Receive())) || !allocator) return false;
  const TShellMemory buffer(allocator.Get(), allocator->Alloc(MAX_PATH * sizeof(wchar_t)));
  auto* name = static_cast<wchar_t*>(buffer.Get());
  if (!name) return false;
  name[0] = 0;

  TComPtr<IShellFolder> desktop;
  PIDLIST_ABSOLUTE rootList = nullptr;
  if (!root.empty() && SUCCEEDED(SHGetDesktopFolder(desktop.Receive())) && desktop) {
    std::wstring rootText(root.begin(), root.end());
    desktop->ParseDisplayName(owner_.Window, nullptr, rootText.data(), nullptr, &rootList, nullptr);
  }
  const TShellMemory rootHolder(allocator.Get(), rootList);

  const std::wstring title = Wide(caption);
  const std::wstring preselect = Wide(folder);
  BROWSEINFOW info{};
  info.hwndOwner = owner_.Window;
  info.pidlRoot = rootList;
  info.pszDisplayName = name;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  if (!folder.empty()) {
    info.lpfn = PreselectFolder;
    info.lParam = reinterpret_cast<LPARAM>(preselect.c_str());
  }

  // The dialog is modal for every window of the program; no box about missing media interrupts
  // the browsing.
  std::vector<HWND> disabled;
  EnumThreadWindows(GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(&disabled));
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  const TShellMemory chosen(allocator.Get(), SHBrowseForFolderW(&info));
  SetErrorMode(previousMode);
  for (HWND window : disabled)
    if (IsWindow(window)) EnableWindow(window, TRUE);

  if (!chosen.Get()) return false;
  SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(chosen.Get()), name);
  folder = Utf8FromWide(name);
  return true;
}

}  // namespace merva
