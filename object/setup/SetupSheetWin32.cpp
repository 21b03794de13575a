#include "object/setup/SetupSheet.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <string>

#include "modem/DeviceLists.h"
#include "job/TransferSettings.h"
#include "object/setup/DialogControls.h"
#include "object/setup/PhoneEntryDialog.h"
#include "job/Help.h"
#include "link/WideText.h"
#include "object/setup/SetupIds.h"
#include "object/setup/TransferPageRules.h"

struct SetupSheetPages {
  static SetupSheet* Sheet(HWND page) { return reinterpret_cast<SetupSheet*>(GetWindowLongPtrW(page, DWLP_USER)); }

  // Every page: remember the sheet, answer F1 and the Help button, tell the sheet of edits.
  static SetupSheet* Begin(HWND page, LPARAM lParam) {
    auto* sheet = reinterpret_cast<SetupSheet*>(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
    SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(sheet));
    return sheet;
  }
  static void Changed(HWND page) {
    if (!Sheet(page)->filling) SendMessageW(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
  }
  static BOOL Applied(HWND page) {
    SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_NOERROR);
    return TRUE;
  }
  static void ShowHelp(HWND page, int32_t context) {
    Help::Show(Sheet(page)->settings.HelpFile.c_str(), context, GetParent(page));
  }

