// The progress window held in its main states for screenshots:
//   ProgressWindowDemo.exe shot running|failed|compact
//     holds the window in that state; prints "ready X Y W H" (the window on the screen) once there,
//     and ends when the window is closed
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "job/ProgressWindow.h"
#include "modem/DeviceLists.h"
#include "object/TransferSettings.h"

namespace {
void Ready(ProgressView& view) {
  const HWND window = static_cast<HWND>(static_cast<ProgressWindow&>(view).Window());
  // The active caption, as a user who just started the transfer sees it (without a window manager
  // the window may not have been given the focus).
  SetForegroundWindow(window);
  SendMessageA(window, WM_NCACTIVATE, TRUE, 0);
  RECT r{};
  GetWindowRect(window, &r);
  std::printf("ready %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  std::fflush(stdout);
}

int Shot(const char* state) {
  TransferSettings settings;
  settings.Reset(1, "C:\\Program Files\\Zandrel\\");
  DeviceLists devices;
  devices.AddPort({"COM1", ""});
  devices.AddPort({"COM3", ""});
  settings.Port = 1;
  settings.MaxTitle = "Zandrel - Transfer";
  settings.MinTitle = "Zandrel";
  const std::string which = state;
  settings.Protocol = which == "compact" ? TransferSettings::kXModem : TransferSettings::kZModem;
  settings.Transfer = which != "compact";
  settings.BaudRate = which == "compact" ? 19200 : 115200;
  settings.LogToScreen = settings.Verbose = which != "compact";
  ProgressWindow window(
      [&](ProgressView& view) {
        if (which != "compact") {
          view.AddLogEntry("C:\\Data\\readings-0412.csv", "OK", 48213);
          view.AddLogEntry("C:\\Data\\readings-0413.csv", "OK", 51877);
        }
        const char* name = which == "compact" ? "station7.log" : "C:\\Data\\site-survey-2024.zip";
        const int64_t size = which == "compact" ? 64000 : 1843200;
        view.ShowFile(name, size);
        view.SetStatus(which == "compact" ? "Receiving file..." : "Sending file...");
        view.ShowErrorCount(0);
        if (which == "failed") {
          view.ShowBytes(1105920, size);
          view.ShowErrorCount(4);
          view.AddLogEntry(name, "Timeout.", 1105920);
          view.SetHelpId(17);
          view.SetStatus("Timeout.");
          view.FinishRun();
          Ready(view);
          return;
        }
        // A moving bar: the bytes grow until the window is closed.
        bool announced = false;
        for (int64_t bytes = size / 5; !view.doneEvent.IsSet(); bytes = (bytes + size / 200) % size) {
          view.ShowBytes(bytes, size);
          if (!announced && bytes > size * 3 / 5) {
            Ready(view);
            announced = true;
          }
          Sleep(50);
        }
      },
      1, settings, devices);
  return window.RunModal(nullptr) == 0 ? 0 : 70;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "shot") == 0) return Shot(argv[2]);
  std::fprintf(stderr, "usage: ProgressWindowDemo shot running|failed|compact\n");
  return 64;
}
