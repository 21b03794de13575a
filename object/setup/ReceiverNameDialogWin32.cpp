#include "object/setup/ReceiverNameDialog.h"

#include "object/setup/DialogControls.h"
#include "object/setup/SendAsList.h"
#include "job/Help.h"
#include "object/setup/SetupIds.h"

namespace {
INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<ReceiverNameDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      self = reinterpret_cast<ReceiverNameDialog*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      DialogControls::SetText(dialog, IDC_SENDER_NAME, self->sender);
      DialogControls::Enable(dialog, IDC_SENDER_NAME, false);
      SendDlgItemMessageA(dialog, IDC_RECEIVER_NAME, EM_LIMITTEXT, SendAsList::kNameChars, 0);
      DialogControls::SetText(dialog, IDC_RECEIVER_NAME, self->receiver);
      return TRUE;
    case WM_HELP:
      Help::Show(self->helpFile.c_str(), HELP_RECEIVER_NAME, dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          self->receiver = DialogControls::Text(dialog, IDC_RECEIVER_NAME).substr(0, SendAsList::kNameChars);
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case IDC_HELP_BUTTON:
          Help::Show(self->helpFile.c_str(), HELP_RECEIVER_NAME, dialog);
          return TRUE;
      }
      break;
  }
  return FALSE;
}
}  // namespace

int32_t ReceiverNameDialog::Run() {
  return static_cast<int32_t>(DialogBoxParamA(DialogControls::Module(), MAKEINTRESOURCEA(IDD_RECEIVER_NAME),
                                              DialogControls::Owner(), Proc, reinterpret_cast<LPARAM>(this)));
}