  static INT_PTR CALLBACK General(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK Transfer(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK Logging(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK Modem(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

  static void ShowGeneral(HWND page, const GeneralPageRules::State& state);
  static void ShowFlowControl(HWND page, const GeneralPageRules::State& state);
  static void ReadGeneral(HWND page, GeneralPageRules::State& state);
  static void EnableLogging(HWND page);
  static void BrowseFolder(HWND page);
  static void BrowseLogFile(HWND page);
  static void ShowRow(HWND page, int32_t row);
  static int32_t SelectedRow(HWND page);
  static void EditRow(HWND page);
};

namespace {
// Help on the sheet's own buttons and tabs goes to the page on show.
LRESULT CALLBACK SheetHelp(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_HELP) {
    HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    if (page) return SendMessageW(page, WM_HELP, wParam, lParam);
  }
  return DefSubclassProc(sheet, message, wParam, lParam);
}

int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM) {
  if (message == PSCB_INITIALIZED) SetWindowSubclass(sheet, SheetHelp, 1, 0);
  return 0;
}

bool IsCommand(WPARAM wParam, int id, int code) { return LOWORD(wParam) == id && HIWORD(wParam) == code; }
}  // namespace

void SetupSheetPages::ShowFlowControl(HWND page, const GeneralPageRules::State& state) {
  DialogControls::FillCombo(page, IDC_FLOW_CONTROL, *state.flowList, state.flowControl);
  DialogControls::Enable(page, IDC_WINDOW_SIZE, state.zmodemOptions);
  DialogControls::Enable(page, IDC_CRASH_RECOVERY, state.zmodemOptions);
}

void SetupSheetPages::ShowGeneral(HWND page, const GeneralPageRules::State& state) {
  DialogControls::FillCombo(page, IDC_CRASH_RECOVERY, ValueList::kCrashRecovery, state.crashRecovery);
  DialogControls::FillCombo(page, IDC_WINDOW_SIZE, ValueList::kWindowSize, state.windowSize);
  DialogControls::FillCombo(page, IDC_BAUD_RATE, ValueList::kBaudRate, state.baudRate);
  DialogControls::FillCombo(page, IDC_SETUP_PROTOCOL, ValueList::kProtocol, state.protocol);
  SendDlgItemMessageW(page, IDC_CONNECTION, CB_RESETCONTENT, 0, 0);
  for (const std::string& name : state.connections) DialogControls::AddComboText(page, IDC_CONNECTION, name);
  DialogControls::SelectCombo(page, IDC_CONNECTION, state.connection);
  DialogControls::SetText(page, IDC_MAX_ERRORS, state.maxErrors);
  ShowFlowControl(page, state);
  for (int id : {IDC_BAUD_RATE, IDC_SETUP_PROTOCOL, IDC_CONNECTION, IDC_FLOW_CONTROL})
    SendDlgItemMessageW(page, id, CB_SETEXTENDEDUI, TRUE, 0);
}

void SetupSheetPages::ReadGeneral(HWND page, GeneralPageRules::State& state) {
  state.connection = DialogControls::ComboSelection(page, IDC_CONNECTION);
  state.baudRate = DialogControls::ComboSelection(page, IDC_BAUD_RATE);
  state.protocol = DialogControls::ComboSelection(page, IDC_SETUP_PROTOCOL);
  state.maxErrors = DialogControls::Text(page, IDC_MAX_ERRORS);
  state.flowControl = DialogControls::ComboSelection(page, IDC_FLOW_CONTROL);
  state.windowSize = DialogControls::ComboSelection(page, IDC_WINDOW_SIZE);
  state.crashRecovery = DialogControls::ComboSelection(page, IDC_CRASH_RECOVERY);
}

INT_PTR CALLBACK SetupSheetPages::General(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetupSheet* sheet = Begin(page, lParam);
      sheet->general = GeneralPageRules::Open(sheet->copy, sheet->devices);
      sheet->filling = true;
      ShowGeneral(page, sheet->general);
      sheet->filling = false;
      return TRUE;
    }
    case WM_HELP:
      ShowHelp(page, HELP_GENERAL);
      return TRUE;
    case WM_COMMAND: {
      SetupSheet* sheet = Sheet(page);
      if (IsCommand(wParam, IDC_SETUP_PROTOCOL, CBN_SELCHANGE)) {
        ReadGeneral(page, sheet->general);
        GeneralPageRules::SelectProtocol(sheet->general, sheet->general.protocol);
        ShowFlowControl(page, sheet->general);
        Changed(page);
      } else if (IsCommand(wParam, IDC_CONNECTION, CBN_SELCHANGE) || IsCommand(wParam, IDC_BAUD_RATE, CBN_SELCHANGE) ||
                 IsCommand(wParam, IDC_FLOW_CONTROL, CBN_SELCHANGE)) {
        Changed(page);
      } else if (IsCommand(wParam, IDC_MAX_ERRORS, EN_KILLFOCUS)) {
        Changed(page);
        const std::string typed = DialogControls::Text(page, IDC_MAX_ERRORS);
        const std::string corrected = GeneralPageRules::CorrectMaxErrors(typed);
        if (corrected != typed) DialogControls::SetText(page, IDC_MAX_ERRORS, corrected);
      }
      break;
    }
    case WM_NOTIFY:
      switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
        case PSN_APPLY: {
          SetupSheet* sheet = Sheet(page);
          ReadGeneral(page, sheet->general);
          GeneralPageRules::Ok(sheet->general, sheet->copy);
          return Applied(page);
        }
        case PSN_HELP:
          ShowHelp(page, HELP_GENERAL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

void SetupSheetPages::BrowseFolder(HWND page) {
  wchar_t folder[MAX_PATH] = L"";
  BROWSEINFOW browse = {};
  browse.hwndOwner = DialogControls::Owner();
  browse.pszDisplayName = folder;
  browse.lpszTitle = L"Select Default File Folder";
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_EDITBOX;
  LPITEMIDLIST chosen = SHBrowseForFolderW(&browse);
  if (!chosen) return;
  if (SHGetPathFromIDListW(chosen, folder)) DialogControls::SetText(page, IDC_DEFAULT_DIR, WideText::Narrow(folder));
  CoTaskMemFree(chosen);
}

INT_PTR CALLBACK SetupSheetPages::Transfer(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetupSheet* sheet = Begin(page, lParam);
      const auto state = TransferPageRules::OpenTransfer(sheet->copy);
      sheet->filling = true;
      DialogControls::FillCombo(page, IDC_PATH_SWITCH, ValueList::kPathSwitch, state.pathSwitch);
      DialogControls::FillCombo(page, IDC_OVERWRITE, ValueList::kOverwrite, state.overwrite);
      DialogControls::SetText(page, IDC_SEND_TIMEOUT, state.sendTimeout);
      DialogControls::SetText(page, IDC_RECV_TIMEOUT, state.recvTimeout);
      SendDlgItemMessageW(page, IDC_DEFAULT_DIR, EM_LIMITTEXT, SetupCopy::kPathChars, 0);
      DialogControls::SetText(page, IDC_DEFAULT_DIR, state.defaultDir);
      sheet->filling = false;
      return TRUE;
    }
    case WM_HELP:
      ShowHelp(page, HELP_TRANSFER);
      return TRUE;
    case WM_COMMAND:
      if (IsCommand(wParam, IDC_SEND_TIMEOUT, EN_CHANGE) || IsCommand(wParam, IDC_RECV_TIMEOUT, EN_CHANGE) ||
          IsCommand(wParam, IDC_DEFAULT_DIR, EN_CHANGE) || IsCommand(wParam, IDC_PATH_SWITCH, CBN_SELCHANGE) ||
          IsCommand(wParam, IDC_OVERWRITE, CBN_SELCHANGE))
        Changed(page);
      else if (IsCommand(wParam, IDC_BROWSE, BN_CLICKED))
        BrowseFolder(page);
      break;
    case WM_NOTIFY:
      switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
        case PSN_APPLY: {
          TransferPageRules::Transfer state;
          state.sendTimeout = DialogControls::Text(page, IDC_SEND_TIMEOUT);
          state.recvTimeout = DialogControls::Text(page, IDC_RECV_TIMEOUT);
          state.defaultDir = DialogControls::Text(page, IDC_DEFAULT_DIR);
          state.pathSwitch = DialogControls::ComboSelection(page, IDC_PATH_SWITCH);
          state.overwrite = DialogControls::ComboSelection(page, IDC_OVERWRITE);
          TransferPageRules::OkTransfer(state, Sheet(page)->copy);
          return Applied(page);
        }
        case PSN_HELP:
          ShowHelp(page, HELP_TRANSFER);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

void SetupSheetPages::EnableLogging(HWND page) {
  const bool toFile = DialogControls::Checked(page, IDC_LOG_TO_FILE);
  for (int id : {IDC_LOG_FILENAME, IDC_BROWSE, IDC_APPEND_TO_LOG}) DialogControls::Enable(page, id, toFile);
}

void SetupSheetPages::BrowseLogFile(HWND page) {
  wchar_t path[MAX_PATH + 1] = L"";
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = DialogControls::Owner();
  dialog.lpstrFilter = L"Log Files\0*.log\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrTitle = L"Communications Log File";
  dialog.lpstrDefExt = L"log";
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN | OFN_NOTESTFILECREATE |
                 OFN_NONETWORKBUTTON | OFN_NOLONGNAMES | OFN_EXPLORER | OFN_NODEREFERENCELINKS;
  if (!GetOpenFileNameW(&dialog)) return;
  DialogControls::SetText(page, IDC_LOG_FILENAME, WideText::Narrow(path));
  Changed(page);
}

INT_PTR CALLBACK SetupSheetPages::Logging(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetupSheet* sheet = Begin(page, lParam);
      const auto state = TransferPageRules::OpenLogging(sheet->copy);
      sheet->filling = true;
      DialogControls::Check(page, IDC_LOG_TO_SCREEN, state.logToScreen);
      DialogControls::Check(page, IDC_APPEND_TO_LOG, state.appendToLog);
      DialogControls::Check(page, IDC_LOG_TO_FILE, state.logToFile);
      SendDlgItemMessageW(page, IDC_LOG_FILENAME, EM_LIMITTEXT, SetupCopy::kPathChars, 0);
      DialogControls::SetText(page, IDC_LOG_FILENAME, state.logFilename);
      EnableLogging(page);
      sheet->filling = false;
      return TRUE;
    }
    case WM_HELP:
      ShowHelp(page, HELP_LOGGING);
      return TRUE;
    case WM_COMMAND:
      if (IsCommand(wParam, IDC_LOG_TO_FILE, BN_CLICKED) || IsCommand(wParam, IDC_LOG_TO_SCREEN, BN_CLICKED)) {
        EnableLogging(page);
        Changed(page);
      } else if (IsCommand(wParam, IDC_APPEND_TO_LOG, BN_CLICKED) || IsCommand(wParam, IDC_LOG_FILENAME, EN_CHANGE)) {
        Changed(page);
      } else if (IsCommand(wParam, IDC_BROWSE, BN_CLICKED)) {
        BrowseLogFile(page);
      }
      break;
    case WM_NOTIFY:
      switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
        case PSN_APPLY: {
          TransferPageRules::Logging state;
          state.logToScreen = DialogControls::Checked(page, IDC_LOG_TO_SCREEN);
          state.appendToLog = DialogControls::Checked(page, IDC_APPEND_TO_LOG);
          state.logToFile = DialogControls::Checked(page, IDC_LOG_TO_FILE);
          state.logFilename = DialogControls::Text(page, IDC_LOG_FILENAME);
          TransferPageRules::OkLogging(state, Sheet(page)->copy);
          return Applied(page);
        }
        case PSN_HELP:
          ShowHelp(page, HELP_LOGGING);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

void SetupSheetPages::ShowRow(HWND page, int32_t row) {
  HWND list = GetDlgItem(page, IDC_LISTING);
  const TelephoneListing::Row& texts = Sheet(page)->listing.At(row);
  DialogControls::SetItemText(list, row, 1, texts.description);
  DialogControls::SetItemText(list, row, 2, texts.number);
}

// The rows are the single digits 0 to 9 sorted ascending, so an item's position is its row.
int32_t SetupSheetPages::SelectedRow(HWND page) { return DialogControls::SelectedItem(GetDlgItem(page, IDC_LISTING)); }

void SetupSheetPages::EditRow(HWND page) {
  const int32_t row = SelectedRow(page);
  if (row < 0) return;
  SetupSheet* sheet = Sheet(page);
  PhoneEntryDialog dialog;
  dialog.description = sheet->listing.At(row).description;
  dialog.number = sheet->listing.At(row).number;
  dialog.helpFile = sheet->settings.HelpFile;
  dialog.Run();
  sheet->listing.ApplyEdit(row, dialog.description, dialog.number);
  ShowRow(page, row);
  Changed(page);
}

INT_PTR CALLBACK SetupSheetPages::Modem(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetupSheet* sheet = Begin(page, lParam);
      sheet->filling = true;
      HWND list = GetDlgItem(page, IDC_LISTING);
      DialogControls::AddColumn(list, 0, "Index", 40);
      DialogControls::AddColumn(list, 1, "Description", 160);
      DialogControls::AddColumn(list, 2, "Telephone Number", 110);
      SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
      if (!sheet->copy.listingLoaded) {
        sheet->listing.Load(sheet->currentUser);
        sheet->copy.listingLoaded = true;
      }
      for (int32_t row = 0; row < TelephoneListing::kRows; ++row) {
        DialogControls::AddItem(list, row, std::string(1, static_cast<char>('0' + row)));
        ShowRow(page, row);
      }
      DialogControls::SelectItem(list, sheet->listing.RowOf(sheet->copy.Telephone));
      SendDlgItemMessageW(page, IDC_MODEM_CMD, EM_LIMITTEXT, SetupCopy::kShortChars, 0);
      DialogControls::SetText(page, IDC_MODEM_CMD, sheet->copy.ModemCmd);
      sheet->filling = false;
      return TRUE;
    }
    case WM_HELP:
      ShowHelp(page, HELP_MODEM);
      return TRUE;
    case WM_COMMAND:
      if (IsCommand(wParam, IDC_EDIT, BN_CLICKED)) {
        EditRow(page);
      } else if (IsCommand(wParam, IDC_CLEAR, BN_CLICKED)) {
        const int32_t row = SelectedRow(page);
        if (row >= 0) {
          Sheet(page)->listing.Clear(row);
          ShowRow(page, row);
          Changed(page);
        }
      } else if (IsCommand(wParam, IDC_MODEM_CMD, EN_CHANGE)) {
        Changed(page);
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == IDC_LISTING) {
        if (header->code == NM_CLICK || header->code == LVN_ITEMCHANGED) {
          const bool selected = SelectedRow(page) >= 0;
          DialogControls::Enable(page, IDC_EDIT, selected);
          DialogControls::Enable(page, IDC_CLEAR, selected);
        }
        if (header->code == NM_DBLCLK) EditRow(page);
        if (header->code == LVN_ITEMCHANGED || header->code == LVN_INSERTITEM) Changed(page);
        break;
      }
      switch (header->code) {
        case PSN_APPLY: {
          SetupSheet* sheet = Sheet(page);
          sheet->listing.Ok(SelectedRow(page), DialogControls::Text(page, IDC_MODEM_CMD), sheet->copy,
                            sheet->currentUser);
          return Applied(page);
        }
        case PSN_HELP:
          ShowHelp(page, HELP_MODEM);
          return TRUE;
      }
      break;
    }
  }
  return FALSE;
}

