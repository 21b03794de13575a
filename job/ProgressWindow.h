// The progress window of a transfer on Windows: a modal dialog from the module's resources that
// shows port, protocol, mode and rate, the current file, the status line, the byte progress, the
// error count and a list of finished files, writes the transfer log, starts the worker when it
// opens and closes once the worker has ended. Cancel (later Close) and closing the window set
// the done event; Help opens the help file at the topic of the last failure.
//
// For TransferFiles: construct it with the job, RunModal over the active window, then read
// job.result and filesSeen (see TransferJob.h). The code is in ProgressWindowWin32.cpp.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "job/ProgressView.h"
#include "job/TransferLog.h"

class DeviceLists;
class TransferJob;
struct TransferSettings;

class ProgressWindow : public ProgressView {
 public:
  // What the worker thread runs before it waits for the done event.
  using Body = std::function<void(ProgressView&)>;

  // The window of job's run: the worker calls job.Run(*this); showErrors is the job's. The
  // window reads the settings and device lists the job reads.
  explicit ProgressWindow(TransferJob& job);
  // A window around any worker body (tests, demonstrations).
  ProgressWindow(Body body, int32_t showErrors, TransferSettings& settings, const DeviceLists& devices);
  ~ProgressWindow() override;
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // Shows the window modally over owner (a window handle; null for none) and returns once the
  // run is over and the worker has ended: 0. -1 when the dialog could not be made; the worker
  // then never ran.
  intptr_t RunModal(void* owner);
  // The dialog's window handle while it is open, else null (tests read the controls through it).
  void* Window() const { return window; }

  // The operations of the worker (ProgressView): they change the controls directly.
  void ShowStatus(const char* text) override;
  void ShowBytes(int64_t bytes, int64_t size) override;
  void ShowErrorCount(int32_t count) override;
  void AddLogEntry(const char* name, const char* message, int64_t size) override;
  // The alert (sound, flash), Cancel becoming Close; then without showErrors the done event, so
  // the window closes by itself, and with it the Help button while the run is not yet over.
  void FinishRun() override;

 protected:
  void DisplayFile(const char* name, int64_t size) override;

 private:
  friend struct ProgressWindowProc;  // the dialog procedure and the worker's entry (the .cpp)

  void Open();        // the dialog's initialisation
  void WorkerMain();  // the body, the wait for the done event, the log closed, WM_APP
  void SetCaption();  // MinTitle while minimised, MaxTitle otherwise
  void SetText(int32_t control, const char* text);
  void PlaceButtons(bool withHelp);  // Cancel in the middle, or beside Help

  Body body;
  int32_t showErrors;
  TransferSettings& settings;
  const DeviceLists& devices;
  TransferLog log;
  std::string templateCaption;  // the caption when a title setting is empty
  void* window = nullptr;  // HWND
  void* worker = nullptr;  // HANDLE of the worker thread
  bool minimizeWhenShown = false;  // RunMinimized without Verbose
  long pairLeft = 0;          // Cancel's place beside Help, from the template
  int32_t progressShift = 0;  // sizes beyond the progress bar's 31 bits are shifted into it
};
