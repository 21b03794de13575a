#include "job/JobStatus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/RecordingView.h"
#include "job/TransferJob.h"

namespace {
// What an engine does between two Notify calls: the fields it fills, then the code it reports.
struct Step {
  const char* name;
  int32_t bytes;
  int32_t errors;
  int32_t code;
};

struct Harness {
  explicit Harness(bool hostLoop, bool sending = false) : job(0, settings, devices), status(job, view, sending, 60) {
    job.hostLoop = hostLoop;
    job.result = 99;  // a value no row produces: shows whether a row leaves the result alone
    status.Begin(sending ? 1 : 0);
  }
  void Play(const std::vector<Step>& steps) {
    for (const Step& s : steps) {
      status.fileName = s.name;
      status.fileSize = 1000;
      status.bytesDone = s.bytes;
      status.errors = s.errors;
      status.Notify(s.code);
    }
  }
  TransferSettings settings;
  DeviceLists devices;
  TransferJob job;
  RecordingView view;
  JobStatus status;
};

// One event of each way the status table's rows act, in and out of host mode (each code's row:
// StatusTableTest).
TEST(JobStatus, EventsSetResultHelpStatusAndFinishByTheirRow) {
  const struct {
    int32_t code;
    bool hostLoop;
    int32_t result, helpId;
    const char* status;  // the status line after the event
    bool finish;
  } rows[] = {
      {-804, false, 99, 0, "Receiving file...", false},  // the run ended well: its log entry only
      {-933, false, 99, 0, "File skipped.", false},      // never finishes, leaves the result
      {-909, false, 5, 17, "Timeout.", true},
      {-909, true, 5, 17, "Timeout.", false},  // host mode: the next pass starts
      {-901, true, 6, 18, "User cancelled.", true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.code);
    SCOPED_TRACE(r.hostLoop);
    Harness h(r.hostLoop);
    h.Play({{"a.bin", 10, 0, r.code}});
    EXPECT_EQ(r.result, h.job.result);
    EXPECT_EQ(r.helpId, h.view.helpId);
    EXPECT_EQ(r.status, h.view.status);
    EXPECT_EQ(r.finish, h.status.finished);
    EXPECT_TRUE(h.view.Lines("finish").empty());  // the driver's, once the engine is done
    EXPECT_EQ(1u, h.view.Lines("log a.bin|").size());
  }
}

// A name longer than the entry's room is still one file; its entry holds what fits. Then cancel
// and inactivity on the tick counter, timed from the last progress past the furthest position;
// a host-mode pass that waits for its first file waits for ever.
TEST(JobStatus, OneLogEntryPerFileAtItsFirstEventTheLastStatusWinsAndInactivityEnds) {
  FakeClock clock{5000};
  Harness h(true, true);
  const std::string b = "b" + std::string(299, 'n');
  h.Play({{"", 0, 0, 0},
          {"a.bin", 0, 0, 0},
          {"a.bin", 300, 0, 0},
          {"a.bin", 600, 2, 0},
          {"a.bin", 600, 2, -908},  // the file's entry, with the bytes last shown
          {"a.bin", 600, 2, -914},  // later events of the file: status and result only
          {b.c_str(), 50, 0, 0},
          {b.c_str(), 50, 0, -804},
          {b.c_str(), 50, 0, -804}});
  EXPECT_EQ((std::vector<std::string>{"file a.bin 1000", "file " + b + " 1000"}), h.view.Lines("file"));
  EXPECT_EQ((std::vector<std::string>{"log a.bin|Error count exceeded.|600",
                                      "log " + b.substr(0, 255) + "|OK|50"}),
            h.view.Lines("log"));
  EXPECT_EQ(16, h.job.result);  // "OK" of a later file does not clear the failure
  EXPECT_EQ(2, h.view.filesSeen);
  // The entry forgets the counts shown, so the next event of the file shows them again.
  EXPECT_EQ((std::vector<std::string>{"errors 2", "errors 2", "errors 0"}), h.view.Lines("errors"));
  // "Sending file..." when the bytes of a file start moving, and after each entry.
  EXPECT_EQ((std::vector<std::string>{"status Sending file...", "status Error count exceeded.",
                                      "status Sending file...", "status Cancelled by remote.",
                                      "status Sending file..."}),
            h.view.Lines("status"));

  FakeClock::Advance(59999);
  EXPECT_EQ(0, h.status.QueryAbort());
  FakeClock::Advance(1);
  EXPECT_EQ(-909, h.status.QueryAbort());
  h.Play({{b.c_str(), 60, 0, 0}});  // progress restarts the clock
  EXPECT_EQ(0, h.status.QueryAbort());
  FakeClock::Advance(59999);
  h.Play({{b.c_str(), 0, 0, 0}, {b.c_str(), 60, 0, 0}});  // sent again from the start: no progress
  FakeClock::Advance(1);
  EXPECT_EQ(-909, h.status.QueryAbort());
  h.status.BeginPass(true);
  FakeClock::Advance(10000000);
  EXPECT_EQ(0, h.status.QueryAbort());
  h.Play({{"c.bin", 0, 0, 0}});
  FakeClock::Advance(60000);
  EXPECT_EQ(-909, h.status.QueryAbort());
  h.status.timeoutSeconds = 0;
  FakeClock::Advance(100000000);
  EXPECT_EQ(0, h.status.QueryAbort());
  h.view.doneEvent.Set();
  EXPECT_EQ(-901, h.status.QueryAbort());
}

TEST(TransferJobChecks, ResultCodesBeforeARun) {
  // protocol, flow, host mode, transfer, path switch, list: the two checks and the count.
  const struct {
    int16_t protocol, flow;
    int32_t hostMode, transfer;
    int16_t pathSwitch;
    const char* list;
    int32_t options, files;
    int16_t attempted;
  } rows[] = {{0, 1, 0, 1, 0, "a", 1, 0, 1},      {2, 0, 1, 0, 0, "a", 2, 0, 1},    {1, 1, 1, 0, 0, "", 0, 0, 0},
              {1, 0, 0, 1, 0, "", 0, 3, 0},       {2, 0, 0, 0, 0, "", 0, 3, 0},     {0, 0, 0, 1, 0, "a;b;c", 0, 0, 1},
              {1, 0, 0, 1, 0, "a;b;c", 0, 0, 3},  {1, 0, 0, 1, 2, "a;b;c", 0, 4, 3}, {1, 0, 0, 1, 2, "a;x;b;y", 0, 0, 2},
              // YModem: a batch, but XON/XOFF and host mode stay ZModem's, and names never go in pairs.
              {3, 1, 0, 0, 2, "", 1, 0, 0},       {3, 0, 1, 1, 2, "a;b;c", 2, 0, 3}, {4, 0, 0, 0, 0, "", 0, 3, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.list);
    TransferSettings s;
    s.Protocol = r.protocol;
    s.FlowControl = r.flow;
    s.HostMode = r.hostMode;
    s.Transfer = r.transfer;
    s.PathSwitch = r.pathSwitch;
    s.FileList = r.list;
    EXPECT_EQ(r.options, TransferJob::CheckOptions(s));
    int16_t attempted = 0;
    EXPECT_EQ(r.files, TransferJob::CheckFileList(s, false, attempted));
    EXPECT_EQ(r.attempted, attempted);
    attempted = 7;
    TransferJob::CheckFileList(s, true, attempted);  // the prompt counted already
    EXPECT_EQ(7, attempted);
  }
}
}  // namespace
