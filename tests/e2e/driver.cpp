// merva-e2e: starts merva.exe in a folder and drives it like a user, step by step.
//
//   merva-e2e EXE FOLDER COMMAND...
//
// Commands (each checked, the first failure ends the run with exit status 1):
//   start                      start the program in FOLDER
//   start-with ARGUMENTS       the same, with ARGUMENTS after the program's name
//   start-command-line FILE    start the whole command line that FILE holds (UTF-8), program
//                              and all, as Windows starts an uninstall command: CreateProcessW
//                              without an application name, in FOLDER
//   window                     wait for the wizard window
//   box KIND CAPTION TEXT      wait for a message box (KIND: plain or error), check it, press OK
//   ask CAPTION TEXT ANSWER    wait for a Yes/No box with the question icon, check it, press
//                              ANSWER (yes or no)
//   state ID STATE             wait until control ID is STATE: visible, hidden, enabled,
//                              disabled, or two of them joined by "+"
//   text ID TEXT               wait until control ID shows TEXT
//   click ID                   click control ID with the real mouse
//   type ID TEXT               put TEXT into edit box ID
//   cursor NAME ID EXPECT      move the mouse over ID, record the pointer as NAME, and check it
//                              against an earlier record: same-as:NAME, differs-from:NAME or -
//   folder-dialog cancel       wait for the shell's folder dialog, check it, and cancel it
//   folder-dialog choose PATH  the same, choosing PATH
//   hint ID TEXT               hover over ID and check its hint ("-": none shows)
//   no-window                  check that no wizard window is shown
//   close                      post WM_CLOSE to the wizard window, as Alt+F4 or taskkill do
//   exit CODE                  wait for the program to end with CODE
//   shot FILE                  save the wizard window as a BMP picture
//   responsive ID TEXT         until control ID shows TEXT, send the window messages over and
//                              over: the window must answer them while the bar stands between
//                              its ends, see the bar rise, and never be what Windows calls
//                              "Not Responding" (a message unanswered for 5 seconds)
//   same-bytes FILE1 FILE2     check that two files hold the same bytes
//   touch FILE                 create an empty file (a signal to a helper)
//   sleep MS
//   code-page N                check that the system's ANSI code page is N (the program runs
//                              with the driver's environment, so it has the same)
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

PROCESS_INFORMATION process{};
std::map<std::wstring, HCURSOR> cursors;
std::wstring exePath, folder;

void Say(const wchar_t* kind, const std::wstring& text) {
  std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), static_cast<int>(utf8.size()),
                      nullptr, nullptr);
  std::fprintf(stdout, "%ls %s\n", kind, utf8.c_str());
  std::fflush(stdout);
}

[[noreturn]] void Fail(const std::wstring& text) {
  Say(L"FAIL:", text);
  if (process.hProcess) TerminateProcess(process.hProcess, 99);
  ExitProcess(1);
}

std::wstring TextOf(HWND window) {
  wchar_t buffer[4096] = {};
  DWORD_PTR ignored;
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                      2000, &ignored);
  return buffer;
}

