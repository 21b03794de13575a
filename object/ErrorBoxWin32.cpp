#include "object/ErrorBox.h"

#include "job/Help.h"

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
  if (request.ownerProcedure) return CallWindowProcA(request.ownerProcedure, window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

const char kHelperClass[] = "ZandrelErrorBoxOwner";
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
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnswerHelp)));
  } else {
    // A console host has no window; the box still needs an owner that hears its Help button.
    WNDCLASSA type{};
    type.lpfnWndProc = AnswerHelp;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&AnswerHelp), &module);
    type.hInstance = module;
    type.lpszClassName = kHelperClass;
    RegisterClassA(&type);
    helper = CreateWindowExA(0, kHelperClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, type.hInstance, nullptr);
  }
  MessageBoxA(owner ? owner : helper, text, caption.c_str(), MB_OK | MB_ICONEXCLAMATION | MB_HELP);
  if (owner && request.ownerProcedure)
    SetWindowLongPtrA(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(request.ownerProcedure));
  if (helper) {
    DestroyWindow(helper);
    // The module may be unloaded before the next box: no class may outlive its procedure.
    UnregisterClassA(kHelperClass, module);
  }
  request = before;
}
