#include "object/setup/PhoneEntryDialog.h"

#include "object/setup/DialogControls.h"
#include "job/Help.h"
#include "object/setup/SetupIds.h"
#include "object/setup/TelephoneListing.h"

namespace {
INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<PhoneEntryDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      self = reinterpret_cast<PhoneEntryDialog*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SendDlgItemMessageA(dialog, IDC_DESCRIPTION, EM_LIMITTEXT, TelephoneListing::kDescriptionChars, 0);
      SendDlgItemMessageA(dialog, IDC_NUMBER, EM_LIMITTEXT, TelephoneListing::kNumberChars, 0);
      if (!self->description.empty()) DialogControls::SetText(dialog, IDC_DESCRIPTION, self->description);
      if (!self->number.empty()) DialogControls::SetText(dialog, IDC_NUMBER, self->number);
      return TRUE;
    case WM_HELP:
      Help::Show(self->helpFile.c_str(), HELP_PHONE_ENTRY, dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          self->description = DialogControls::Text(dialog, IDC_DESCRIPTION).substr(0, TelephoneListing::kDescriptionChars);
          self->number = DialogControls::Text(dialog, IDC_NUMBER).substr(0, TelephoneListing::kNumberChars);
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case IDC_HELP_BUTTON:
          Help::Show(self->helpFile.c_str(), HELP_PHONE_ENTRY, dialog);
          return TRUE;
      }
      break;
  }
  return FALSE;
}
}  // namespace

int32_t PhoneEntryDialog::Run() {
  return static_cast<int32_t>(DialogBoxParamA(DialogControls::Module(), MAKEINTRESOURCEA(IDD_PHONE_ENTRY),
                                              DialogControls::Owner(), Proc, reinterpret_cast<LPARAM>(this)));
}
