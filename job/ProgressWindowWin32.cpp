// The progress window as a Win32 dialog. The worker thread changes the controls directly (each
// call is a message the dialog's thread handles while it pumps); the dialog's thread only sets
// the done event, and closes the window when the worker has posted WM_APP and ended.
#include "job/ProgressWindow.h"

#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <climits>
#include <cstdio>

#include "job/Help.h"
#include "job/TransferJob.h"
#include "modem/DeviceLists.h"
#include "job/TransferSettings.h"
#include "job/ProgressIds.h"
#include "link/WideText.h"

namespace {
constexpr UINT kMinimize = WM_APP + 1;  // RunMinimized, once the window has been shown

// The module that holds this code (the DLL, or a test program), where the template is.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// Texts of a list view row: a row inserted with its first column, the others set.
int InsertRow(HWND list, int at, const std::string& text) {
  std::wstring wide = WideText::Widen(text);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = at;
  item.pszText = &wide[0];
  return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void SetCell(HWND list, int row, int column, const std::string& text) {
  std::wstring wide = WideText::Widen(text);
  LVITEMW cell{};
  cell.iSubItem = column;
  cell.pszText = &wide[0];
  SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
}

RECT ChildRect(HWND dialog, int id) {
  RECT r{};
  GetWindowRect(GetDlgItem(dialog, id), &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

const char* ProtocolName(int32_t protocol) {
  static const char* const kNames[] = {"X-Modem", "Z-Modem", "ACK/NAK", "Y-Modem", "X-Modem-1K"};
  return protocol >= 0 && protocol < 5 ? kNames[protocol] : "ACK/NAK";
}
}  // namespace

struct ProgressWindowProc {
  static INT_PTR CALLBACK Dialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static unsigned __stdcall Worker(void* window) {
    static_cast<ProgressWindow*>(window)->WorkerMain();
    return 0;
  }
};

ProgressWindow::ProgressWindow(TransferJob& job)
    : ProgressWindow([&job](ProgressView& view) { job.Run(view); }, job.showErrors, job.Settings(), job.Devices()) {}

ProgressWindow::ProgressWindow(Body workerBody, int32_t errorsShown, TransferSettings& record,
                               const DeviceLists& lists)
    : body(std::move(workerBody)), showErrors(errorsShown), settings(record), devices(lists) {}

ProgressWindow::~ProgressWindow() {
  if (worker) {
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
  }
}

intptr_t ProgressWindow::RunModal(void* owner) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  const INT_PTR ended = DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(IDD_PROGRESS), static_cast<HWND>(owner),
                                        &ProgressWindowProc::Dialog, reinterpret_cast<LPARAM>(this));
  window = nullptr;
  return ended == 0 ? 0 : -1;
}

INT_PTR CALLBACK ProgressWindowProc::Dialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      self->window = dialog;
      self->Open();
      return TRUE;
    case WM_ACTIVATE:
    case WM_SIZE:
      self->SetCaption();
      return FALSE;
    case WM_SHOWWINDOW:
      if (wParam && self->minimizeWhenShown) {
        self->minimizeWhenShown = false;
        PostMessageW(dialog, kMinimize, 0, 0);
      }
      return FALSE;
    case kMinimize:
      ShowWindow(dialog, SW_SHOWMINIMIZED);
      return TRUE;
    case WM_APP:  // the worker's last act: it is ending now
      WaitForSingleObject(self->worker, INFINITE);
      CloseHandle(self->worker);
      self->worker = nullptr;
      EndDialog(dialog, 0);
      return TRUE;
    case WM_CLOSE:
      self->doneEvent.Set();
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {  // Cancel, Close, Escape
        self->doneEvent.Set();
        return TRUE;
      }
      if (LOWORD(wParam) == IDC_HELP_BUTTON) {
        if (!Help::Show(self->settings.HelpFile.c_str(), self->helpId, dialog)) {
          const std::string text = "The help file could not be opened:\n" + self->settings.HelpFile;
          MessageBoxW(dialog, WideText::Widen(text).c_str(), WideText::Widen(self->templateCaption).c_str(),
                      MB_OK | MB_ICONINFORMATION);
        }
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void ProgressWindow::Open() {
  const HWND dialog = static_cast<HWND>(window);
  const HMODULE module = ThisModule();
  wchar_t caption[256] = L"";
  GetWindowTextW(dialog, caption, 256);
  templateCaption = WideText::Narrow(caption);

  for (const WPARAM which : {WPARAM{ICON_BIG}, WPARAM{ICON_SMALL}}) {
    const bool big = which == ICON_BIG;
    const HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(IDI_ZANDREL), IMAGE_ICON,
                                   GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON),
                                   GetSystemMetrics(big ? SM_CYICON : SM_CYSMICON), LR_SHARED);
    SendMessageW(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  }

  const char* port = "";
  if (settings.UseModem != 0) {
    if (settings.ModemName >= 0 && settings.ModemName < devices.ModemCount()) port = devices.Modem(settings.ModemName).name.c_str();
  } else if (settings.Port >= 0 && settings.Port < devices.PortCount()) {
    port = devices.Port(settings.Port).name.c_str();
  }
  SetText(IDC_PORT, port);
  SetText(IDC_MODE, settings.Transfer != 0 ? "Transmit" : settings.HostMode != 0 ? "Host" : "Receive");
  SetText(IDC_PROTOCOL, ProtocolName(settings.Protocol));
  char baud[16];
  std::snprintf(baud, sizeof baud, "%ld", static_cast<long>(settings.BaudRate));
  SetText(IDC_BAUD, baud);

  if (settings.Verbose == 0) {
    const RECT progress = ChildRect(dialog, IDC_PROGRESS_TEXT);
    const RECT errors = ChildRect(dialog, IDC_ERRORS);
    MoveWindow(GetDlgItem(dialog, IDC_PROGRESS_TEXT), progress.left, progress.top, errors.right - progress.left,
               progress.bottom - progress.top, FALSE);
    ShowWindow(GetDlgItem(dialog, IDC_ERRORS_LABEL), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_ERRORS), SW_HIDE);
  }
  SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
  ShowWindow(GetDlgItem(dialog, IDC_HELP_BUTTON), SW_HIDE);
  PlaceButtons(false);

