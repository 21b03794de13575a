// Shows one of the windows for a person, a screenshot or a keyboard script, then prints what it
// left behind as name=value lines:
//   setup-show sheet | sendas | phone | progress running|failed|compact [Protocol=n]
// The sheet runs over two ports and one modem with the settings given as name=value arguments
// (Protocol, FlowControl, WindowSize, MaxErrors, LogToFile), and the real registry of
// the current user, where it writes telephone listing 1. Texts mix scripts, to show they all reach
// the screen. The progress window stays in its state until it is closed; a Protocol given
// replaces its state's own.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "job/ProgressWindow.h"
#include "modem/DeviceLists.h"
#include "modem/RegistryKey.h"
#include "job/TransferSettings.h"
#include "object/setup/PhoneEntryDialog.h"
#include "object/setup/SendAsDialog.h"
#include "job/Help.h"
#include "object/setup/SetupSheet.h"

namespace {
bool NoViewer(const char*, int32_t context, void*) {
  std::printf("help=%d\n", context);
  return true;
}

void Apply(TransferSettings& s, const char* argument) {
  const char* equals = std::strchr(argument, '=');
  if (!equals) return;
  const std::string name(argument, equals);
  const int value = std::atoi(equals + 1);
  if (name == "Protocol") s.Protocol = static_cast<int16_t>(value);
  if (name == "FlowControl") s.FlowControl = static_cast<int16_t>(value);
  if (name == "WindowSize") s.WindowSize = static_cast<int16_t>(value);
  if (name == "MaxErrors") s.MaxErrors = static_cast<int16_t>(value);
  if (name == "LogToFile") s.LogToFile = value;
}

void Print(const TransferSettings& s) {
  std::printf("Protocol=%d\nFlowControl=%d\nBaudRate=%d\nWindowSize=%d\nCrashRecovery=%d\nMaxErrors=%d\n"
              "Port=%d\nUseModem=%d\nLogToFile=%d\nLogToScreen=%d\nLogFilename=%s\nTelephone=%s\n",
              s.Protocol, s.FlowControl, s.BaudRate, s.WindowSize, s.CrashRecovery, s.MaxErrors, s.Port,
              s.UseModem, s.LogToFile, s.LogToScreen, s.LogFilename.c_str(), s.Telephone.c_str());
}

// A ZModem send with files behind it (its bar moving until the window is closed), the same send
// failed, and the compact window of a quiet XModem receive.
void ShowProgress(TransferSettings& settings, const DeviceLists& devices, const std::string& state, bool ownProtocol) {
  const bool compact = state == "compact";
  settings.MaxTitle = "Zandrel - Transfer";
  settings.Port = 1;
  if (!ownProtocol) settings.Protocol = compact ? TransferSettings::kXModem : TransferSettings::kZModem;
  settings.Transfer = !compact;
  settings.BaudRate = compact ? 19200 : 115200;
  settings.LogToScreen = settings.Verbose = !compact;
  ProgressWindow window(
      [&](ProgressView& view) {
        if (!compact) {
          view.AddLogEntry("C:\\Daten\\Überweisung-日本.bin", "OK", 48213);
          view.AddLogEntry("C:\\Daten\\Messwerte-😀.csv", "OK", 51877);
        }
        const char* name = compact ? "Station-Ü7.log" : "C:\\Daten\\Übersicht-日本-2024 😀.zip";
        const int64_t size = compact ? 64000 : 1843200;
        view.ShowFile(name, size);
        view.SetStatus(compact ? "Receiving file..." : "Sending file...");
        view.ShowErrorCount(0);
        if (state == "failed") {
          view.ShowBytes(1105920, size);
          view.ShowErrorCount(4);
          view.AddLogEntry(name, "Timeout.", 1105920);
          view.SetHelpId(17);
          view.SetStatus("Timeout.");
          view.FinishRun();
          return;
        }
        for (int64_t bytes = size * 3 / 5; !view.doneEvent.IsSet(); bytes = (bytes + size / 200) % size) {
          view.ShowBytes(bytes, size);
          Sleep(50);
        }
      },
      1, settings, devices);
  std::printf("closed=%d\n", static_cast<int>(window.RunModal(nullptr)));
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  Help::Install(NoViewer);
  const std::string what = argv[1];
  TransferSettings settings;
  settings.Reset(1, "C:\\Programme\\Zandrel-Überweisung-日本 😀\\");
  settings.MaxTitle = "Zandrel";
  for (int i = 2; i < argc; ++i) Apply(settings, argv[i]);
  FileSelection three;
  three.folder = "C:\\Daten\\Ausgang";
  three.names = {"Überweisung-日本.bin", "Bestand-😀.txt", "readme.txt"};
  DeviceLists devices;
  devices.AddPort({"COM1", ""});
  devices.AddPort({"COM3", ""});
  devices.AddModem({"Line Modem 56K", "SYSTEM\\CurrentControlSet\\Control\\Class\\m0", 2});

  if (what == "progress" && (argc == 3 || argc == 4)) {
    ShowProgress(settings, devices, argv[2], argc == 4);
  } else if (what == "sheet") {
    auto user = Registry::CurrentUser();
    if (auto listing = user->Create("Software\\Harbwick\\Zandrel\\Telephone")) {
      listing->WriteString("1.Desc", "Zentrale Überweisung 日本 😀");
      listing->WriteString("1.Phone", "555-0100");
    }
    std::printf("ran=%d\n", SetupSheet(settings, devices, *user).Run(SetupPages()));
    Print(settings);
  } else if (what == "sendas") {
    SendAsDialog dialog;
    dialog.chosen = three;
    const int32_t button = dialog.Run();
    std::printf("button=%d\nresult=%s\n", button, dialog.result.c_str());
  } else if (what == "phone") {
    PhoneEntryDialog dialog;
    dialog.description = "Zentrale Überweisung 日本 😀";
    dialog.number = "555-0100";
    const int32_t button = dialog.Run();
    std::printf("button=%d\ndescription=%s\nnumber=%s\n", button, dialog.description.c_str(), dialog.number.c_str());
  } else {
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
