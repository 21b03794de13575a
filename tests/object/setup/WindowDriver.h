// Drives modal windows the way a user's clicks and keys would reach them, from a thread other
// than theirs: the window under test runs its modal loop on a UI thread of its own, and the
// test finds its windows and sends them the messages their controls would send.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "job/Help.h"
#include "link/WideText.h"
#include "object/setup/DialogControls.h"

// Stands in for the help viewer: the topics the windows asked for, in order, and the last file.
struct HelpRecord {
  static void Start() {
    std::lock_guard<std::mutex> hold(lock);
    topics.clear();
    Help::Install([](const char* file, int32_t context, void*) {
      std::lock_guard<std::mutex> held(lock);
      topics.push_back(context);
      lastFile = file;
      return true;
    });
  }
  static std::vector<int32_t> Asked() {
    std::lock_guard<std::mutex> hold(lock);
    return topics;
  }
  static inline std::mutex lock;
  static inline std::vector<int32_t> topics;
  static inline std::string lastFile;
};

class WindowDriver {
 public:
  ~WindowDriver() {
    if (ui.joinable()) ui.join();
  }
  // Runs body (which opens the modal window) on the UI thread.
  void Start(std::function<void()> body) {
    if (ui.joinable()) ui.join();
    finished = false;
    ui = std::thread([this, body] {
      body();
      finished = true;
    });
  }
  // Waits for the UI thread's body to return; false when it did not within thirty seconds.
  bool Finish() {
    for (int i = 0; i < 3000 && !finished; ++i) Sleep(10);
    return finished;
  }
  // A visible top-level window of this process with this caption; null after thirty seconds
  // without one (a fresh Wine prefix takes seconds to show its first window). Windows of other
  // processes in the prefix, visible or left over, are not taken for it.
  static HWND WaitFor(const char* caption) {
    Search search{caption, nullptr};
    for (int i = 0; i < 3000 && !search.found; ++i) {
      EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
      if (!search.found) Sleep(10);
    }
    return search.found;
  }
  // Waits until the window is gone.
  static bool WaitGone(HWND window) {
    for (int i = 0; i < 1000; ++i) {
      if (!IsWindow(window)) return true;
      Sleep(10);
    }
    return false;
  }

  static std::string Text(HWND window) {
    wchar_t text[600] = L"";
    SendMessageW(window, WM_GETTEXT, 600, reinterpret_cast<LPARAM>(text));
    return WideText::Narrow(text);
  }
  static std::string Text(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
  static bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

  // A drop-down list's entry, the one selected ("(none)" without one), all of them joined by "|".
  static std::string Entry(HWND dialog, int id, int index) {
    char text[200] = "";
    SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
  }
  static std::string SelectedText(HWND dialog, int id) {
    const int index = static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
    return index < 0 ? "(none)" : Entry(dialog, id, index);
  }
  static std::string Entries(HWND dialog, int id) {
    std::string all;
    const int count = static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) all += (i ? "|" : "") + Entry(dialog, id, i);
    return all;
  }

  // A selection in a drop-down list, as a user's pick reports it.
  static void Select(HWND dialog, int id, int index) {
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Command(dialog, id, CBN_SELCHANGE);
  }
  // Typing into an edit (it reports the change itself).
  static void Type(HWND dialog, int id, const char* text) { SetDlgItemTextW(dialog, id, WideText::Widen(text).c_str()); }
  static void SetCheck(HWND dialog, int id, bool on) {
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    Command(dialog, id, BN_CLICKED);
  }
  // A button press; posted, since a button that opens a modal window returns only when that
  // window closes.
  static void Click(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  }
  static void Command(HWND dialog, int id, int code) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  }
  // F1 on a control of the dialog.
  static void F1(HWND dialog, int id) {
    HELPINFO help = {};
    help.cbSize = sizeof help;
    help.iContextType = HELPINFO_WINDOW;
    help.iCtrlId = id;
    help.hItemHandle = GetDlgItem(dialog, id);
    SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
  }

  // List views: selecting a row, reading a cell, counting rows.
  static void SelectRow(HWND list, int row) {
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = row < 0 ? 0 : LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row < 0 ? -1 : row), reinterpret_cast<LPARAM>(&state));
  }
  static std::string Cell(HWND list, int row, int column) { return DialogControls::ItemText(list, row, column); }
  static int Rows(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

  // Property sheets: show page index, the page on show, press OK or Cancel.
  static HWND ShowPage(HWND sheet, int index) {
    SendMessageA(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  }
  static void Press(HWND sheet, int button) { PostMessageA(sheet, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0); }

 private:
  struct Search {
    const char* caption;
    HWND found;
  };
  static BOOL CALLBACK Match(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || Text(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
  }

  std::thread ui;
  std::atomic<bool> finished{false};
};
