// What the worker of a transfer shows and asks while it runs: the progress window on Windows,
// the console of the zandrel host, a recording view in tests. The job's status object and the
// driver call these operations on the worker thread; the view's own thread (the window's) only
// sets doneEvent.
#pragma once
#include <cstdint>

#include "job/DoneEvent.h"
#include "modem/StatusSink.h"

class ProgressView : public StatusSink {
 public:
  // lastActivity starts now (the tick counter).
  ProgressView();

  // The help topic of the failure just reported (the Help button opens it).
  void SetHelpId(int32_t topic) final { helpId = topic; }
  // A new current file: its name and announced size (0 when unknown); the byte display starts
  // again from 0. Counts filesSeen; an empty name (between host-mode passes) clears the display
  // and announces nothing.
  void ShowFile(const char* name, int64_t size);
  // The byte count of the current file: "bytes / size bytes", or "bytes bytes" when size is 0.
  virtual void ShowBytes(int64_t bytes, int64_t size) = 0;
  virtual void ShowErrorCount(int32_t count) = 0;
  // One finished file: a row of the on-screen list and a line of the transfer log.
  virtual void AddLogEntry(const char* name, const char* message, int64_t size) = 0;
  // The end-of-run step after a failure: the alert, then either doneEvent (the view closes by
  // itself) or, where the user is to read the failure, a view that waits for its Close.
  virtual void FinishRun() = 0;

  // Whether `seconds` have passed since lastActivity; never with 0.
  bool TimedOut(uint32_t seconds) const;
  // The inactivity clock starts again from now (a pass begins, a call connects, bytes move on).
  void RestartClock();

  DoneEvent doneEvent;     // set once the run is over (success, finish step or the user)
  int32_t filesSeen = 0;   // files announced in the current pass (the driver clears it per pass)
  int32_t helpId = 0;      // help topic of the last failure
  uint32_t lastActivity;   // tick count of the last progress (or restart of the clock)

 protected:
  // The display part of ShowFile.
  virtual void DisplayFile(const char* name, int64_t size) = 0;
};