  const HWND list = GetDlgItem(dialog, IDC_REPORT);
  if (settings.LogToScreen != 0) {
    static const struct {
      const wchar_t* title;
      int width;
    } kColumns[] = {{L"Filename", 150}, {L"Status", 150}, {L"Date", 60}, {L"Time", 60}, {L"Size", 80}};
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (int i = 0; i < 5; ++i) {
      LVCOLUMNW column{};
      column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
      column.fmt = LVCFMT_LEFT;
      column.cx = kColumns[i].width;
      column.pszText = const_cast<wchar_t*>(kColumns[i].title);
      column.iSubItem = i;
      SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
  } else {
    RECT listRect{}, windowRect{};
    GetWindowRect(list, &listRect);
    GetWindowRect(dialog, &windowRect);
    ShowWindow(list, SW_HIDE);
    SetWindowPos(dialog, nullptr, 0, 0, windowRect.right - windowRect.left,
                 windowRect.bottom - windowRect.top - (listRect.bottom - listRect.top),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // Centred over the owner (over the work area when there is none to see), inside the work area;
  // after the size changes above, so that the window the user sees is the centred one.
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT area = work;
  const HWND owner = GetWindow(dialog, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &area);
  RECT own{};
  GetWindowRect(dialog, &own);
  const LONG width = own.right - own.left, height = own.bottom - own.top;
  LONG x = area.left + (area.right - area.left - width) / 2;
  LONG y = area.top + (area.bottom - area.top - height) / 2;
  x = x + width > work.right ? work.right - width : x;
  y = y + height > work.bottom ? work.bottom - height : y;
  x = x < work.left ? work.left : x;
  y = y < work.top ? work.top : y;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  // The dialog box shows the window normally once its queue first runs empty; minimising it must
  // come after that first showing.
  minimizeWhenShown = settings.RunMinimized != 0 && settings.Verbose == 0;
  SetCaption();

  if (settings.LogToFile != 0 && !log.Open(settings.LogFilename.c_str(), settings.AppendToLog != 0)) {
    SetStatus("ERROR: Log file could not be created.");
    settings.LogToFile = 0;  // stays off for later transfers
  }

  worker = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ProgressWindowProc::Worker, this, 0, nullptr));
  if (!worker) EndDialog(dialog, -1);  // nothing could run
}

void ProgressWindow::PlaceButtons(bool withHelp) {
  // The template holds the pair side by side around the middle; Cancel alone stands in the middle.
  const HWND dialog = static_cast<HWND>(window);
  const RECT cancel = ChildRect(dialog, IDCANCEL);
  if (!pairLeft) pairLeft = cancel.left;
  RECT client{};
  GetClientRect(dialog, &client);
  const LONG width = cancel.right - cancel.left;
  const LONG left = withHelp ? pairLeft : (client.right - width) / 2;
  MoveWindow(GetDlgItem(dialog, IDCANCEL), left, cancel.top, width, cancel.bottom - cancel.top, TRUE);
}

void ProgressWindow::WorkerMain() {
  body(*this);
  doneEvent.Wait();
  log.Close();
  PostMessageW(static_cast<HWND>(window), WM_APP, 0, 0);
}

void ProgressWindow::SetCaption() {
  const HWND dialog = static_cast<HWND>(window);
  const std::string& title = IsIconic(dialog) ? settings.MinTitle : settings.MaxTitle;
  SetWindowTextW(dialog, WideText::Widen(title.empty() ? templateCaption : title).c_str());
}

void ProgressWindow::SetText(int32_t control, const char* text) {
  SetDlgItemTextW(static_cast<HWND>(window), control, WideText::Widen(text).c_str());
}

void ProgressWindow::ShowStatus(const char* text) { SetText(IDC_STATUS, text); }

void ProgressWindow::DisplayFile(const char* name, int64_t size) {
  SetText(IDC_FILE, name);
  progressShift = 0;
  while ((size >> progressShift) > INT_MAX) ++progressShift;
  const HWND bar = GetDlgItem(static_cast<HWND>(window), IDC_PROGRESS_BAR);
  SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(size >> progressShift));
  SendMessageW(bar, PBM_SETPOS, 0, 0);
}

