#include "object/setup/DialogControls.h"

#include <commctrl.h>

#include "job/Help.h"
#include "object/setup/SetupIds.h"
#include "object/setup/ValueList.h"

namespace {
struct Editor {
  int32_t helpId;
  const std::string& helpFile;
  const std::function<void(HWND)>& load;
  const std::function<void(HWND)>& store;
};

INT_PTR CALLBACK EditorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* editor = reinterpret_cast<Editor*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    reinterpret_cast<Editor*>(lParam)->load(dialog);
    return TRUE;
  }
  if (editor == nullptr) return FALSE;
  const bool help = message == WM_HELP || (message == WM_COMMAND && LOWORD(wParam) == IDC_HELP_BUTTON);
  if (help) {
    Help::Show(editor->helpFile.c_str(), editor->helpId, dialog);
    return TRUE;
  }
  if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)) return FALSE;
  if (LOWORD(wParam) == IDOK) editor->store(dialog);
  EndDialog(dialog, LOWORD(wParam));
  return TRUE;
}
}  // namespace

HINSTANCE DialogControls::Module() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&DialogControls::Module), &module);
  return module;
}

HWND DialogControls::Owner() { return GetActiveWindow(); }

int32_t DialogControls::RunEditor(int templateId, int32_t helpId, const std::string& helpFile,
                                  const std::function<void(HWND)>& load, const std::function<void(HWND)>& store) {
  Editor editor{helpId, helpFile, load, store};
  return static_cast<int32_t>(DialogBoxParamA(Module(), MAKEINTRESOURCEA(templateId), Owner(), EditorProc,
                                              reinterpret_cast<LPARAM>(&editor)));
}

std::string DialogControls::Text(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  const int length = GetWindowTextLengthA(control);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(control, &text[0], length + 1)));
  return text;
}

void DialogControls::SetText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextA(dialog, id, text.c_str());
}

bool DialogControls::Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void DialogControls::Check(HWND dialog, int id, bool on) {
  CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void DialogControls::Enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on); }

void DialogControls::FillCombo(HWND dialog, int id, const ValueList& list, int32_t selected) {
  SendDlgItemMessageA(dialog, id, CB_RESETCONTENT, 0, 0);
  for (int32_t i = 0; i < list.Count(); ++i)
    SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(list.Text(i)));
  SelectCombo(dialog, id, selected);
}

void DialogControls::SelectCombo(HWND dialog, int id, int32_t selected) {
  SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int32_t DialogControls::ComboSelection(HWND dialog, int id) {
  const LRESULT index = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? -1 : static_cast<int32_t>(index);
}

void DialogControls::AddColumn(HWND list, int index, const char* title, int width) {
  LVCOLUMNA column = {};
  column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.cx = width;
  column.pszText = const_cast<char*>(title);
  column.iSubItem = index;
  SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

std::string DialogControls::ItemText(HWND list, int item, int column) {
  char buffer[600] = "";
  LVITEMA entry = {};
  entry.iSubItem = column;
  entry.pszText = buffer;
  entry.cchTextMax = sizeof buffer;
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&entry));
  return buffer;
}

int DialogControls::SelectedItem(HWND list) {
  return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}
