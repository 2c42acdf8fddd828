// The shell's folder dialog, modal for the whole program.
#include <shlobj.h>

#include <vector>

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

bool Win32FolderDialog::SelectFolder(const std::string& caption, const std::u16string& root,
                                     std::string& folder) {
  if (g_beforeModal) g_beforeModal();
  const std::wstring existing = Wide(folder);
  const DWORD attributes = GetFileAttributesW(existing.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    folder.clear();

  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) return false;
  auto* buffer = static_cast<wchar_t*>(allocator->Alloc(MAX_PATH * sizeof(wchar_t)));
  if (!buffer) {
    allocator->Release();
    return false;
  }
  buffer[0] = 0;

  IShellFolder* desktop = nullptr;
  PIDLIST_ABSOLUTE rootList = nullptr;
  if (!root.empty() && SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop) {
    std::wstring rootText(root.begin(), root.end());
    desktop->ParseDisplayName(g_ownerWindow, nullptr, rootText.data(), nullptr, &rootList, nullptr);
  }

  const std::wstring title = Wide(caption);
  const std::wstring preselect = Wide(folder);
  BROWSEINFOW info{};
  info.hwndOwner = g_ownerWindow;
  info.pidlRoot = rootList;
  info.pszDisplayName = buffer;
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
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  SetErrorMode(previousMode);
  for (HWND window : disabled)
    if (IsWindow(window)) EnableWindow(window, TRUE);

  bool result = false;
  if (chosen) {
    SHGetPathFromIDListW(chosen, buffer);
    allocator->Free(chosen);
    folder = Narrow(buffer);
    result = true;
  }
  if (rootList) allocator->Free(rootList);
  allocator->Free(buffer);
  allocator->Release();
  if (desktop) desktop->Release();
  return result;
}

}  // namespace merva
