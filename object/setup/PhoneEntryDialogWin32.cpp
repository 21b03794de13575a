#include "object/setup/PhoneEntryDialog.h"

#include "object/setup/DialogControls.h"
#include "object/setup/DialogText.h"
#include "object/setup/SetupIds.h"
#include "object/setup/TelephoneListing.h"

int32_t PhoneEntryDialog::Run() {
  auto load = [this](HWND dialog) {
    SendDlgItemMessageW(dialog, IDC_DESCRIPTION, EM_LIMITTEXT, TelephoneListing::kDescriptionChars, 0);
    SendDlgItemMessageW(dialog, IDC_NUMBER, EM_LIMITTEXT, TelephoneListing::kNumberChars, 0);
    if (!description.empty()) DialogControls::SetText(dialog, IDC_DESCRIPTION, description);
    if (!number.empty()) DialogControls::SetText(dialog, IDC_NUMBER, number);
  };
  auto store = [this](HWND dialog) {
    description = DialogText::Cut(DialogControls::Text(dialog, IDC_DESCRIPTION), TelephoneListing::kDescriptionChars);
    number = DialogText::Cut(DialogControls::Text(dialog, IDC_NUMBER), TelephoneListing::kNumberChars);
  };
  return DialogControls::RunEditor(IDD_PHONE_ENTRY, HELP_PHONE_ENTRY, helpFile, load, store);
}
