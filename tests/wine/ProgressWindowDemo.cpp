// The progress window outside the unit tests: whole transfers through the real job on a COM port,
// and the window held in its main states for screenshots.
//   ProgressWindowDemo.exe send|receive COMn [--log FILE] [--dir DIR] [FILE...]
//     a ZModem run through TransferJob and the window; prints "result N", exits with N's low 16 bits
//   ProgressWindowDemo.exe shot running|failed|compact
//     holds the window in that state; prints "ready X Y W H" (the window on the screen) once there,
//     and ends when the window is closed
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "job/ProgressWindow.h"
#include "job/TransferJob.h"
#include "modem/DeviceLists.h"
#include "object/TransferSettings.h"

namespace {
int Transfer(int argc, char** argv) {
  TransferSettings& settings = TransferSettings::Process();
  settings.Reset(1, "");
  DeviceLists devices;
  devices.AddPort({argv[2], ""});
  settings.Protocol = TransferSettings::kZModem;
  settings.Transfer = std::strcmp(argv[1], "send") == 0;
  settings.RecvTimeout = settings.SendTimeout = 30;
  settings.LogToScreen = settings.Verbose = 1;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc) {
      settings.LogToFile = 1;
      settings.LogFilename = argv[++i];
    } else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
      SetCurrentDirectoryA(argv[++i]);
    } else {
      settings.FileList += (settings.FileList.empty() ? "" : ";") + std::string(argv[i]);
    }
  }
  TransferJob job(0, settings, devices);
  ProgressWindow window(job);
  if (window.RunModal(nullptr) != 0) {
    std::printf("the window could not be made\n");
    return 70;
  }
  std::printf("result %ld, %d file(s) seen, %d transferred\n", static_cast<long>(job.result), window.filesSeen,
              settings.Transferred);
  return job.result & 0xFFFF;
}

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
  if (argc >= 3 && (std::strcmp(argv[1], "send") == 0 || std::strcmp(argv[1], "receive") == 0))
    return Transfer(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "shot") == 0) return Shot(argv[2]);
  std::fprintf(stderr, "usage: ProgressWindowDemo send|receive COMn [--log FILE] [--dir DIR] [FILE...]\n"
                       "       ProgressWindowDemo shot running|failed|compact\n");
  return 64;
}