void ProgressWindow::ShowBytes(int64_t bytes, int64_t size) {
  char text[64];
  if (size != 0) {
    SendDlgItemMessageW(static_cast<HWND>(window), IDC_PROGRESS_BAR, PBM_SETPOS,
                        static_cast<WPARAM>(bytes >> progressShift), 0);
    std::snprintf(text, sizeof text, "%lld / %lld bytes", static_cast<long long>(bytes), static_cast<long long>(size));
  } else {
    std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
  }
  SetText(IDC_PROGRESS_TEXT, text);
}

void ProgressWindow::ShowErrorCount(int32_t count) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(count));
  SetText(IDC_ERRORS, text);
}

void ProgressWindow::AddLogEntry(const char* name, const char* message, int64_t size) {
  const std::tm now = TransferLog::LocalNow();
  if (settings.LogToScreen != 0) {
    const std::string date = TransferLog::DateText(now), time = TransferLog::TimeText(now);
    char bytes[24];
    std::snprintf(bytes, sizeof bytes, "%lld", static_cast<long long>(size));
    const HWND list = GetDlgItem(static_cast<HWND>(window), IDC_REPORT);
    int row = InsertRow(list, static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)), name);
    if (row < 0) {  // a full list drops its oldest row
      SendMessageW(list, LVM_DELETEITEM, 0, 0);
      row = InsertRow(list, static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)), name);
    }
    if (row >= 0) {
      const char* cells[] = {message, date.c_str(), time.c_str(), bytes};
      for (int i = 0; i < 4; ++i) SetCell(list, row, i + 1, cells[i]);
      SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
    }
  }
  log.AddEntry(name, message, static_cast<uint32_t>(size));
}

void ProgressWindow::FinishRun() {
  const HWND dialog = static_cast<HWND>(window);
  MessageBeep(MB_ICONEXCLAMATION);
  FlashWindow(dialog, TRUE);
  Sleep(500);
  FlashWindow(dialog, FALSE);
  SetText(IDCANCEL, "Close");
  if (showErrors != 0) {
    if (!doneEvent.IsSet()) {
      PlaceButtons(true);
      ShowWindow(GetDlgItem(dialog, IDC_HELP_BUTTON), SW_SHOW);
    }
  } else {
    doneEvent.Set();
  }
}
