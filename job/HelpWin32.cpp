// HTML Help through hhctrl.ocx, loaded on first use so the module does not depend on it.
#include "job/Help.h"

#include <windows.h>

#include "link/WideText.h"

namespace {
using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT kHelpContext = 0x000F;  // HH_HELP_CONTEXT: open the topic mapped to a number
}  // namespace

bool Help::PlatformShow(const char* file, int32_t context, void* owner) {
  static HtmlHelpFunction htmlHelp = [] {
    HMODULE library = LoadLibraryW(L"hhctrl.ocx");
    return library ? reinterpret_cast<HtmlHelpFunction>(
                         reinterpret_cast<void (*)()>(GetProcAddress(library, "HtmlHelpW")))
                   : nullptr;
  }();
  if (!htmlHelp) return false;
  const std::wstring path = WideText::Widen(file ? file : "");
  return htmlHelp(static_cast<HWND>(owner), path.c_str(), kHelpContext, static_cast<DWORD_PTR>(context)) != nullptr;
}
