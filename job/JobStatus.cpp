// The job's reporting rules over the status table: the last mapped status wins the result, and
// a file's log entry comes from its first event only.
#include "job/JobStatus.h"

#include <cstring>

#include "job/ProgressView.h"
#include "job/StatusTable.h"
#include "job/TransferJob.h"
#include "link/TickSource.h"
#include "transfer/TransferCodes.h"

JobStatus::JobStatus(TransferJob& owner, ProgressView& progress, bool sendDirection, uint32_t seconds)
    : timeoutSeconds(seconds), job(owner), view(progress), sending(sendDirection) {}

void JobStatus::ClearShown() {
  shownName[0] = '\0';
  shownBytes = 0;
  shownErrors = 0;
  logged = 0;
  filesOk = 0;
  lastEvent = 0;
  finished = false;
}

void JobStatus::Notify(int32_t event) {
  const char* name = fileName ? fileName : "";
  // A name longer than the room is compared as far as the room holds it, so it counts as one file.
  if (std::strncmp(name, shownName, sizeof shownName - 1) != 0) {
    std::strncpy(shownName, name, sizeof shownName - 1);
    shownName[sizeof shownName - 1] = '\0';
    if (shownName[0]) view.ShowFile(name, fileSize);
    logged = 0;
  }
  if (bytesDone != shownBytes) {
    if (shownBytes == 0) view.SetStatus("%s file...", sending ? "Sending" : "Receiving");
    shownBytes = bytesDone;
    view.lastActivity = TickSource::Now();
    view.ShowBytes(bytesDone, fileSize);
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
  if (!logged) {
    logged = 1;
    if (event == TransferCode::RunEnded && shownName[0]) ++filesOk;
    view.AddLogEntry(shownName, entry.message, shownBytes);
    shownBytes = 0;
    shownErrors = 0;
  }
  if (event == TransferCode::RunEnded) return;
  view.SetStatus("%s", entry.message);
  if (StatusTable::Finishes(entry.finish, job.hostLoop != 0)) {
    finished = true;
    view.FinishRun();
  }
}

int32_t JobStatus::QueryAbort() {
  if (view.doneEvent.IsSet()) return TransferCode::UserCancelled;
  if (view.TimedOut(timeoutSeconds)) return TransferCode::Timeout;
  return 0;
}
