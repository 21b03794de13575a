// The job's reporting rules over the status table: the last mapped status wins the result, and
// a file's log entry comes from its first event only.
#include "job/JobStatus.h"

#include <cstring>

#include "job/ProgressView.h"
#include "job/StatusTable.h"
#include "job/TransferJob.h"
#include "transfer/TransferCodes.h"

JobStatus::JobStatus(TransferJob& owner, ProgressView& progress, bool sendDirection, uint32_t seconds)
    : timeoutSeconds(seconds), job(owner), view(progress), sending(sendDirection) {}

void JobStatus::BeginPass(bool untilFile) {
  shownName[0] = '\0';
  shownBytes = 0;
  furthestBytes = 0;
  shownErrors = 0;
  logged = 0;
  filesOk = 0;
  lastEvent = 0;
  finished = false;
  idleUntilFile = untilFile;
  view.filesSeen = 0;
  view.RestartClock();
}

void JobStatus::Notify(int32_t event) {
  const char* name = fileName ? fileName : "";
  // A name longer than the room is compared as far as the room holds it, so it counts as one file.
  if (std::strncmp(name, shownName, sizeof shownName - 1) != 0) {
    std::strncpy(shownName, name, sizeof shownName - 1);
    shownName[sizeof shownName - 1] = '\0';
    if (shownName[0]) view.ShowFile(name, fileSize);
    logged = 0;
    furthestBytes = 0;
    view.RestartClock();  // a new file is news from the other side
  }
  if (bytesDone != shownBytes) {
    if (shownBytes == 0) view.SetStatus("%s file...", sending ? "Sending" : "Receiving");
    shownBytes = bytesDone;
    view.ShowBytes(bytesDone, fileSize);
  }
  // Going back over what was already sent (a receiver asking for the same position again and
  // again) is no progress, or such a receiver could hold the run for ever.
  if (bytesDone > furthestBytes) {
    furthestBytes = bytesDone;
    view.RestartClock();
  }
  if (errors != shownErrors) {
    shownErrors = errors;
    view.ShowErrorCount(errors);
  }
  if (event == 0) return;
  lastEvent = event;

  const StatusEntry entry = StatusTable::Look(event);
  if (entry.result != StatusEntry::kUnchanged) job.result = entry.result;
  if (entry.helpId != StatusEntry::kUnchanged) view.SetHelpId(entry.helpId);
  if (!logged && shownName[0]) {
    logged = 1;
    if (event == TransferCode::RunEnded) ++filesOk;
    view.AddLogEntry(shownName, entry.message, shownBytes);
    shownBytes = 0;
    shownErrors = 0;
  }
  if (event == TransferCode::RunEnded) return;
  view.SetStatus("%s", entry.message);
  if (StatusTable::Finishes(entry.finish, job.hostLoop != 0)) finished = true;
}

int32_t JobStatus::QueryAbort() {
  if (view.doneEvent.IsSet()) return TransferCode::UserCancelled;
  if (idleUntilFile && view.filesSeen == 0) {
    view.RestartClock();
    return 0;
  }
  if (view.TimedOut(timeoutSeconds)) return TransferCode::Timeout;
  return 0;
}
