// merva-hold: keeps a file open the way the game keeps its archive (read access, others may
// only read) until a stop file appears, as a running game would.
//
//   merva-hold FILE STOPFILE
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: merva-hold FILE STOPFILE\n");
    return 2;
  }
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stdout, "cannot open: error %lu\n", GetLastError());
    return 1;
  }
  std::fprintf(stdout, "holding\n");
  std::fflush(stdout);
  while (GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES) Sleep(100);
  CloseHandle(file);
  std::fprintf(stdout, "released\n");
  return 0;
}
