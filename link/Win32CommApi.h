// The Win32 communications calls that Win32Port makes, as one table of function pointers, so
// that tests can put a scripted device behind the port where Wine's serial emulation cannot
// show a behaviour (modem lines, DTR/RTS, another process holding the port).
#pragma once
#include <windows.h>

#include <cstdint>

struct Win32CommApi {
  HANDLE(WINAPI* CreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  BOOL(WINAPI* CloseHandle)(HANDLE);
  BOOL(WINAPI* SetupComm)(HANDLE, DWORD, DWORD);
  BOOL(WINAPI* GetCommState)(HANDLE, LPDCB);
  BOOL(WINAPI* SetCommState)(HANDLE, LPDCB);
  BOOL(WINAPI* SetCommTimeouts)(HANDLE, LPCOMMTIMEOUTS);
  BOOL(WINAPI* GetCommMask)(HANDLE, LPDWORD);
  BOOL(WINAPI* SetCommMask)(HANDLE, DWORD);
  BOOL(WINAPI* WaitCommEvent)(HANDLE, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* ClearCommError)(HANDLE, LPDWORD, LPCOMSTAT);
  BOOL(WINAPI* GetCommModemStatus)(HANDLE, LPDWORD);
  BOOL(WINAPI* EscapeCommFunction)(HANDLE, DWORD);
  BOOL(WINAPI* SetCommBreak)(HANDLE);
  BOOL(WINAPI* ClearCommBreak)(HANDLE);
  BOOL(WINAPI* TransmitCommChar)(HANDLE, char);
  BOOL(WINAPI* PurgeComm)(HANDLE, DWORD);
  BOOL(WINAPI* ReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* WriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* GetOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL);
  BOOL(WINAPI* FlushFileBuffers)(HANDLE);
  // Idle's wait: the device's request together with the wake event, and its end.
  DWORD(WINAPI* WaitForMultipleObjects)(DWORD, const HANDLE*, BOOL, DWORD);
  BOOL(WINAPI* CancelIo)(HANDLE);
  void(WINAPI* Sleep)(DWORD);
  // Microseconds of a fine monotonic clock: the tick counter is too coarse (about 16 ms on
  // Windows) to tell whether the line was busy a millisecond ago.
  uint64_t (*MicrosecondsNow)();

  // The system's own functions.
  static const Win32CommApi& System();
};
