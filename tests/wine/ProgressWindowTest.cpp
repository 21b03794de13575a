// The progress window in this process: a scripted worker body drives its operations, and the
// test reads the dialog's controls from its own thread, presses its buttons and watches it close.
#include "job/ProgressWindow.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "fakes/TestData.h"
#include "job/Help.h"
#include "modem/DeviceLists.h"
#include "object/TransferSettings.h"
#include "server/ProgressIds.h"

namespace {
// The worker stops at Pause until the test has looked and says Go.
class Gate {
 public:
  void Pause() {
    std::unique_lock<std::mutex> hold(lock);
    ++arrived;
    changed.notify_all();
    changed.wait(hold, [this] { return released >= arrived; });
  }
  // Until the worker stands at a Pause not yet released.
  void WaitReached() {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return arrived > released; });
  }
  void Go() {
    std::lock_guard<std::mutex> hold(lock);
    ++released;
    changed.notify_all();
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  int arrived = 0, released = 0;
};

// One window on a thread of its own, as TransferFiles runs it on the host's thread.
class WindowRun {
 public:
  using Body = std::function<void(ProgressView&, Gate&)>;
  WindowRun(TransferSettings& settings, const DeviceLists& devices, int32_t showErrors, Body body)
      : window([this, body](ProgressView& view) { body(view, gate); }, showErrors, settings, devices),
        ui([this] { ended = window.RunModal(nullptr); }) {}
  ~WindowRun() {
    if (ui.joinable()) ui.join();
  }
  // The dialog, once the worker stands at its first Pause.
  HWND Reached() {
    gate.WaitReached();
    return static_cast<HWND>(window.Window());
  }
  intptr_t Join() {
    ui.join();
    return ended;
  }
  Gate gate;
  ProgressWindow window;
  std::atomic<intptr_t> ended{1};
  std::thread ui;
};

