#include "job/TransferJob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fakes/ModemBench.h"
#include "fakes/NullModem.h"
#include "fakes/ProcessResources.h"
#include "fakes/RecordingView.h"
#include "fakes/TestData.h"
#include "link/CoalescingLink.h"
#include "link/SerialPort.h"
#include "modem/GenericHayes.h"
#include "modem/MemoryModemInstallation.h"
#include "transfer/RecordingStatus.h"
#include "transfer/YModem.h"
#include "transfer/zmodem/ZModem.h"

namespace fs = std::filesystem;

namespace {
// A job whose port is the link a test gives it (not owned), or none at all.
class TestJob : public TransferJob {
 public:
  TestJob(TransferSettings& s, ComLink* port) : TransferJob(0, s, devices), link(port) {
    // Modem runs use the generic modem's installation, held by the job.
    GenericHayes::Install(modems);
    modemInstallation = &modems;
    devices.AddModem({GenericHayes::kName, GenericHayes::kDriverKey, 0});
  }

 protected:
  std::unique_ptr<ComLink> OpenPort() override {
    if (!link) {
      portProblem = "COM9: gone";
      return nullptr;
    }
    return std::make_unique<CoalescingLink>(link);  // a link in front of the test's, not owning it
  }

 private:
  DeviceLists devices;
  MemoryModemInstallation modems;
  ComLink* link;
};

// Runs that end before the first pass: the port, or the modem on it, does not come up, or the
// modem answers every command but no call comes about.
TEST(TransferJob, RunsThatEndBeforeTheFirstPass) {
  const struct {
    bool portMissing, portFails;
    int16_t modem;  // -1 none; 0 the installed one; 3 unknown
    bool installed;  // the generic modem's installation, or an empty one
    int32_t result, helpId;
    const char* status;
  } rows[] = {{true, false, -1, false, 18, 30, "Error opening the COM port"},
              {false, true, -1, false, 18, 30, "Error opening the COM port"},
              {false, false, 0, false, 21, 33, "Initializing modem..."},
              {false, false, 3, true, 21, 33, "Initializing modem..."},
              {false, false, 0, true, 20, 32, "Failed to connect: no answer in 60 s"}};
  for (const auto& r : rows) {
    FakeClock clock{1000};
    TransferSettings settings;
    settings.UseModem = r.modem >= 0;
    settings.ModemName = r.modem;
    settings.Telephone = "5551002";
    FakeComLink fake;
    if (r.portFails) fake.SetOpenFailure(-801);
    fake.onOutput = [](FakeComLink& l) {
      if (l.output.back() == '\r') l.AddInput("\r\nOK\r\n");
    };
    TestJob job(settings, r.portMissing ? nullptr : &fake);
    MemoryModemInstallation empty;
    if (!r.installed) job.modemInstallation = &empty;
    RecordingView view;
    job.Run(view);
    EXPECT_EQ(r.result, job.result);
    EXPECT_EQ(r.helpId, view.helpId);
    EXPECT_EQ(r.status, view.status);
    EXPECT_EQ("finish", view.calls.back());
    EXPECT_TRUE(view.Lines("status Waiting for receiver").empty());
    // Only the failed call is logged, as the modem said it.
    EXPECT_EQ(r.result == 20 ? 1u : 0u, view.Lines("log 5551002|Failed to connect: no answer in 60 s|0").size());
  }
}

// A run that fails on the line: the link gets the run's rate and flow control, both are put back
// afterwards, and only the finish step (not the driver) sets the done event.
TEST(TransferJob, AFailedRunPutsTheLineBackAndLeavesTheEndToTheFinishStep) {
  for (const bool finishSetsDone : {true, false}) {
    FakeClock clock{1000};
    TransferSettings settings;
    settings.BaudRate = 57600;
    settings.FlowControl = TransferSettings::kFlowRtsCts;
    settings.SendTimeout = 2;
    settings.FileList = "no-such-file-here.bin";
    FakeComLink fake;
    fake.inputHandshake = fake.outputHandshake = 1;
    fake.baudRate = 2400;
    TestJob job(settings, &fake);
    RecordingView view;
    view.finishSetsDone = finishSetsDone;
    job.Run(view);
    EXPECT_NE(0, job.result & 0xFFFF);
    EXPECT_EQ(finishSetsDone, view.doneEvent.IsSet());
    EXPECT_EQ(1u, view.Lines("finish").size());
    EXPECT_NE(fake.events.end(), std::find(fake.events.begin(), fake.events.end(), "handshake 4 12"));
    EXPECT_NE(fake.events.end(), std::find(fake.events.begin(), fake.events.end(), "format 57600 N 8 1"));
    EXPECT_EQ(1, fake.inputHandshake);
    EXPECT_EQ(1, fake.outputHandshake);
    EXPECT_EQ(2400u, fake.baudRate);
  }
}

// Host mode on a device that has gone (an adapter pulled): the first pass's link failure ends the
// run, without a log line (no file was under way), whether or not the view's finish step closes it. The view ends a run
// that goes on to a third pass itself, so a job that loops fails here instead of hanging.
TEST(TransferJob, HostModeEndsWhenTheDeviceIsGone) {
  struct StoppingView : RecordingView {
    void ShowStatus(const char* text) override {
      RecordingView::ShowStatus(text);
      if (Lines("status Waiting for sender").size() >= 3) doneEvent.Set();
    }
  };
  for (const bool finishSetsDone : {true, false}) {
    FakeClock clock{1000};
    TransferSettings settings;
    settings.Protocol = TransferSettings::kZModem;
    settings.Transfer = 0;
    settings.HostMode = 1;
    FakeComLink fake;
    fake.FailCall("Idle", 1, LinkCode::NoHardware, true);
    TestJob job(settings, &fake);
    StoppingView view;
    view.finishSetsDone = finishSetsDone;
    job.Run(view);
    EXPECT_EQ(15, job.result);
    EXPECT_EQ(1u, view.Lines("status Waiting for sender").size());
    EXPECT_TRUE(view.Lines("log").empty());
    EXPECT_EQ(1u, view.Lines("finish").size());
  }
}

// ZModem runs of the job against our own engine over the null-modem, with real files.
class JobOverNullModem : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root / "send");
    fs::create_directories(root / "recv");
    fs::current_path(root / "recv");  // a ZModem receiver names files in the working folder
    settings.Protocol = TransferSettings::kZModem;
    settings.Transfer = 0;
  }
  std::string Add(const std::string& name, size_t size, int year = 2020) {
    const fs::path path = root / "send" / name;
    Spit(path.string(), RandomBytes(size, static_cast<uint32_t>(size)));
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * (2030 - year)));
    return path.string();
  }
  // Runs the job on end A and, on end B, our sender of the job's protocol once per batch.
  void Run(const std::vector<std::string>& batches, bool endWhenSent) {
    NullModem modem;
    TestJob job(settings, &modem.A());
    const size_t waited = view->Lines("status Waiting for sender").size();
    modem.Run(
        [&](NullModem::End&) {
          view->lastActivity = FakeClock::Now();  // the view was made before the virtual clock
          job.Run(*view);
        },
              [&](NullModem::End& end) {
                for (std::string list : batches) {
                  SerialPort port(&end);
                  RecordingStatus status;
                  std::unique_ptr<FileTransfer> sender;
                  if (settings.Protocol == TransferSettings::kYModem)
                    sender = std::make_unique<YModem>(&port, &status);
                  else
                    sender = std::make_unique<ZModem>(&port, &status);
                  sender->Send(list.data());
                }
                if (!endWhenSent) return;
                // The user's Cancel, once the job waits for the next sender.
                while (view->Lines("status Waiting for sender").size() <= waited + batches.size()) end.Idle(1);
                view->doneEvent.Set();
              });
    result = job.result;
  }

  ScratchFolder scratch{"zandrel-job-"};
  const fs::path& root = scratch.path;
  TransferSettings settings;
  std::optional<RecordingView> view{std::in_place};
  int32_t result = -1;
};

