#include "tools/ConsoleStatus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "fakes/FakeClock.h"
#include "job/TransferLog.h"

namespace {
bool cancelFlag = false;
bool Cancelled() { return cancelFlag; }

// Everything written to a temporary file so far; closes it.
std::string Drain(std::FILE* f) {
  std::rewind(f);
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
  std::fclose(f);
  return s;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ConsoleStatus, OneLineAndOneLogEntryPerFileLastFailureWins) {
  FakeClock clock{5000};
  std::FILE* out = std::tmpfile();
  const std::string path = ::testing::TempDir() + "zandrel_console_status.log";
  TransferLog log;
  ASSERT_TRUE(log.Open(path.c_str(), false));
  ConsoleStatus s(out, false, false, &log, &Cancelled);
  s.SetSending(true);
  s.Begin(1);
  s.fileName = "a.bin";
  s.bytesDone = 256;
  s.errors = 2;
  s.Notify(-908);  // the first event of the file: its entry
  s.Notify(-914);  // later events change the result only
  s.fileName = "b\x1b[2J\n.bin";  // a remote's name: its control characters are shown, not obeyed
  s.bytesDone = 128;
  s.errors = 0;
  s.Notify(-804);
  EXPECT_EQ(16, s.Result());  // "OK" leaves an earlier failure standing
  EXPECT_EQ(1, s.FilesDone());
  EXPECT_EQ(2, s.FilesSeen());
  log.Close();
  const std::string text = Drain(out);
  EXPECT_TRUE(Has(text, "a.bin: Error count exceeded. 256 bytes, 2 errors"));
  EXPECT_TRUE(Has(text, "b\\x1b[2J\\x0a.bin: OK 128 bytes, 0 errors"));
  EXPECT_FALSE(Has(text, "Cancelled by remote"));
  std::ifstream in(path);
  const std::string l((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(Has(l, "\na.bin" + std::string(35, ' ') + " Error count exceeded."));
  EXPECT_TRUE(Has(l, "\nb\\x1b[2J\\x0a.bin" + std::string(24, ' ') + " OK"));
  EXPECT_EQ(3, std::count(l.begin(), l.end(), '\n'));
  in.close();
  std::remove(path.c_str());
}

TEST(ConsoleStatus, LiveLineIsRedrawnInPlaceUnlessQuiet) {
  for (const bool quiet : {false, true}) {
    FakeClock clock{5000};
    std::FILE* out = std::tmpfile();
    ConsoleStatus s(out, true, quiet, nullptr, &Cancelled);
    s.Begin(1);
    s.fileName = "f.bin";
    s.fileSize = 1000;
    s.bytesDone = 500;
    s.Notify(0);
    FakeClock::Advance(1000);
    s.bytesDone = 1000;
    s.Notify(0);
    s.Notify(-939);
    s.Say("Waiting for sender...");
    EXPECT_EQ(14, s.Result());
    const std::string text = Drain(out);
    EXPECT_EQ(!quiet, Has(text, "\rf.bin  1000 of 1000 bytes"));
    EXPECT_EQ(!quiet, Has(text, "File already exists.\033[K\n"));
    EXPECT_TRUE(!quiet || text.empty()) << text;
  }
}

TEST(ConsoleStatus, CancelAndInactivity) {
  FakeClock clock{5000};
  ConsoleStatus s(nullptr, false, true, nullptr, &Cancelled);
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
