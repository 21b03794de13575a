// Test helper: waits for the progress window captioned by its argument to show moving bytes,
// then presses its Cancel button the way a user does. Exit 0 once pressed, 1 when no such
// window showed progress within a minute.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "job/ProgressIds.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  for (int i = 0; i < 600; ++i, Sleep(100)) {
    HWND window = FindWindowA(nullptr, argv[1]);
    char bytes[64] = {};
    if (!window || !GetDlgItemTextA(window, IDC_PROGRESS_TEXT, bytes, sizeof bytes) || bytes[0] == '\0' ||
        std::strncmp(bytes, "0 ", 2) == 0)
      continue;
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
    std::printf("pressed Cancel at %s\n", bytes);
    return 0;
  }
  std::printf("no progress window showed progress\n");
  return 1;
}