// Files announced but not done go into the upper bits of a single run's result, ZModem's and
// YModem's: one skipped by the rule, or refused as existing (which the batch goes past, and which
// makes the result 14); then, in the same folder, host mode receives batch after batch under the
// sender's names until cancelled.
TEST_F(JobOverNullModem, FilesAnnouncedButNotDoneGoIntoTheUpperBitsAndHostModeRunsUntilCancelled) {
  const std::string list = Add("a.bin", 3000) + ";" + Add("b.bin", 100, 2001) + ";" + Add("c.bin", 5000);
  using S = TransferSettings;
  for (const auto& run : {std::pair{S::kZModem, S::kNever}, {S::kZModem, S::kSourceNewer}, {S::kYModem, S::kNever},
                          {S::kYModem, S::kSourceNewer}}) {
    view.emplace();
    settings.Protocol = run.first;
    settings.Overwrite = run.second;
    settings.Transferred = 0;
    Spit((root / "recv" / "b.bin").string(), "newer");  // b is not taken: the copy here is newer
    for (const char* name : {"a.bin", "c.bin"}) fs::remove(root / "recv" / name);
    Run({list}, false);
    const bool refused = settings.Overwrite == TransferSettings::kNever;
    EXPECT_EQ((refused ? 14 : 0) + 65536, result);
    EXPECT_EQ(refused ? 1u : 0u, view->Lines("finish").size());  // once, after the batch
    EXPECT_EQ(refused ? 1u : 0u, view->Lines("log b.bin|File already exists.").size());
    EXPECT_TRUE(view->Lines("status User cancelled.").empty());
    EXPECT_EQ("2 / 3 File(s) received.", view->status);
    EXPECT_TRUE(view->doneEvent.IsSet());  // a skipped file is no failure: the run ends by itself
    EXPECT_EQ(2, settings.Transferred);
  }
  view.emplace();

  settings.Protocol = TransferSettings::kZModem;
  settings.HostMode = 1;
  settings.FileList = "renamed.bin";  // never used: host mode takes the sender's names
  Run({Add("d.bin", 2000) + ";" + Add("e.bin", 10), Add("f.bin", 70000)}, true);
  EXPECT_EQ(6, result);  // the cancel that ends host mode, no upper bits (batch counts: tests/interop)
  EXPECT_EQ(2 + 3, settings.Transferred);
  EXPECT_EQ("", settings.FileList);
  EXPECT_FALSE(fs::exists("renamed.bin"));
  for (const char* name : {"a.bin", "c.bin", "d.bin", "e.bin", "f.bin"})
    EXPECT_TRUE(Slurp((root / "send" / name).string()) == Slurp(name)) << name;
}

