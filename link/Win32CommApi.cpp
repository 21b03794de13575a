// The table of the real kernel32 communications functions.
#include "link/Win32CommApi.h"

namespace {
uint64_t QueryMicroseconds() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Split to keep the product in range for counters that run for weeks.
  const int64_t whole = now.QuadPart / frequency, part = now.QuadPart % frequency;
  return static_cast<uint64_t>(whole) * 1000000u + static_cast<uint64_t>(part * 1000000 / frequency);
}
}  // namespace

const Win32CommApi& Win32CommApi::System() {
  static const Win32CommApi api = {
      ::CreateFileA,   ::CloseHandle,     ::SetupComm,          ::GetCommState,
      ::SetCommState,  ::SetCommTimeouts, ::GetCommMask,        ::SetCommMask,
      ::WaitCommEvent, ::ClearCommError,  ::GetCommModemStatus, ::EscapeCommFunction,
      ::SetCommBreak,  ::ClearCommBreak,  ::TransmitCommChar,   ::PurgeComm,
      ::ReadFile,      ::WriteFile,       ::GetOverlappedResult, ::FlushFileBuffers,
      ::WaitForMultipleObjects, ::CancelIo, ::Sleep, QueryMicroseconds};
  return api;
}
