#include "job/TransferJob.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fakes/NullModem.h"
#include "fakes/RecordingView.h"
#include "fakes/TestData.h"
#include "link/CoalescingLink.h"
#include "link/SerialPort.h"
#include "transfer/RecordingStatus.h"
#include "transfer/zmodem/ZModem.h"

namespace fs = std::filesystem;

namespace {
// A job whose port is the link a test gives it (not owned), or none at all.
class TestJob : public TransferJob {
 public:
  TestJob(TransferSettings& s, ComLink* port) : TransferJob(0, s, devices), link(port) {}

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
  ComLink* link;
};

TEST(TransferJob, APortThatDoesNotOpenEndsTheRunAtOnce) {
  for (const bool missing : {true, false}) {
    TransferSettings settings;
    FakeComLink fake;
    fake.SetOpenFailure(-801);
    TestJob job(settings, missing ? nullptr : &fake);
    RecordingView view;
    job.Run(view);
    EXPECT_EQ(18, job.result);
    EXPECT_EQ(30, view.helpId);
    EXPECT_EQ((std::vector<std::string>{"status Error opening the COM port", "finish"}), view.calls);
    EXPECT_TRUE(fake.output.empty());
    EXPECT_TRUE(fake.events.empty());
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

// ZModem runs of the job against our own engine over the null-modem, with real files.
class JobOverNullModem : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("zandrel-job-" + std::to_string(std::random_device()()));
    fs::create_directories(root / "send");
    fs::create_directories(root / "recv");
    home = fs::current_path();
    fs::current_path(root / "recv");  // a ZModem receiver names files in the working folder
    settings.Protocol = TransferSettings::kZModem;
    settings.Transfer = 0;
  }
  void TearDown() override {
    fs::current_path(home);
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  std::string Add(const std::string& name, size_t size, int year = 2020) {
    const fs::path path = root / "send" / name;
    Spit(path.string(), RandomBytes(size, static_cast<uint32_t>(size)));
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * (2030 - year)));
    return path.string();
  }
  // Runs the job on end A and, on end B, our ZModem sender once per batch.
  void Run(const std::vector<std::string>& batches, bool endWhenSent) {
    NullModem modem;
    TestJob job(settings, &modem.A());
    modem.Run(
        [&](NullModem::End&) {
          view.lastActivity = modem.Now();  // the view was made before the virtual clock
          job.Run(view);
        },
              [&](NullModem::End& end) {
                for (std::string list : batches) {
                  SerialPort port(&end);
                  RecordingStatus status;
                  ZModem sender(&port, &status);
                  sender.Send(list.data());
                }
                if (!endWhenSent) return;
                // The user's Cancel, once the job waits for the next sender.
                while (view.Lines("status Waiting for sender").size() <= batches.size()) end.Idle();
                view.doneEvent.Set();
              });
    result = job.result;
  }

  fs::path root, home;
  TransferSettings settings;
  RecordingView view;
  int32_t result = -1;
};

TEST_F(JobOverNullModem, FilesAnnouncedButNotDoneGoIntoTheUpperBits) {
  settings.Overwrite = TransferSettings::kSourceNewer;
  const std::string list = Add("a.bin", 3000) + ";" + Add("b.bin", 100, 2001) + ";" + Add("c.bin", 5000);
  Spit((root / "recv" / "b.bin").string(), "newer");  // b is skipped: the copy here is newer
  Run({list}, false);
  EXPECT_EQ(65536, result);  // "File skipped." keeps result 0; one file announced but not done
  EXPECT_FALSE(view.doneEvent.IsSet());
  EXPECT_TRUE(view.Lines("finish").empty());
  EXPECT_EQ("2 / 3 File(s) received.", view.status);
  EXPECT_EQ(2, settings.Transferred);
  EXPECT_TRUE(Slurp((root / "send" / "c.bin").string()) == Slurp("c.bin"));
}

TEST_F(JobOverNullModem, HostModeReceivesBatchAfterBatchUntilCancelled) {
  settings.HostMode = 1;
  settings.FileList = "renamed.bin";  // never used: host mode takes the sender's names
  const std::string first = Add("a.bin", 2000) + ";" + Add("b.bin", 10);
  const std::string second = Add("c.bin", 70000);
  Run({first, second}, true);
  EXPECT_EQ(6, result & 0xFFFF);  // the cancel that ends host mode
  EXPECT_EQ(3, settings.Transferred);
  EXPECT_EQ("", settings.FileList);
  EXPECT_FALSE(fs::exists("renamed.bin"));
  for (const char* name : {"a.bin", "b.bin", "c.bin"})
    EXPECT_TRUE(Slurp((root / "send" / name).string()) == Slurp(name)) << name;
  std::vector<std::string> counts;
  for (const std::string& line : view.Lines("status "))
    if (line.find("File(s)") != std::string::npos) counts.push_back(line.substr(7));
  EXPECT_EQ((std::vector<std::string>{"2 / 2 File(s) received.", "1 / 1 File(s) received.",
                                      "0 / 0 File(s) received."}),
            counts);
}
}  // namespace