// A view for long runs: counts instead of records, so that the test itself stays lean.
class CountingView : public ProgressView {
 public:
  void ShowStatus(const char* text) override { passes += std::strcmp(text, "Waiting for sender...") == 0; }
  void ShowBytes(int64_t, int64_t) override {}
  void ShowErrorCount(int32_t) override {}
  void AddLogEntry(const char*, const char* message, int64_t) override {
    ++entries;
    timeouts += std::strcmp(message, "Timeout.") == 0;
  }
  void FinishRun() override {
    ++finishes;
    doneEvent.Set();
  }
  std::atomic<int> passes{0}, entries{0}, timeouts{0}, finishes{0};

 protected:
  void DisplayFile(const char*, int64_t) override {}
};

// A sender's end of the cable that falls silent for good once `gone` is set: a sender that
// vanishes (a machine switched off) says nothing more, not even its cancel.
class VanishingLink : public CoalescingLink {
 public:
  using CoalescingLink::CoalescingLink;
  int32_t Write(const uint8_t* data, int32_t length) override {
    return gone ? length : CoalescingLink::Write(data, length);
  }
  int32_t PutByte(uint8_t byte) override { return gone ? 0 : CoalescingLink::PutByte(byte); }
  bool gone = false;
};

// Days of host mode in minutes of virtual time: 500 batches after idle spells of up to ten
// times the receive time-out, every tenth sender vanishing half-way through its file. Every
// whole file arrives byte-exact, every vanished one ends its pass as a time-out, and what the
// process holds after the 500th batch is what it held after the 50th.
TEST_F(JobOverNullModem, HostModeServesBatchAfterBatchForDays) {
  settings.HostMode = 1;
  settings.RecvTimeout = 1;
  CountingView counting;
  std::mt19937 rng(21);
  std::vector<std::string> whole;
  ProcessResources after50, after500;
  NullModem modem;
  modem.A().recordSent = modem.B().recordSent = false;
  TestJob job(settings, &modem.A());
  modem.Run(
      [&](NullModem::End&) {
        counting.RestartClock();
        job.Run(counting);
      },
      [&](NullModem::End& end) {
        for (int batch = 1; batch <= 501; ++batch) {
          const uint32_t quietUntil = FakeClock::Now() + rng() % (batch % 5 == 0 ? 10000 : 1000);
          while (!TickSource::Passed(quietUntil) || counting.passes < batch) end.Idle(1000);
          if (batch == 51) after50 = ProcessResources::Now();
          if (batch == 501) break;
          const bool vanish = batch % 10 == 0;
          std::string list;
          for (int f = vanish ? 1 : 1 + static_cast<int>(rng() % 2); f > 0; --f) {
            const std::string name = "b" + std::to_string(batch) + "-" + std::to_string(f) + ".bin";
            list += (list.empty() ? "" : ";") + Add(name, vanish ? 4000 : rng() % 3000);
            if (!vanish) whole.push_back(name);
          }
          VanishingLink line(&end);
          SerialPort port(&line);
          struct : RecordingStatus {
            int32_t QueryAbort() override {
              if (!vanish || bytesDone <= fileSize / 2) return RecordingStatus::QueryAbort();
              line->gone = true;
              return TransferCode::UserCancelled;
            }
            bool vanish = false;
            VanishingLink* line = nullptr;
          } status;
          status.vanish = vanish;
          status.line = &line;
          ZModem(&port, &status).Send(list.data());
        }
        after500 = ProcessResources::Now();
        counting.doneEvent.Set();
      });
  EXPECT_EQ(6, job.result);
  EXPECT_EQ(static_cast<int>(whole.size()), settings.Transferred);
  EXPECT_EQ(50, counting.timeouts);
  EXPECT_EQ(static_cast<int>(whole.size()) + 50, counting.entries);
  for (const std::string& name : whole)
    ASSERT_TRUE(Slurp((root / "send" / name).string()) == Slurp(name)) << name;
  std::printf("after batch 50: %lld handles, %lld bytes; after batch 500: %lld handles, %lld bytes\n",
              static_cast<long long>(after50.handles), static_cast<long long>(after50.privateBytes),
              static_cast<long long>(after500.handles), static_cast<long long>(after500.privateBytes));
  EXPECT_LE(after500.handles, after50.handles);
  EXPECT_LT(after500.privateBytes - after50.privateBytes, 1 << 20);
}

