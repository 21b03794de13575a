#include "object/setup/SendAsDialog.h"

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "object/setup/DialogControls.h"
#include "object/setup/ReceiverNameDialog.h"
#include "object/setup/SendAsList.h"
#include "job/Help.h"
#include "object/setup/SetupIds.h"

namespace {
struct Session {
  SendAsDialog* dialog;
  std::vector<SendAsList::Row> rows;
};

void Fill(HWND dialog, Session& session) {
  HWND list = GetDlgItem(dialog, IDC_SEND_AS_LIST);
  DialogControls::AddColumn(list, 0, "Sender Path\\Filename", 150);
  DialogControls::AddColumn(list, 1, "Receiver Path\\Filename", 150);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  for (size_t i = 0; i < session.rows.size(); ++i) {
    DialogControls::AddItem(list, static_cast<int>(i), session.rows[i].sender);
    DialogControls::SetItemText(list, static_cast<int>(i), 1, session.rows[i].receiver);
  }
  if (!session.rows.empty()) DialogControls::SelectItem(list, 0);
}

void EditRow(HWND dialog, Session& session) {
  HWND list = GetDlgItem(dialog, IDC_SEND_AS_LIST);
  const int row = DialogControls::SelectedItem(list);
  if (row < 0 || static_cast<size_t>(row) >= session.rows.size()) return;
  ReceiverNameDialog edit;
  edit.sender = session.rows[static_cast<size_t>(row)].sender;
  edit.receiver = session.rows[static_cast<size_t>(row)].receiver;
  edit.helpFile = session.dialog->helpFile;
  edit.Run();
  session.rows[static_cast<size_t>(row)].receiver = edit.receiver;
  DialogControls::SetItemText(list, row, 1, edit.receiver);
}

INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* session = reinterpret_cast<Session*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      session = reinterpret_cast<Session*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      Fill(dialog, *session);
      return TRUE;
    case WM_HELP:
      Help::Show(session->dialog->helpFile.c_str(), HELP_SEND_AS, dialog);
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == IDC_SEND_AS_LIST && header->code == NM_DBLCLK) EditRow(dialog, *session);
      break;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          // A list without rows leaves the caller's names as they were.
          if (!session->rows.empty()) session->dialog->result = SendAsList::Result(session->rows);
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          session->dialog->result.clear();
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case IDC_EDIT:
          EditRow(dialog, *session);
          return TRUE;
        case IDC_HELP_BUTTON:
          Help::Show(session->dialog->helpFile.c_str(), HELP_SEND_AS, dialog);
          return TRUE;
      }
      break;
  }
  return FALSE;
}
}  // namespace

int32_t SendAsDialog::Run() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  Session session{this, SendAsList::Build(chosen)};
  return static_cast<int32_t>(DialogBoxParamW(DialogControls::Module(), MAKEINTRESOURCEW(IDD_SEND_AS),
                                              DialogControls::Owner(), Proc, reinterpret_cast<LPARAM>(&session)));
}
