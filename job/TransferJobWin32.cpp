// The job's port on Windows: the COM port of the selected port (or of the selected modem),
// opened as a Win32Port, and the system's words when it does not open.
#include "job/TransferJob.h"

#include <windows.h>

#include <cstdio>
#include <new>

#include "link/LinkCodes.h"
#include "link/WideText.h"
#include "link/Win32Port.h"

namespace {
std::string SystemText(DWORD error) {
  // The two a user meets most, in words about ports rather than files.
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return "no such port on this computer";
  if (error == ERROR_ACCESS_DENIED) return "in use by another program";
  wchar_t text[256] = L"";
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                 text, 256, nullptr);
  std::string s = WideText::Narrow(std::wstring_view(text, n));
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
  if (s.empty()) s = "system error " + std::to_string(error);
  return s;
}
}  // namespace

std::unique_ptr<ComLink> TransferJob::OpenPort() {
  int32_t index = -1;
  const bool listed = settings.Port >= 0 && settings.Port < devices.PortCount();
  if (settings.UseModem != 0) {
    if (settings.ModemName >= 0 && settings.ModemName < devices.ModemCount())
      index = devices.Modem(settings.ModemName).portIndex;
  } else if (listed) {
    index = DeviceLists::PortIndexOf(devices.Port(settings.Port).name.c_str());
  }
  // A port opened by name is the selected entry itself; a modem on it has no COM port (-1).
  std::unique_ptr<ComLink> named;
  if ((settings.UseModem == 0 || index < 0) && listed && OpenNamedPort(devices.Port(settings.Port).name, named))
    return named;
  if (index < 0) {
    portProblem = "no serial port is selected";
    return nullptr;
  }
  SetLastError(0);
  std::unique_ptr<Win32Port> port(new (std::nothrow) Win32Port(index, 4096, 2048));
  const DWORD error = GetLastError();
  if (!port) {
    portProblem = "out of memory";
  } else if (port->Status() != 0) {
    char device[16];
    std::snprintf(device, sizeof device, "COM%d", static_cast<int>(index + 1));
    portProblem = std::string(device) + ": " +
                  (port->Status() == LinkCode::PortInUse ? std::string("already in use by this program")
                                                         : SystemText(error));
  }
  return port;
}

int32_t TransferJob::ModemPortOf(const DeviceLists& devices, int32_t listIndex) {
  if (listIndex < 0 || listIndex >= devices.PortCount() || OpensByName(devices.Port(listIndex).name)) return -1;
  return DeviceLists::PortIndexOf(devices.Port(listIndex).name.c_str());
}