// Then a hundred calls in a row, each answered, received and hung up, on emulated modems.
TEST_F(JobOverNullModem, HostModeAnswersCallAfterCall) {
  ModemBench bench;
  ModemBench::Port& a = bench.Add("5551001");
  ModemBench::Port& b = bench.Add("5551002");
  settings.UseModem = 1;
  settings.ModemName = 0;
  settings.HostMode = 1;
  settings.RecvTimeout = 5;
  CountingView answering;
  TestJob receiver(settings, &b);
  std::vector<std::string> names;
  ProcessResources after10, after100;
  bench.Run({[&] {
               answering.RestartClock();
               receiver.Run(answering);
             },
             [&] {
               for (int call = 1; call <= 100; ++call) {
                 TransferSettings dial = settings;
                 dial.Transfer = 1;
                 dial.HostMode = 0;
                 dial.Telephone = "5551002";
                 names.push_back("call" + std::to_string(call) + ".bin");
                 dial.FileList = Add(names.back(), 500 + call);
                 TestJob caller(dial, &a);
                 CountingView calling;
                 calling.RestartClock();
                 caller.Run(calling);
                 EXPECT_EQ(0, caller.result) << call;
                 if (call == 10) after10 = ProcessResources::Now();
               }
               after100 = ProcessResources::Now();
               answering.doneEvent.Set();
             }});
  EXPECT_EQ(6, receiver.result);
  EXPECT_EQ(100, settings.Transferred);
  for (const std::string& name : names) ASSERT_TRUE(Slurp((root / "send" / name).string()) == Slurp(name)) << name;
  EXPECT_LE(after100.handles, after10.handles);
  EXPECT_EQ(HayesModem::State::OnHook, b.modem.GetState());
}