std::string Text(HWND dialog, int id) {
  char text[256] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// The control's own visibility (the dialog itself may not be shown yet).
bool Visible(HWND dialog, int id) { return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0; }

std::string Cell(HWND dialog, int row, int column) {
  char text[128] = "";
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendDlgItemMessageA(dialog, IDC_REPORT, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

RECT Rect(HWND dialog, int id) {
  RECT r{};
  GetWindowRect(id ? GetDlgItem(dialog, id) : dialog, &r);
  return r;
}

std::string TempPath(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  return std::string(folder) + name;
}

struct Fixture : ::testing::Test {
  void SetUp() override {
    settings.Reset(1, "");
    devices.AddPort({"COM3", ""});
    settings.Port = 0;
  }
  TransferSettings settings;
  DeviceLists devices;
};

TEST_F(Fixture, EachOperationShowsInItsControl) {
  const std::string logPath = TempPath("zandrel-window-test.log");
  std::remove(logPath.c_str());
  settings.Protocol = TransferSettings::kZModem;
  settings.Transfer = 0;
  settings.HostMode = 1;
  settings.BaudRate = 57600;
  settings.Verbose = 1;
  settings.LogToScreen = 1;
  settings.LogToFile = 1;
  settings.LogFilename = logPath;
  WindowRun run(settings, devices, 1, [](ProgressView& view, Gate& gate) {
    view.SetStatus("Receiving file...");
    view.ShowFile("a.bin", 1000);
    view.ShowBytes(500, 1000);
    view.ShowErrorCount(3);
    view.AddLogEntry("a.bin", "OK", 1000);
    gate.Pause();
    view.ShowFile("b.txt", 0);
    view.ShowBytes(7, 0);
    gate.Pause();
    view.doneEvent.Set();  // the run succeeded
  });
  HWND dialog = run.Reached();
  EXPECT_EQ("COM3", Text(dialog, IDC_PORT));
  EXPECT_EQ("Z-Modem", Text(dialog, IDC_PROTOCOL));
  EXPECT_EQ("Host", Text(dialog, IDC_MODE));
  EXPECT_EQ("57600", Text(dialog, IDC_BAUD));
  EXPECT_EQ("a.bin", Text(dialog, IDC_FILE));
  EXPECT_EQ("Receiving file...", Text(dialog, IDC_STATUS));
  EXPECT_EQ("500 / 1000 bytes", Text(dialog, IDC_PROGRESS_TEXT));
  EXPECT_EQ(500, SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
  EXPECT_EQ(1000, SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, 0));
  EXPECT_EQ("3", Text(dialog, IDC_ERRORS));
  EXPECT_TRUE(Visible(dialog, IDC_ERRORS));
  EXPECT_EQ("Cancel", Text(dialog, IDCANCEL));
  EXPECT_FALSE(Visible(dialog, IDC_HELP_BUTTON));
  ASSERT_EQ(1, SendDlgItemMessageA(dialog, IDC_REPORT, LVM_GETITEMCOUNT, 0, 0));
  EXPECT_EQ("a.bin", Cell(dialog, 0, 0));
  EXPECT_EQ("OK", Cell(dialog, 0, 1));
  EXPECT_NE(std::string::npos, Cell(dialog, 0, 2).find('/'));  // m/d/yy
  EXPECT_NE(std::string::npos, Cell(dialog, 0, 3).find(':'));  // h:mm:ss
  EXPECT_EQ("1000", Cell(dialog, 0, 4));
  EXPECT_EQ(1, run.window.filesSeen);
  run.gate.Go();
  dialog = run.Reached();
  EXPECT_EQ("b.txt", Text(dialog, IDC_FILE));
  EXPECT_EQ("7 bytes", Text(dialog, IDC_PROGRESS_TEXT));  // no size: no bar
  EXPECT_EQ(0, SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
  run.gate.Go();
  EXPECT_EQ(0, run.Join());  // a successful run closes the window by itself
  const std::string log = Slurp(logPath);
  EXPECT_EQ(0u, log.find("FILENAME"));
  EXPECT_NE(std::string::npos, log.find("\r\na.bin "));
  std::remove(logPath.c_str());
}

// Cancel and the window's close box only set the done event; the window closes once the worker
// has ended, however long that takes.
TEST_F(Fixture, CancelEndsTheRunAndTheWindowWaitsForTheWorker) {
  for (const bool closeBox : {false, true}) {
    std::atomic<bool> workerEnded{false};
    WindowRun run(settings, devices, 1, [&](ProgressView& view, Gate& gate) {
      gate.Pause();
      view.doneEvent.Wait();
      Sleep(300);  // the engine's cancel sequence and clean-up
      workerEnded = true;
    });
    HWND dialog = run.Reached();
    run.gate.Go();
    if (closeBox)
      SendMessageA(dialog, WM_CLOSE, 0, 0);
    else
      SendDlgItemMessageA(dialog, IDCANCEL, BM_CLICK, 0, 0);
    EXPECT_TRUE(run.window.doneEvent.IsSet());
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(0, run.Join());
    EXPECT_TRUE(workerEnded);
  }
}

const char* helpFile = nullptr;
int32_t helpContext = 0;
bool RecordHelp(const char* file, int32_t context, void*) {
  helpFile = file;
  helpContext = context;
  return true;
}

TEST_F(Fixture, AFailureWaitsForCloseWithHelpOnlyWhenErrorsAreShown) {
  const std::string help = TempPath("zandrel-window-test.chm");
  Spit(help, "help");
  settings.HelpFile = help;
  Help::Install(&RecordHelp);
  for (const int32_t showErrors : {1, 0}) {
    WindowRun run(settings, devices, showErrors, [](ProgressView& view, Gate& gate) {
      view.SetHelpId(17);
      view.SetStatus("Timeout.");
      view.FinishRun();
      gate.Pause();
    });
    HWND dialog = run.Reached();
    EXPECT_EQ("Close", Text(dialog, IDCANCEL));
    EXPECT_EQ(showErrors != 0, Visible(dialog, IDC_HELP_BUTTON));
    EXPECT_EQ(showErrors == 0, run.window.doneEvent.IsSet());
    if (showErrors) {
      SendDlgItemMessageA(dialog, IDC_HELP_BUTTON, BM_CLICK, 0, 0);
      EXPECT_EQ(help, helpFile ? helpFile : "");
      EXPECT_EQ(17, helpContext);
    }
    run.gate.Go();
    if (showErrors) {
      Sleep(200);
      EXPECT_TRUE(IsWindow(dialog));  // still waiting for the user
      SendDlgItemMessageA(dialog, IDCANCEL, BM_CLICK, 0, 0);
    }
    EXPECT_EQ(0, run.Join());
  }
  Help::Install(nullptr);
  std::remove(help.c_str());
}

TEST_F(Fixture, WithoutListAndErrorCountTheWindowIsSmaller) {
  struct Seen {
    LONG height, progressRight, errorsRight;
    bool list, errors;
  };
  auto look = [&](int32_t logToScreen, int32_t verbose) {
    settings.LogToScreen = logToScreen;
    settings.Verbose = verbose;
    WindowRun run(settings, devices, 0, [](ProgressView& view, Gate& gate) {
      gate.Pause();
      view.doneEvent.Set();
    });
    HWND dialog = run.Reached();
    const Seen seen{Rect(dialog, 0).bottom - Rect(dialog, 0).top, Rect(dialog, IDC_PROGRESS_TEXT).right,
                    Rect(dialog, IDC_ERRORS).right, Visible(dialog, IDC_REPORT), Visible(dialog, IDC_ERRORS)};
    EXPECT_EQ(verbose != 0, Visible(dialog, IDC_ERRORS_LABEL));
    run.gate.Go();
    run.Join();
    return seen;
  };
  const Seen full = look(1, 1), bare = look(0, 0);
  EXPECT_TRUE(full.list);
  EXPECT_TRUE(full.errors);
  EXPECT_FALSE(bare.list);
  EXPECT_FALSE(bare.errors);
  EXPECT_LT(bare.height, full.height - 80);
  EXPECT_LT(full.progressRight, full.errorsRight);
  EXPECT_EQ(full.errorsRight, bare.progressRight);  // the Progress field takes the freed room
}

TEST_F(Fixture, ALogThatCannotBeOpenedIsSaidAndSwitchedOff) {
  settings.LogToFile = 1;
  settings.LogFilename = "Z:\\no\\such\\folder\\zandrel.log";
  WindowRun run(settings, devices, 0, [](ProgressView& view, Gate& gate) {
    gate.Pause();
    view.doneEvent.Set();
  });
  HWND dialog = run.Reached();
  EXPECT_EQ("ERROR: Log file could not be created.", Text(dialog, IDC_STATUS));
  run.gate.Go();
  run.Join();
  EXPECT_EQ(0, settings.LogToFile);
}
}  // namespace