std::wstring ClassOf(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

struct TSearch {
  std::wstring className;
  HWND found = nullptr;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TSearch*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == process.dwProcessId && IsWindowVisible(window) &&
      ClassOf(window) == search->className) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindWindowOfProgram(const std::wstring& className) {
  TSearch search{className};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Polls for up to `ms` milliseconds.
template <typename F>
bool WaitFor(F condition, int ms = 10000) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

HWND MainWindow() {
  HWND window = nullptr;
  if (!WaitFor([&] { return (window = FindWindowOfProgram(L"TForm1")) != nullptr; }))
    Fail(L"no wizard window");
  return window;
}

HWND Control(int id) {
  HWND control = GetDlgItem(MainWindow(), id);
  if (!control) Fail(L"no control " + std::to_wstring(id));
  return control;
}

bool HasState(HWND control, const std::wstring& state) {
  const bool visible = GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE;
  const bool enabled = IsWindowEnabled(control);
  size_t at = 0;
  while (at <= state.size()) {
    size_t plus = state.find(L'+', at);
    if (plus == std::wstring::npos) plus = state.size();
    const std::wstring part = state.substr(at, plus - at);
    if ((part == L"visible" && !visible) || (part == L"hidden" && visible) ||
        (part == L"enabled" && !enabled) || (part == L"disabled" && enabled))
      return false;
    at = plus + 1;
  }
  return true;
}

void ClickAt(HWND target, POINT at) {
  SetForegroundWindow(GetAncestor(target, GA_ROOT));
  SetCursorPos(at.x, at.y);
  Sleep(50);
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
  Sleep(150);
}

POINT CentreOf(HWND control) {
  RECT box;
  GetWindowRect(control, &box);
  // Image6 reaches past the client area: aim inside the visible part.
  return {(box.left + std::min(box.right, box.left + 200)) / 2, (box.top + box.bottom) / 2};
}

// A file's bytes, or "?" followed by the error when it cannot be read.
std::string ReadAll(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "?" + std::to_string(GetLastError());
  std::string bytes;
  char buffer[1 << 16];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

// Wine sometimes refuses a start for a moment (its server still busy with the last program's
// exit, or a prefix just made): a start is tried again before the scenario fails, and the
// failure names Windows' error.
void Launch(const wchar_t* application, std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  DWORD error = 0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (attempt > 0) Sleep(1000);
    if (CreateProcessW(application, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.c_str(), &startup, &process))
      return;
    error = GetLastError();
    Say(L"retry:", L"start refused with error " + std::to_wstring(error));
  }
  Fail(L"cannot start " + commandLine + L": error " + std::to_wstring(error));
}

void Start(const std::wstring& arguments = L"") {
  std::wstring commandLine = L"\"" + exePath + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  Launch(exePath.c_str(), commandLine);
}

void StartCommandLine(const std::wstring& file) {
  std::string bytes = ReadAll(file);
  if (!bytes.empty() && bytes[0] == '?') Fail(L"cannot read " + file);
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
  std::wstring commandLine(bytes.size() + 1, L'\0');
  commandLine.resize(static_cast<size_t>(
      MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                          commandLine.data(), static_cast<int>(commandLine.size()))));
  Launch(nullptr, commandLine);
}

// "<LF>" in an argument stands for a line break; a final "*" matches any rest. Neither "<" nor
// "*" can occur in a Windows path, so a path in an expected text passes through unchanged,
// whatever follows its backslashes.
bool TextMatches(const std::wstring& shown, std::wstring expected) {
  for (size_t at; (at = expected.find(L"<LF>")) != std::wstring::npos;)
    expected.replace(at, 4, L"\n");
  if (!expected.empty() && expected.back() == L'*')
    return shown.compare(0, expected.size() - 1, expected, 0, expected.size() - 1) == 0;
  return shown == expected;
}

// Waits for the program's message box and checks its caption and text; returns it with the text.
HWND CheckedBox(const std::wstring& caption, const std::wstring& text, std::wstring& shown) {
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = FindWindowOfProgram(L"#32770")) != nullptr; }))
    Fail(L"no message box \"" + text + L"\"");
  Sleep(100);
  wchar_t title[256] = {};
  GetWindowTextW(box, title, 256);
  shown = TextOf(GetDlgItem(box, 0xFFFF));
  if (!TextMatches(shown, text)) Fail(L"box says \"" + shown + L"\", expected \"" + text + L"\"");
  if (caption != title) Fail(L"box caption \"" + std::wstring(title) + L"\"");
  return box;
}

void Box(const std::wstring& kind, const std::wstring& caption, const std::wstring& text) {
  std::wstring shown;
  const HWND box = CheckedBox(caption, text, shown);
  const HWND icon = GetDlgItem(box, 1088);
  const bool hasIcon = icon && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0);
  if ((kind == L"error") != hasIcon) Fail(L"box icon is not " + kind);
  HWND ok = GetDlgItem(box, IDOK);
  if (!ok) ok = GetDlgItem(box, IDCANCEL);
  SendMessageW(ok, BM_CLICK, 0, 0);
  if (!WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000))
    Fail(L"box did not close");
  Say(L"ok:", L"box " + shown);
}

void Ask(const std::wstring& caption, const std::wstring& text, const std::wstring& answer) {
  std::wstring shown;
  const HWND box = CheckedBox(caption, text, shown);
  const HWND yes = GetDlgItem(box, IDYES), no = GetDlgItem(box, IDNO);
  if (!yes || !no) Fail(L"the box has no Yes and No buttons");
  SendMessageW(answer == L"yes" ? yes : no, BM_CLICK, 0, 0);
  if (!WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000))
    Fail(L"box did not close");
  Say(L"ok:", L"asked " + shown + L": " + answer);
}