// The sender's view that, once 60000 bytes are out, has the line cut and waits for the carrier to
// go: time on the bench moves only while every side waits.
class CuttingView : public RecordingView {
 public:
  CuttingView(ModemBench::Port* line, std::atomic<bool>& request) : port(line), cutRequested(request) {}
  void ShowBytes(int64_t bytes, int64_t size) override {
    RecordingView::ShowBytes(bytes, size);
    if (bytes < 60000 || cutRequested) return;
    cutRequested = true;
    while (port->Signal(LineSignal::Cd, -1) == 1) port->Idle(1);
  }

 private:
  ModemBench::Port* port;
  std::atomic<bool>& cutRequested;
};

// Through modems on one switchboard, a call cut half-way: both jobs see the carrier go and hang
// up. A call that goes through is proven end to end with the zandrel host
// (tests/interop/ModemInteropTest.cpp), one that does not come about above.
TEST_F(JobOverNullModem, ACallCutHalfWay) {
  const std::string file = Add("data.bin", 200000);
  ModemBench bench;
  ModemBench::Port& a = bench.Add("5551001");
  ModemBench::Port& b = bench.Add("5551002");
  std::atomic<bool> cutRequested{false};
  bench.onTick = [&a, &cutRequested, cut = false](uint32_t now) mutable {
    if (!cut && cutRequested) {
      a.modem.CutLine(now);
      cut = true;
    }
  };
  settings.UseModem = 1;
  settings.ModemName = 0;
  TransferSettings sendSettings = settings, receiveSettings = settings;
  sendSettings.Transfer = 1;
  sendSettings.FileList = file;
  sendSettings.Telephone = "5551002";
  sendSettings.SendTimeout = 90;
  TestJob sender(sendSettings, &a), receiver(receiveSettings, &b);
  CuttingView sendView(&a, cutRequested);
  RecordingView receiveView;
  bench.Run({[&] {
               sendView.lastActivity = FakeClock::Now();
               sender.Run(sendView);
             },
             [&] {
               receiveView.lastActivity = FakeClock::Now();
               receiver.Run(receiveView);
             }});
  // The engines watch the carrier: both stop at once, say so, and hang up.
  EXPECT_NE(0, sender.result);
  EXPECT_NE(0, receiver.result);
  for (RecordingView* v : {static_cast<RecordingView*>(&sendView), &receiveView}) {
    const auto statuses = v->Lines("status ");
    const auto lost = std::find(statuses.begin(), statuses.end(), "status The modem lost the carrier.");
    EXPECT_NE(statuses.end(), lost) << ::testing::PrintToString(statuses);
    if (lost != statuses.end()) {
      EXPECT_EQ("status Disconnecting...", *(lost + 1));
    }
  }
  const std::string kept = Slurp("data.bin");
  EXPECT_GT(kept.size(), 0u);
  EXPECT_TRUE(kept == Slurp(file).substr(0, kept.size()));
  for (ModemBench::Port* port : {&a, &b}) EXPECT_EQ(HayesModem::State::OnHook, port->modem.GetState());
}

}  // namespace
