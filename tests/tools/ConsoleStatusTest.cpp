#include "tools/ConsoleStatus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "fakes/FakeClock.h"
#include "job/TransferLog.h"

namespace {
bool cancelFlag = false;
bool Cancelled() { return cancelFlag; }

std::string Slurp(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

class ConsoleStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out = std::tmpfile();
    cancelFlag = false;
  }
  void TearDown() override { std::fclose(out); }
  FakeClock clock{5000};
  std::FILE* out = nullptr;
};

TEST_F(ConsoleStatusTest, OneLineAndOneLogEntryPerFileLastFailureWins) {
  const std::string path = ::testing::TempDir() + "zandrel_console_status.log";
  TransferLog log;
  ASSERT_TRUE(log.Open(path.c_str(), false));
  ConsoleStatus s(out, false, false, &log, &Cancelled);
  s.SetSending(true);
  s.Begin(1);
  s.fileName = "a.bin";
  s.bytesDone = 256;
  s.Notify(0);
  s.errors = 2;
  s.Notify(-908);  // the first event of the file: its entry
  s.Notify(-914);  // later events change the result only
  EXPECT_EQ(16, s.Result());
  s.fileName = "b.bin";
  s.bytesDone = 128;
  s.errors = 0;
  s.Notify(-804);
  EXPECT_EQ(16, s.Result());  // "OK" leaves an earlier failure standing
  log.Close();

  const std::string text = Slurp(out);
  EXPECT_NE(std::string::npos, text.find("a.bin: Error count exceeded. 256 bytes, 2 errors"));
  EXPECT_NE(std::string::npos, text.find("b.bin: OK 128 bytes, 0 errors"));
  EXPECT_EQ(std::string::npos, text.find("Cancelled by remote"));
  std::ifstream in(path);
  std::stringstream logText;
  logText << in.rdbuf();
  const std::string l = logText.str();
  EXPECT_EQ(0u, l.find("FILENAME"));
  EXPECT_NE(std::string::npos, l.find("\na.bin" + std::string(35, ' ') + " Error count exceeded."));
  EXPECT_NE(std::string::npos, l.find("\nb.bin" + std::string(35, ' ') + " OK"));
  EXPECT_EQ(3, std::count(l.begin(), l.end(), '\n'));
  std::remove(path.c_str());
}

TEST_F(ConsoleStatusTest, QuietPrintsNothingButStillMaps) {
  ConsoleStatus s(out, true, true, nullptr, &Cancelled);
  s.Begin(0);
  s.fileName = "x";
  s.Notify(-939);
  EXPECT_EQ(14, s.Result());
  s.Say("Waiting for sender...");
  EXPECT_EQ("", Slurp(out));
}

TEST_F(ConsoleStatusTest, LiveLineIsRedrawnInPlace) {
  ConsoleStatus s(out, true, false, nullptr, &Cancelled);
  s.Begin(1);
  s.fileName = "f.bin";
  s.fileSize = 1000;
  s.bytesDone = 500;
  s.Notify(0);
  FakeClock::Advance(1000);
  s.bytesDone = 1000;
  s.Notify(0);
  s.Notify(-804);
  const std::string text = Slurp(out);
  EXPECT_NE(std::string::npos, text.find("\rf.bin  1000 of 1000 bytes"));
  EXPECT_NE(std::string::npos, text.find("OK\033[K\n"));
}

TEST_F(ConsoleStatusTest, CancelAndInactivity) {
  ConsoleStatus s(out, false, true, nullptr, &Cancelled);
  s.SetTimeout(60);
  s.Begin(0);
  EXPECT_EQ(0, s.QueryAbort());
  FakeClock::Advance(60999);
  EXPECT_EQ(0, s.QueryAbort());  // 60 whole seconds are not more than 60
  FakeClock::Advance(1);
  EXPECT_EQ(-909, s.QueryAbort());
  s.bytesDone = 10;  // progress restarts the clock
  s.Notify(0);
  EXPECT_EQ(0, s.QueryAbort());
  cancelFlag = true;
  EXPECT_EQ(-901, s.QueryAbort());
  s.SetTimeout(0);
  cancelFlag = false;
  FakeClock::Advance(10000000);
  EXPECT_EQ(0, s.QueryAbort());
}
}  // namespace
