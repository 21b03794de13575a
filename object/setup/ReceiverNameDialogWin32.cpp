#include "object/setup/ReceiverNameDialog.h"

#include "object/setup/DialogControls.h"
#include "object/setup/DialogText.h"
#include "object/setup/SendAsList.h"
#include "object/setup/SetupIds.h"

int32_t ReceiverNameDialog::Run() {
  auto load = [this](HWND dialog) {
    DialogControls::SetText(dialog, IDC_SENDER_NAME, sender);
    DialogControls::Enable(dialog, IDC_SENDER_NAME, false);
    SendDlgItemMessageW(dialog, IDC_RECEIVER_NAME, EM_LIMITTEXT, SendAsList::kNameChars, 0);
    DialogControls::SetText(dialog, IDC_RECEIVER_NAME, receiver);
  };
  auto store = [this](HWND dialog) {
    receiver = DialogText::Cut(DialogControls::Text(dialog, IDC_RECEIVER_NAME), SendAsList::kNameChars);
  };
  return DialogControls::RunEditor(IDD_RECEIVER_NAME, HELP_RECEIVER_NAME, helpFile, load, store);
}
