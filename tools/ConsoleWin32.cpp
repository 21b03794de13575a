// Windows console services: arguments and output in UTF-16, COM port names, Ctrl-C through a
// console control handler, terminals by the C runtime.
#include "tools/Console.h"

#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include <cctype>

#include "job/TransferJob.h"
#include "link/WideText.h"

namespace {
volatile LONG interrupted = 0;

BOOL WINAPI OnControl(DWORD) {
  // Every console event (Ctrl-C, Ctrl-Break, closing the window) asks the transfer to stop.
  InterlockedExchange(&interrupted, 1);
  return TRUE;
}
}  // namespace

std::vector<std::string> Console::Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(WideText::Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void Console::Write(std::FILE* stream, const std::string& text) {
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
    return;
  }
  std::fflush(stream);  // what the C runtime still holds goes first
  const std::wstring wide = WideText::Widen(text);
  DWORD written = 0;
  ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

std::string Console::PortName(const std::string& given) {
  if (TransferJob::OpensByName(given)) return given;  // a network port, whatever the platform
  std::string s = given.rfind("\\\\.\\", 0) == 0 ? given.substr(4) : given;
  if (s.size() < 4) return std::string();
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(s[i])) != "COM"[i]) return std::string();
  for (size_t i = 3; i < s.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return std::string();
  return "COM" + s.substr(3);
}

void Console::CatchInterrupt() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool Console::Interrupted() { return InterlockedCompareExchange(&interrupted, 0, 0) != 0; }

bool Console::IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

bool Console::SharesStdio(std::FILE*) { return false; }  // the standard streams are never the port here
