#include "object/ErrorBox.h"

#include "job/Help.h"
#include "link/WideText.h"

namespace {
// One box at a time on the host's thread: what its Help request needs.
struct HelpRequest {
  WNDPROC ownerProcedure = nullptr;
  const std::string* helpFile = nullptr;
  int32_t topic = 0;
};
thread_local HelpRequest request;

LRESULT CALLBACK AnswerHelp(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_HELP && request.helpFile) {
    Help::Show(request.helpFile->c_str(), request.topic, window);
    return TRUE;
  }
  if (request.ownerProcedure) return CallWindowProcW(request.ownerProcedure, window, message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t kHelperClass[] = L"ZandrelErrorBoxOwner";
}  // namespace

void ErrorBox::Show(const char* text, const std::string& caption, const std::string& helpFile, int32_t topic) {
  const HelpRequest before = request;
  request.helpFile = &helpFile;
  request.topic = topic;
  request.ownerProcedure = nullptr;
  HWND owner = GetActiveWindow();
  HWND helper = nullptr;
  HMODULE module = nullptr;
  if (owner) {
    request.ownerProcedure =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnswerHelp)));
  } else {
    // A console host has no window; the box still needs an owner that hears its Help button.
    WNDCLASSW type{};
    type.lpfnWndProc = AnswerHelp;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&AnswerHelp), &module);
    type.hInstance = module;
    type.lpszClassName = kHelperClass;
    RegisterClassW(&type);
    helper = CreateWindowExW(0, kHelperClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, type.hInstance, nullptr);
  }
  MessageBoxW(owner ? owner : helper, WideText::Widen(text ? text : "").c_str(), WideText::Widen(caption).c_str(),
              MB_OK | MB_ICONEXCLAMATION | MB_HELP);
  if (owner && request.ownerProcedure)
    SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(request.ownerProcedure));
  if (helper) {
    DestroyWindow(helper);
    // The module may be unloaded before the next box: no class may outlive its procedure.
    UnregisterClassW(kHelperClass, module);
  }
  request = before;
}
