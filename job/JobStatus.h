// The job's status object: keeps the view in step with the engine, writes one log entry per file
// (at the first non-zero code while that file is current; a pass without a file writes none),
// turns each status code into the status line, the job's result and the help topic, notes
// whether the code ends the run, and stops an engine on the user's cancel (-901) or on
// inactivity (-909): time without progress past the furthest position the current file reached.
#pragma once
#include <cstdint>

#include "transfer/TransferStatus.h"

class ProgressView;
class TransferJob;

class JobStatus : public TransferStatus {
 public:
  // sending: the direction the status line names ("Sending file..."); timeoutSeconds: the
  // inactivity limit, 0 none.
  JobStatus(TransferJob& job, ProgressView& view, bool sending, uint32_t timeoutSeconds);

  // 0: progress only. A negative code: its log entry (once per file), the job's result and help
  // topic, the status line, and `finished` where the code ends the run (the driver runs the
  // view's finish step once the engine has returned: a batch goes on past a file's failure).
  // -804 (the run ended well) only logs "OK" for a file that has no entry yet.
  void Notify(int32_t code) override;
  // -901 once the view's done event is set, -909 once timeoutSeconds passed without progress,
  // else 0. While a pass waits for its first file with idleUntilFile, the wait has no limit.
  int32_t QueryAbort() override;
  // The start of a pass: forgets what was shown and counted (the view's filesSeen too) and
  // restarts the inactivity clock.
  // idleUntilFile: the pass may wait for its sender as long as the user lets it (host mode on
  // a direct line); the time-out then counts from the first file announced.
  void BeginPass(bool idleUntilFile);

  char shownName[256] = "";
  uint32_t timeoutSeconds;
  int64_t shownBytes = 0;
  int64_t furthestBytes = 0;  // the furthest position of the current file: progress past it counts
  int32_t shownErrors = 0;
  int32_t logged = 0;
  int32_t filesOk = 0;    // files of the pass whose entry says "OK" (ClearShown starts again)
  int32_t lastEvent = 0;  // the last non-zero code Notify was given
  bool finished = false;  // a code of the pass ends the run (in host mode, too)
  bool idleUntilFile = false;

 private:
  TransferJob& job;
  ProgressView& view;
  bool sending;
};
