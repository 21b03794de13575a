// The job's status object: keeps the view in step with the engine, writes one log entry per file
// (at the first non-zero code while that file is current), turns each status code into the
// status line, the job's result and the help topic, and ends a run on the user's cancel (-901)
// or on inactivity (-909).
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
  // topic, the status line and, where the code ends the run, the view's finish step. -804 (the
  // run ended well) only logs "OK" for a file that has no entry yet; -933 never finishes.
  void Notify(int32_t code) override;
  // -901 once the view's done event is set, -909 after more than timeoutSeconds whole seconds
  // without a change of the byte count, else 0.
  int32_t QueryAbort() override;
  // Forgets what was shown and counted, at the start of a pass.
  void ClearShown();

  char shownName[256] = "";
  uint32_t timeoutSeconds;
  int64_t shownBytes = 0;
  int32_t shownErrors = 0;
  int32_t logged = 0;
  int32_t filesOk = 0;    // files of the pass whose entry says "OK" (ClearShown starts again)
  int32_t lastEvent = 0;  // the last non-zero code Notify was given
  bool finished = false;  // the pass ended in the finish step (the run is over, host mode too)

 private:
  TransferJob& job;
  ProgressView& view;
  bool sending;
};