SetupSheet::SetupSheet(TransferSettings& settings_, const DeviceLists& devices_, RegistryKey& currentUser_)
    : settings(settings_), devices(devices_), currentUser(currentUser_) {}

int32_t SetupSheet::Run(const SetupPages& asked) {
  SetupPages shown = asked;
  if (devices.ModemCount() == 0) shown.modem = false;
  copy.CopyIn(settings);

  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  struct PageKind {
    bool on;
    int templateId;
    const wchar_t* title;
    DLGPROC proc;
  } kinds[] = {
      {shown.general, IDD_SETUP_GENERAL, L"General", SetupSheetPages::General},
      {shown.transfer, IDD_SETUP_TRANSFER, L"Transfer", SetupSheetPages::Transfer},
      {shown.logging, IDD_SETUP_LOGGING, L"Logging", SetupSheetPages::Logging},
      {shown.modem, IDD_SETUP_MODEM, L"Modem", SetupSheetPages::Modem},
  };
  PROPSHEETPAGEW pages[4] = {};
  UINT count = 0;
  for (const PageKind& kind : kinds) {
    if (!kind.on) continue;
    PROPSHEETPAGEW& page = pages[count++];
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USETITLE | PSP_HASHELP;
    page.hInstance = DialogControls::Module();
    page.pszTemplate = MAKEINTRESOURCEW(kind.templateId);
    page.pszTitle = kind.title;
    page.pfnDlgProc = kind.proc;
    page.lParam = reinterpret_cast<LPARAM>(this);
  }
  if (count == 0) return 0;
  const std::wstring caption = WideText::Widen("Setup " + settings.MaxTitle);
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK;
  header.hwndParent = DialogControls::Owner();
  header.hInstance = DialogControls::Module();
  header.pszCaption = caption.c_str();
  header.nPages = count;
  header.ppsp = pages;
  header.pfnCallback = SheetCallback;
  if (PropertySheetW(&header) < 0) return 0;
  copy.CopyBack(settings, shown);
  return 1;
}
