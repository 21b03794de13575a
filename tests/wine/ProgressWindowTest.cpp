// The progress window in this process: a scripted worker body drives its operations, and the
// test reads the dialog's controls from its own thread, presses its buttons and watches it close.
#include "job/ProgressWindow.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "fakes/TestData.h"
#include "job/Help.h"
#include "modem/DeviceLists.h"
#include "object/setup/WindowDriver.h"
#include "job/TransferSettings.h"
#include "job/ProgressIds.h"

namespace {
// One window on a thread of its own, as TransferFiles runs it on the host's thread. The worker
// stops at Pause until the test has looked at the window and says Go.
class WindowRun {
 public:
  using Body = std::function<void(ProgressView&, WindowRun&)>;
  WindowRun(TransferSettings& settings, const DeviceLists& devices, int32_t showErrors, Body body)
      : window([this, body](ProgressView& view) { body(view, *this); }, showErrors, settings, devices) {
    ui.Start([this] { ended = window.RunModal(nullptr); });
  }
  void Pause() {
    SetEvent(arrived.handle);
    WaitForSingleObject(released.handle, INFINITE);
  }
  // The dialog, once the worker stands at a Pause not yet released.
  HWND Reached() {
    WaitForSingleObject(arrived.handle, INFINITE);
    return static_cast<HWND>(window.Window());
  }
  void Go() { SetEvent(released.handle); }
  intptr_t Join() {
    EXPECT_TRUE(ui.Finish());
    return ended;
  }
  ProgressWindow window;

