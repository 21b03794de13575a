// The message box TransferFiles shows when it refuses to start: the result's text, the
// exclamation icon, OK and Help. While it is up the owner window is subclassed so that its Help
// request opens the help file at the result's topic; without an active window a hidden window of
// our own owns the box and answers Help the same way.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

class ErrorBox {
 public:
  // Shows the box modally over the thread's active window and returns when it is closed.
  static void Show(const char* text, const std::string& caption, const std::string& helpFile, int32_t topic);
};
