#include "object/setup/DialogControls.h"

#include <commctrl.h>

#include "job/Help.h"
#include "link/WideText.h"
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
  auto* editor = reinterpret_cast<Editor*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
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
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&DialogControls::Module), &module);
  return module;
}

HWND DialogControls::Owner() { return GetActiveWindow(); }

int32_t DialogControls::RunEditor(int templateId, int32_t helpId, const std::string& helpFile,
                                  const std::function<void(HWND)>& load, const std::function<void(HWND)>& store) {
  Editor editor{helpId, helpFile, load, store};
  return static_cast<int32_t>(DialogBoxParamW(Module(), MAKEINTRESOURCEW(templateId), Owner(), EditorProc,
                                              reinterpret_cast<LPARAM>(&editor)));
}

std::string DialogControls::Text(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], length + 1)));
  return WideText::Narrow(text);
}

std::string DialogControls::Text(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

void DialogControls::SetText(HWND window, const std::string& text) {
  SetWindowTextW(window, WideText::Widen(text).c_str());
}

void DialogControls::SetText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextW(dialog, id, WideText::Widen(text).c_str());
}

bool DialogControls::Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void DialogControls::Check(HWND dialog, int id, bool on) {
  CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void DialogControls::Enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on); }

void DialogControls::FillCombo(HWND dialog, int id, const ValueList& list, int32_t selected) {
  SendDlgItemMessageW(dialog, id, CB_RESETCONTENT, 0, 0);
  for (int32_t i = 0; i < list.Count(); ++i) AddComboText(dialog, id, list.Text(i));
  SelectCombo(dialog, id, selected);
}

void DialogControls::AddComboText(HWND dialog, int id, const std::string& text) {
  SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText::Widen(text).c_str()));
}

void DialogControls::SelectCombo(HWND dialog, int id, int32_t selected) {
  SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int32_t DialogControls::ComboSelection(HWND dialog, int id) {
  const LRESULT index = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? -1 : static_cast<int32_t>(index);
}

void DialogControls::AddColumn(HWND list, int index, const char* title, int width) {
  std::wstring text = WideText::Widen(title);
  LVCOLUMNW column = {};
  column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.cx = width;
  column.pszText = &text[0];
  column.iSubItem = index;
  SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

int DialogControls::AddItem(HWND list, int item, const std::string& text) {
  std::wstring wide = WideText::Widen(text);
  LVITEMW entry = {};
  entry.mask = LVIF_TEXT;
  entry.iItem = item;
  entry.pszText = &wide[0];
  return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&entry)));
}

void DialogControls::SetItemText(HWND list, int item, int column, const std::string& text) {
  std::wstring wide = WideText::Widen(text);
  LVITEMW cell = {};
  cell.iSubItem = column;
  cell.pszText = &wide[0];
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
}

std::string DialogControls::ItemText(HWND list, int item, int column) {
  wchar_t buffer[600] = L"";
  LVITEMW entry = {};
  entry.iSubItem = column;
  entry.pszText = buffer;
  entry.cchTextMax = 600;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&entry));
  return WideText::Narrow(buffer);
}

void DialogControls::SelectItem(HWND list, int item) {
  LVITEMW state = {};
  state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
  SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE);
}

int DialogControls::SelectedItem(HWND list) {
  return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}