// Saves what the screen shows of the wizard window, frame included, as a 24-bit BMP file.
void Shot(const std::wstring& file) {
  HWND window = MainWindow();
  Sleep(300);  // let the last changes paint
  RECT box;
  GetWindowRect(window, &box);
  const int width = box.right - box.left, height = box.bottom - box.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  const DWORD stride = (width * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<size_t>(stride) * height);
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER fileHeader{};
  fileHeader.bfType = 0x4D42;
  fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
  fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = _wfopen(file.c_str(), L"wb");
  if (!out) Fail(L"cannot write " + file);
  fwrite(&fileHeader, sizeof fileHeader, 1, out);
  fwrite(&header, sizeof header, 1, out);
  fwrite(pixels.data(), 1, pixels.size(), out);
  fclose(out);
  Say(L"ok:", L"shot " + file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: merva-e2e EXE FOLDER COMMAND...\n");
    return 2;
  }
  exePath = argv[1];
  folder = argv[2];
  std::vector<std::wstring> args(argv + 3, argv + argc);
  auto next = [&](size_t& i) -> std::wstring {
    if (i + 1 >= args.size()) Fail(L"missing argument after " + args[i]);
    return args[++i];
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& command = args[i];
    if (command == L"start") {
      Start();
    } else if (command == L"start-with") {
      Start(next(i));
    } else if (command == L"start-command-line") {
      StartCommandLine(next(i));
    } else if (command == L"ask") {
      const std::wstring caption = next(i), text = next(i), answer = next(i);
      Ask(caption, text, answer);
    } else if (command == L"window") {
      MainWindow();
      Say(L"ok:", L"window");
    } else if (command == L"box") {
      const std::wstring kind = next(i), caption = next(i), text = next(i);
      Box(kind, caption, text);
    } else if (command == L"state") {
      const int id = std::stoi(next(i));
      const std::wstring state = next(i);
      HWND control = Control(id);
      if (!WaitFor([&] { return HasState(control, state); }, 5000))
        Fail(L"control " + std::to_wstring(id) + L" is not " + state);
      Say(L"ok:", std::to_wstring(id) + L" " + state);
    } else if (command == L"text") {
      const int id = std::stoi(next(i));
      const std::wstring text = next(i);
      HWND control = Control(id);
      if (!WaitFor([&] { return TextMatches(TextOf(control), text); }, 5000))
        Fail(L"control " + std::to_wstring(id) + L" shows \"" + TextOf(control) + L"\"");
      Say(L"ok:", std::to_wstring(id) + L" shows " + text);
    } else if (command == L"click") {
      HWND control = Control(std::stoi(next(i)));
      ClickAt(control, CentreOf(control));
    } else if (command == L"type") {
      HWND control = Control(std::stoi(next(i)));
      const std::wstring text = next(i);
      SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    } else if (command == L"cursor") {
      // Cursor handles belong to the program, so the driver cannot load the program's hand to
      // compare; it records the pointer over a control and compares it with other records.
      const std::wstring name = next(i);
      HWND control = Control(std::stoi(next(i)));
      const std::wstring expect = next(i);  // "same-as:NAME", "differs-from:NAME" or "-"
      const POINT centre = CentreOf(control);
      for (int dx : {-2, 2, 0}) {
        SetCursorPos(centre.x + dx, centre.y);
        Sleep(150);
      }
      CURSORINFO info{};
      info.cbSize = sizeof info;
      GetCursorInfo(&info);
      cursors[name] = info.hCursor;
      if (expect.rfind(L"same-as:", 0) == 0 && cursors[expect.substr(8)] != info.hCursor)
        Fail(L"the pointer over " + name + L" is not the one over " + expect.substr(8));
      if (expect.rfind(L"differs-from:", 0) == 0 && cursors[expect.substr(13)] == info.hCursor)
        Fail(L"the pointer over " + name + L" is the one over " + expect.substr(13));
      Say(L"ok:", L"cursor " + name + L" " + expect);
    } else if (command == L"folder-dialog") {
      const std::wstring action = next(i);
      HWND dialog = nullptr;
      if (!WaitFor([&] {
            dialog = FindWindowOfProgram(L"#32770");
            return dialog && GetDlgItem(dialog, 14145);
          }))
        Fail(L"no folder dialog");
      Sleep(200);
      const std::wstring caption = TextOf(GetDlgItem(dialog, 14146));
      if (caption != L"Путь к игре GTA: San Andreass") Fail(L"folder dialog says " + caption);
      if (IsWindowEnabled(MainWindow())) Fail(L"the wizard window is not disabled");
      if (action == L"choose") {
        // The selection message carries a pointer, so the path goes into the program's memory.
        const std::wstring path = next(i);
        const SIZE_T bytes = (path.size() + 1) * sizeof(wchar_t);
        void* remote = VirtualAllocEx(process.hProcess, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
        WriteProcessMemory(process.hProcess, remote, path.c_str(), bytes, nullptr);
        // A dialog still filling its tree the first time it opens may miss the first request.
        for (int attempt = 0; attempt < 3; ++attempt) {
          SendMessageW(dialog, WM_USER + 103 /* BFFM_SETSELECTIONW */, TRUE,
                       reinterpret_cast<LPARAM>(remote));
          Sleep(300);
        }
        SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
      } else {
        SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
      }
      if (!WaitFor([&] { return !IsWindow(dialog); }, 5000)) Fail(L"folder dialog stays open");
      Say(L"ok:", L"folder dialog " + action);
    } else if (command == L"hint") {
      HWND control = Control(std::stoi(next(i)));
      const std::wstring text = next(i);  // "-" for none
      const POINT centre = CentreOf(control);
      for (int dx : {-3, 3, 0}) {
        SetCursorPos(centre.x + dx, centre.y + 5);
        Sleep(100);
      }
      HWND tip = nullptr;
      const bool shown = WaitFor(
          [&] {
            tip = FindWindowOfProgram(L"tooltips_class32");
            return tip != nullptr;
          },
          text == L"-" ? 1500 : 5000);
      if (text == L"-" && shown) Fail(L"a hint shows: " + TextOf(tip));
      if (text != L"-" && !shown) Fail(L"no hint");
      if (text != L"-" && TextOf(tip) != text) Fail(L"the hint says " + TextOf(tip));
      Say(L"ok:", L"hint " + text);
    } else if (command == L"close") {
      PostMessageW(MainWindow(), WM_CLOSE, 0, 0);
      Say(L"ok:", L"close");
    } else if (command == L"no-window") {
      Sleep(500);
      if (FindWindowOfProgram(L"TForm1")) Fail(L"the wizard window is shown");
    } else if (command == L"exit") {
      const DWORD expected = std::stoul(next(i));
      if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) Fail(L"still running");
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      if (code != expected) Fail(L"exit code " + std::to_wstring(code));
      Say(L"ok:", L"exit " + std::to_wstring(code));
      CloseHandle(process.hProcess);
      process.hProcess = nullptr;
    } else if (command == L"shot") {
      Shot(next(i));
    } else if (command == L"responsive") {
      // Counts what must happen when the work runs off the window's thread: messages answered
      // while the bar moves. How fast each is answered depends on the machine, so the only
      // limit is the one Windows itself uses to call a window hung.
      const DWORD hung = 5000;
      HWND control = Control(std::stoi(next(i)));
      const std::wstring text = next(i);
      HWND window = MainWindow();
      HWND bar = Control(601);
      DWORD slowest = 0, messages = 0, midway = 0;
      int rises = 0, highest = 0, last = -1;
      const DWORD started = GetTickCount();
      while (!TextMatches(TextOf(control), text)) {
        if (GetTickCount() - started > 120000) Fail(L"the installation does not end");
        DWORD_PTR position = 0, top = 0;
        const DWORD before = GetTickCount();
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, hung, nullptr) ||
            !SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, hung, &position) ||
            !SendMessageTimeoutW(bar, PBM_GETRANGE, FALSE, 0, SMTO_NORMAL, hung, &top))
          Fail(L"the window did not answer for " + std::to_wstring(hung) + L" ms");
        slowest = std::max(slowest, GetTickCount() - before);
        ++messages;
        if (position > 0 && position < top) ++midway;
        if (last >= 0 && static_cast<int>(position) > last) ++rises;
        last = static_cast<int>(position);
        highest = std::max(highest, last);
        Sleep(5);
      }
      Say(L"ok:", L"answered " + std::to_wstring(messages) + L" messages, " +
                      std::to_wstring(midway) + L" of them with the bar midway, the slowest in " +
                      std::to_wstring(slowest) + L" ms; the bar rose " + std::to_wstring(rises) +
                      L" times, to " + std::to_wstring(highest));
      // The rebuild counts the archive's entries, far more than the mod's files.
      if (rises < 2 || highest < 100) Fail(L"the progress bar was not seen to rise");
      if (midway < 2) Fail(L"the window did not answer while the archive was rebuilt");
    } else if (command == L"same-bytes") {
      const std::wstring first = next(i), second = next(i);
      if (ReadAll(first) != ReadAll(second)) Fail(first + L" differs from " + second);
      Say(L"ok:", first + L" is unchanged");
    } else if (command == L"touch") {
      const std::wstring path = next(i);
      const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) Fail(L"cannot create " + path);
      CloseHandle(file);
    } else if (command == L"code-page") {
      const UINT wanted = static_cast<UINT>(std::stoul(next(i)));
      if (GetACP() != wanted) Fail(L"the ANSI code page is " + std::to_wstring(GetACP()));
      Say(L"ok:", L"code page " + std::to_wstring(wanted));
    } else if (command == L"sleep") {
      Sleep(std::stoul(next(i)));
    } else {
      Fail(L"unknown command " + command);
    }
  }
  if (process.hProcess) TerminateProcess(process.hProcess, 0);
  return 0;
}
