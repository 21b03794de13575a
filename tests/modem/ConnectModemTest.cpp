// Dialing and answering on the fake clock: every outcome of a call against emulated modems on a
// switchboard, the result wait's budget and its cancel against a scripted line, bad numbers.
#include "modem/ConnectModem.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fakes/ModemBench.h"
#include "link/LineControl.h"
#include "link/SerialPort.h"
#include "modem/GenericHayes.h"
#include "modem/MemoryModemInstallation.h"
#include "modem/Modem.h"
#include "modem/StatusSink.h"

namespace {
struct Sink : StatusSink {
  void ShowStatus(const char* text) override { lines.push_back(std::to_string(FakeClock::Now() - start) + " " + text); }
  void SetHelpId(int32_t topic) override { help = topic; }
  uint32_t start = 0;
  std::vector<std::string> lines;
  int32_t help = 0;
};

struct JobModem : Modem {
  using Modem::Modem;
  uint32_t cancelAt = 0;
  int32_t QueryAbort() override { return cancelAt && FakeClock::Now() >= cancelAt ? -901 : 0; }
};

// One run of ConnectModem over a link with the generic Hayes modem's installation.
struct Session {
  explicit Session(ComLink& link) : port(&link), lines(&port), modem(installation) {
    GenericHayes::Install(installation);
    modem.SetResponseTimeout(2000);
    call.telephone = "555-1002";
    call.timeoutSeconds = 30;
  }
  void Init() { EXPECT_EQ(modem.Init(&port, GenericHayes::kName, GenericHayes::kDriverKey), 0); }
  int32_t Connect(bool sending, bool hostLoop = false, const char* command = "") {
    call.sending = sending;
    call.hostLoop = hostLoop;
    call.userCommand = command;
    sink.start = FakeClock::Now();
    if (modem.cancelAt) modem.cancelAt += sink.start;
    const int32_t result = ConnectModem(call, modem, lines, sink, why);
    elapsed = FakeClock::Now() - sink.start;
    return result;
  }
  MemoryModemInstallation installation;
  SerialPort port;
  LineControl lines;
  JobModem modem;
  CallPlan call;
  Sink sink;
  std::string why;
  uint32_t elapsed = 0;
};

TEST(ConnectModem, CallOutcomesAgainstTheEmulator) {
  const struct {
    const char* what;
    bool sending;
    std::function<void(ModemBench&, ModemBench::Port&, HayesModem&, Session&)> setup;
    int32_t result, help;
    uint32_t elapsedMs;
    const char* why;  // what the user is told stopped the call
  } cases[] = {
      {"CONNECT with carrier", true, [](auto& b, auto&, auto& far, auto&) { b.Type(far, "ATS0=1\r"); }, 0, 0, 3000, ""},
      {"CONNECT without carrier", true,
       [](auto& b, auto& ours, auto& far, auto&) {
         b.Type(far, "ATS0=1\r");
         ours.carrierWired = false;
       },
       20, 32, 3000, "CONNECT without carrier detect"},
      {"BUSY", true, [](auto&, auto&, auto& far, auto&) { far.busyLine = true; }, 20, 32, 3000, "BUSY"},
      {"BUSY while the dial waits for OK", true,
       [](auto&, auto&, auto& far, auto& r) {
         far.busyLine = true;
         r.modem.SetResponseTimeout(5000);
       },
       20, 32, 3000, "BUSY"},
      {"NO CARRIER after the call set-up time", true, [](auto&, auto&, auto&, auto& r) { r.call.timeoutSeconds = 90; },
       20, 32, 60000, "NO CARRIER"},
      {"NO DIALTONE ends the call", true, [](auto&, auto& ours, auto&, auto&) { ours.modem.dialTone = false; }, 20,
       32, 2000, "NO DIALTONE"},
      {"answering a call", false,
       [](auto& b, auto&, auto& far, auto& r) {
         r.call.telephone = "";  // not needed to answer
         b.onTick = [&far, start = FakeClock::Now()](uint32_t now) {
           if (now == start + 10000) for (char c : std::string("ATDT5551001\r")) far.FromComputer(c, now);
         };
       },
       0, 0, 10000 + 1000 + 2000, ""},
      {"an empty number", true, [](auto&, auto&, auto&, auto& r) { r.call.telephone = " "; }, 20, 32, 0,
       "no telephone number"},
      {"a number too long", true,
       [](auto&, auto&, auto&, auto& r) { r.call.telephone = "5555555555555555555555555555555555555555"; }, 20, 32, 0,
       "number too long"},
  };
  for (const auto& c : cases) {
    ModemBench bench;
    ModemBench::Port& ours = bench.Add("5551001");
    HayesModem& far = bench.Add("5551002").modem;
    Session run(ours);
    run.Init();
    c.setup(bench, ours, far, run);
    const size_t sentBefore = ours.modem.Received().size();
    EXPECT_EQ(run.Connect(c.sending), c.result) << c.what;
    EXPECT_EQ(run.sink.help, c.help) << c.what;
    EXPECT_EQ(run.elapsed, c.elapsedMs) << c.what;
    EXPECT_EQ(run.why, c.why) << c.what;
    if (c.elapsedMs == 0) {
      EXPECT_EQ(ours.modem.Received().size(), sentBefore) << c.what << ": nothing sent";
    }
    if (c.result == 0) {
      EXPECT_EQ(run.sink.lines.back().substr(run.sink.lines.back().find(' ') + 1), "Modem Connected.");
    }
  }
}

TEST(ConnectModem, SilentModemCostsTheResponseTimeOutPerCommand) {
  FakeClock clock;
  FakeComLink link;
  Session run(link);
  run.Init();
  EXPECT_EQ(run.Connect(true, false, "L1"), 20);
  const std::vector<std::string> expected = {"0 Resetting modem...", "2000 Sending AT command...",
                                             "4000 Dialing modem...", "6000 Waiting for answer..."};
  EXPECT_EQ(run.sink.lines, expected);
  EXPECT_EQ(run.elapsed, 6000u + 30000u);
  EXPECT_EQ(run.sink.help, 32);
}

TEST(ConnectModem, ResultWaitBudgetCountsSilenceAndEndsOnlyByCancelWhenForever) {
  const struct {
    const char* what;
    bool hostLoop;
    int32_t recvTimeout;
    uint32_t connectAt, cancelAt;  // after the answer command's wait
    int32_t result, help;
    uint32_t elapsedMs;
  } cases[] = {
      {"rings carry the budget: CONNECT just inside it", false, 30, 29950, 0, 0, 0, 29950},
      {"rings carry the budget: CONNECT just outside it", false, 30, 30050, 0, 20, 32, 30000},
      {"time-out 0 waits for ever, until cancel", false, 0, 0, 600010, 6, 18, 600010},
      {"host mode takes a call after a silent budget", true, 30, 80000, 100000, 0, 0, 80000},
  };
  for (const auto& c : cases) {
    FakeClock clock;
    FakeComLink link;
    link.signals[LineSignal::Cd] = 1;
    Session run(link);
    run.call.timeoutSeconds = c.recvTimeout;
    // OK to every command at once; then a ring every six seconds up to 40 s and, maybe, the
    // connection, its line in two pieces as a slow modem sends it.
    link.onOutput = [&c](FakeComLink& l) {
      if (l.output.back() != '\r') return;
      l.AddInput("\r\nOK\r\n");
      const std::string sent(l.output.begin(), l.output.end());
      if (sent.size() < 7 || sent.compare(sent.size() - 7, 7, "ATS0=1\r") != 0) return;
      const uint32_t now = FakeClock::Now();
      for (uint32_t t = 6000; t < 40000 && (!c.connectAt || t < c.connectAt); t += 6000) l.AddInput("\r\nRING\r\n", now + t);
      if (!c.connectAt) return;
      l.AddInput("\r\nCONNEC", now + c.connectAt - 100);
      l.AddInput("T 9600\r\n", now + c.connectAt);
    };
    run.Init();
    run.modem.cancelAt = c.cancelAt;
    EXPECT_EQ(run.Connect(false, c.hostLoop), c.result) << c.what;
    EXPECT_EQ(run.sink.help, c.help) << c.what;
    EXPECT_EQ(run.elapsed, c.elapsedMs) << c.what;
  }
}
}  // namespace