 private:
  struct Event {  // auto-reset: the worker and the test take turns
    HANDLE handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ~Event() { CloseHandle(handle); }
  } arrived, released;
  std::atomic<intptr_t> ended{1};
  WindowDriver ui;  // joins the window's thread before the window goes
};

std::string Text(HWND dialog, int id) { return WindowDriver::Text(dialog, id); }

// The control's own visibility (the dialog itself may not be shown yet).
bool Visible(HWND dialog, int id) { return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0; }

LRESULT Send(HWND dialog, int id, UINT message, WPARAM wParam = 0) {
  return SendDlgItemMessageA(dialog, id, message, wParam, 0);
}

RECT Rect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

// A control's place in its dialog's client area.
RECT ChildRect(HWND dialog, int id) {
  RECT r = Rect(GetDlgItem(dialog, id));
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

struct Fixture : ::testing::Test {
  void SetUp() override {
    settings.Reset(1, "");
    devices.AddPort({"COM3", ""});
  }
  TransferSettings settings;
  DeviceLists devices;
};

TEST_F(Fixture, EachOperationShowsInItsControl) {
  settings.Protocol = TransferSettings::kZModem;
  settings.Transfer = 0;
  settings.HostMode = 1;
  settings.BaudRate = 57600;
  settings.Verbose = settings.LogToScreen = 1;
  WindowRun run(settings, devices, 1, [](ProgressView& view, WindowRun& test) {
    view.SetStatus("Receiving file...");
    view.ShowFile("a.bin", 1000);
    view.ShowBytes(500, 1000);
    view.ShowErrorCount(3);
    view.AddLogEntry("a.bin", "OK", 1000);
    test.Pause();
    view.ShowFile("b.txt", 0);
    view.ShowBytes(7, 0);
    test.Pause();
    view.doneEvent.Set();  // the run succeeded
  });
  HWND dialog = run.Reached();
  const std::pair<int, const char*> shown[] = {
      {IDC_PORT, "COM3"}, {IDC_PROTOCOL, "Z-Modem"}, {IDC_MODE, "Host"}, {IDC_BAUD, "57600"}, {IDC_FILE, "a.bin"},
      {IDC_STATUS, "Receiving file..."}, {IDC_PROGRESS_TEXT, "500 / 1000 bytes"}, {IDC_ERRORS, "3"}, {IDCANCEL, "Cancel"}};
  for (const auto& field : shown) EXPECT_EQ(field.second, Text(dialog, field.first));
  EXPECT_EQ(500, Send(dialog, IDC_PROGRESS_BAR, PBM_GETPOS));
  EXPECT_EQ(1000, Send(dialog, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE));
  EXPECT_FALSE(Visible(dialog, IDC_HELP_BUTTON));
  EXPECT_EQ(1, Send(dialog, IDC_REPORT, LVM_GETITEMCOUNT));
  EXPECT_EQ(1, run.window.filesSeen);
  run.Go();
  dialog = run.Reached();
  EXPECT_EQ("b.txt", Text(dialog, IDC_FILE));
  EXPECT_EQ("7 bytes", Text(dialog, IDC_PROGRESS_TEXT));  // no size: no bar
  EXPECT_EQ(0, Send(dialog, IDC_PROGRESS_BAR, PBM_GETPOS));
  run.Go();
  EXPECT_EQ(0, run.Join());  // a successful run closes the window by itself
}

// Cancel and the window's close box only set the done event; the window closes once the worker
// has ended, however long that takes.
TEST_F(Fixture, CancelEndsTheRunAndTheWindowWaitsForTheWorker) {
  for (const bool closeBox : {false, true}) {
    std::atomic<bool> workerEnded{false};
    WindowRun run(settings, devices, 1, [&](ProgressView& view, WindowRun& test) {
      test.Pause();
      view.doneEvent.Wait();
      Sleep(300);  // the engine's cancel sequence and clean-up
      workerEnded = true;
    });
    HWND dialog = run.Reached();
    run.Go();
    if (closeBox)
      SendMessageA(dialog, WM_CLOSE, 0, 0);
    else
      Send(dialog, IDCANCEL, BM_CLICK);
    EXPECT_TRUE(run.window.doneEvent.IsSet());
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(0, run.Join());
    EXPECT_TRUE(workerEnded);
  }
}

TEST_F(Fixture, AFailureWaitsForCloseWithHelpOnlyWhenErrorsAreShown) {
  const ScratchFolder scratch("zandrel-window.");
  settings.HelpFile = (scratch.path / "zandrel.chm").string();
  Spit(settings.HelpFile, "help");
  HelpRecord::Start();
  for (const int32_t showErrors : {1, 0}) {
    WindowRun run(settings, devices, showErrors, [](ProgressView& view, WindowRun& test) {
      view.SetHelpId(17);
      view.FinishRun();
      test.Pause();
    });
    HWND dialog = run.Reached();
    EXPECT_EQ("Close", Text(dialog, IDCANCEL));
    EXPECT_EQ(showErrors != 0, Visible(dialog, IDC_HELP_BUTTON));
    EXPECT_EQ(showErrors == 0, run.window.doneEvent.IsSet());
    run.Go();
    if (showErrors) {
      Send(dialog, IDC_HELP_BUTTON, BM_CLICK);
      EXPECT_EQ(HelpRecord::Asked(), std::vector<int32_t>{17});
      EXPECT_EQ(HelpRecord::lastFile, settings.HelpFile);
      Sleep(200);
      EXPECT_TRUE(IsWindow(dialog));  // still waiting for the user
      Send(dialog, IDCANCEL, BM_CLICK);
    }
    EXPECT_EQ(0, run.Join());
  }
  Help::Install(nullptr);
}

// Without the list and the error count the window is shorter and the Progress field takes the
// error count's room; it starts minimised (with the minimised caption) only when not verbose; a log
// that cannot be opened is said and switched off.
TEST_F(Fixture, WithoutListAndErrorCountTheWindowIsSmaller) {
  const ScratchFolder scratch("zandrel-window.");
  RECT window[2], progress[2], errors[2];
  for (const int32_t on : {1, 0}) {
    settings.LogToScreen = settings.Verbose = on;
    settings.RunMinimized = settings.LogToFile = 1;
    settings.MaxTitle = "Sending";
    settings.MinTitle = "42%";
    settings.LogFilename = on ? (scratch.path / "zandrel.log").string() : "Z:\\no\\such\\folder\\zandrel.log";
    WindowRun run(settings, devices, 0, [](ProgressView& view, WindowRun& test) {
      test.Pause();
      view.doneEvent.Set();
    });
    const HWND dialog = run.Reached();
    window[on] = Rect(dialog);
    progress[on] = ChildRect(dialog, IDC_PROGRESS_TEXT);
    errors[on] = ChildRect(dialog, IDC_ERRORS);
    for (const int id : {IDC_REPORT, IDC_ERRORS, IDC_ERRORS_LABEL}) EXPECT_EQ(on != 0, Visible(dialog, id)) << id;
    EXPECT_EQ(on ? "" : "ERROR: Log file could not be created.", Text(dialog, IDC_STATUS));
    for (int i = 0; i < 200 && !on && !IsIconic(dialog); ++i) Sleep(10);  // minimised once shown
    char caption[32] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_EQ(on ? "Sending" : "42%", std::string(caption));
    EXPECT_EQ(on == 0, IsIconic(dialog) != FALSE);
    run.Go();
    run.Join();
    EXPECT_EQ(on, settings.LogToFile);
  }
  EXPECT_LT(window[0].bottom - window[0].top, window[1].bottom - window[1].top - 80);
  EXPECT_LT(progress[1].right, errors[1].right);
  EXPECT_EQ(errors[1].right, progress[0].right);
}
}  // namespace
