// The engine base: abort checks on every path, byte and block deadlines, cancel sequences, purge.
#include "transfer/FileTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fakes/MemoryFile.h"
#include "fakes/ZModemWire.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
#include "transfer/AckNak.h"
#include "transfer/EngineRuns.h"
#include "transfer/RecordingStatus.h"
#include "transfer/XModem.h"
#include "transfer/zmodem/ZModem.h"

namespace {

// The smallest concrete engine: the helpers under test, nothing else.
struct TestEngine : TransferEngine {
  TestEngine(SerialPort* port, TransferStatus* s, int32_t protocol, bool withBuffer = true)
      : TransferEngine(port, s) {
    status->protocol = protocol;
    if (withBuffer) AllocateBuffer(16);
  }
  int32_t Send(char*) override { return 0; }
  int32_t Receive(char*) override { return 0; }
};

struct FileTransferTest : ::testing::Test {
  FakeClock clock{1000};
  FakeComLink link;
  SerialPort port{&link};
  RecordingStatus status{UINT32_MAX};  // no inactivity limit: the waits under test have their own
  std::string Output() const { return std::string(link.output.begin(), link.output.end()); }
};

const std::string kTwentyByteCancel = std::string(10, '\x18') + std::string(10, '\x08');

// ZModem without its buffer (allocation failed) cannot frame anything: no sequence either. The
// remote's chatter is drained until it pauses, or for a second at most while it goes on, so that a
// cancel ends a run well within a second after the remote has been told.
TEST_F(FileTransferTest, CancelSequencePerProtocol) {
  struct Case {
    int32_t protocol;
    int32_t code;
    std::string expected;
    bool withBuffer = true;
  } cases[] = {
      {4, TransferCode::ErrorLimit, kTwentyByteCancel},
      {7, TransferCode::ErrorLimit, kTwentyByteCancel},
      {7, TransferCode::RemoteCancelled, ""},  // the remote already knows
      {9, TransferCode::ErrorLimit, "\r\x07\x07"},
      {7, TransferCode::NoBuffer, "", false},
  };
  for (const Case& c : cases) {
    link.output.clear();
    link.AddInput("junk from the remote");
    TestEngine engine(&port, &status, c.protocol, c.withBuffer);
    status.code = c.code;
    const uint32_t start = FakeClock::Now();
    engine.Finish();
    EXPECT_EQ(Output(), c.expected) << c.protocol << " " << c.code;
    EXPECT_EQ(FakeClock::Now() - start, 200u);  // one quiet spell after the chatter
    EXPECT_EQ(link.Pending(), 0u);
    link.ClearBuffer(0, 0);
  }
  const uint32_t start = FakeClock::Now();
  for (uint32_t i = 1; i <= 30; ++i) link.AddInput("x", start + 100 * i);  // a remote that goes on
  TestEngine(&port, &status, 7, true).Finish();
  EXPECT_LE(FakeClock::Now() - start, 1100u);
}

// A full output queue: each wait retries until it drains, the host stops it, or (bytes) 30 s
// or (blocks) a minute pass without progress.
TEST_F(FileTransferTest, SendWaitsRetryAFullQueueWithinTheirDeadlines) {
  TestEngine engine(&port, &status, 0);
  link.FailCall("PutByte", 1, LinkCode::ShortWrite);
  EXPECT_EQ(engine.SendByteWait('y'), 0);
  const std::string block = "0123456789abcdefghij";
  link.writeChunk = 7;  // the queue takes 7 bytes a call; the rest follows after each wait
  EXPECT_GE(engine.SendBlockWait(reinterpret_cast<const uint8_t*>(block.data()), 20), 0);
  EXPECT_EQ(Output(), "y" + block);
  link.FailCall("Write", 1, LinkCode::ShortWrite, true);
  uint32_t start = FakeClock::Now();
  EXPECT_EQ(engine.SendBlockWait(reinterpret_cast<const uint8_t*>(block.data()), 20), TransferCode::BlockSendFailed);
  EXPECT_GE(FakeClock::Now() - start, 60000u);
  status.code = 0;
  link.FailCall("PutByte", 1, LinkCode::ShortWrite, true);
  start = FakeClock::Now();
  EXPECT_EQ(engine.SendByteWait('x'), LinkCode::ShortWrite);
  EXPECT_EQ(status.code, TransferCode::OutputBlocked);
  EXPECT_GE(FakeClock::Now() - start, 30000u);
  EXPECT_LT(FakeClock::Now() - start, 30100u);
  status.code = 0;
  link.FailCall("Idle", 5, -909);
  EXPECT_EQ(engine.SendByteWait('z'), -909);
}

// A purge ends after a second of silence, at once when the watched carrier drops (the run ends
// with its code and cancel sequence), or on a cancel, which a line that never goes quiet cannot delay.
TEST_F(FileTransferTest, PurgeWaitsForASecondOfSilenceUnlessTheRunEnds) {
  TestEngine engine(&port, &status, 9);
  link.signals[LineSignal::Cd] = 1;
  engine.SetCarrierWatch(1);
  link.AddInput("noise");
  link.AddInput("more noise", FakeClock::Now() + 700);
  const uint32_t start = FakeClock::Now();
  EXPECT_EQ(engine.Purge(), 1);
  EXPECT_EQ(link.Pending(), 0u);
  EXPECT_GE(FakeClock::Now() - start, 1700u);
  link.signals[LineSignal::Cd] = 0;
  EXPECT_EQ(engine.Purge(), 0);
  EXPECT_EQ(status.code, TransferCode::CarrierLost);
  EXPECT_EQ(Output(), "\r\x07\x07");
  status.code = 0;
  status.cancelAfterQueries = 2;
  link.signals[LineSignal::Cd] = 1;
  link.readMs = 1;
  link.AddInput(std::string(3000, 'x'));
  EXPECT_EQ(engine.Purge(), 0);
}

// Every engine asks QueryAbort at least once a second on every path, with input flowing or
// without, so Cancel and the host's time-out end a run however the peer behaves; the run then
// ends within the bounded clean-up of the cancel.
TEST(EveryEngine, AsksQueryAbortAtLeastOnceASecondWithInputOrWithout) {
  struct Polling : TransferStatus {
    uint32_t cancelAt = 0, last = 0, longest = 0;
    int32_t QueryAbort() override {
      const uint32_t now = TickSource::Now();
      if (last != 0 && now <= cancelAt) longest = std::max(longest, now - last);
      last = now;
      return TickSource::Passed(cancelAt) ? TransferCode::UserCancelled : 0;
    }
  };
  const auto hex = [](int32_t type) {
    return ZModemWire().Header(type, uint32_t{Zm::CANFDX | Zm::CANOVIO | Zm::CANFC32} << 24, true).text;
  };
  // text, one piece every `everyMs` from now on, `count` times (each piece whole or, with
  // bytewise, one byte of text per step).
  const auto repeat = [](FakeComLink& l, const std::string& text, uint32_t everyMs, int32_t count, bool bytewise) {
    for (int32_t i = 0; i < count; ++i) {
      const uint32_t at = TickSource::Now() + 5 + everyMs * static_cast<uint32_t>(i);
      l.AddInput(bytewise ? text.substr(static_cast<size_t>(i) % text.size(), 1) : text, at);
    }
  };
  enum Engine { kZSend, kZReceive, kXReceive, kAReceive };
  struct Row {
    const char* name;
    Engine engine;
    std::function<void(FakeComLink&)> feed;
  };
  const Row rows[] = {
      {"ZModem sender, ZRINIT every 200 ms", kZSend, [&](FakeComLink& l) { repeat(l, hex(Zm::ZRINIT), 200, 200, false); }},
      {"ZModem receiver, ZRQINIT every 200 ms", kZReceive,
       [&](FakeComLink& l) { repeat(l, hex(Zm::ZRQINIT), 200, 200, false); }},
      {"ZModem receiver, noise it never catches up with", kZReceive,
       [&](FakeComLink& l) { l.readChunk = l.readMs = 1; l.AddInput(std::string(3000, 'x'), TickSource::Now() + 5); }},
      {"ZModem receiver, a header's bytes 2.4 s apart", kZReceive,
       [&](FakeComLink& l) { repeat(l, "**\x18" "B0100000000", 2400, 14, true); }},
      {"ZModem sender, XON flood during the data", kZSend,
       [&](FakeComLink& l) {
         l.AddInput(hex(Zm::ZRINIT), TickSource::Now() + 5);
         l.onOutput = [&, sent = false](FakeComLink& o) mutable {
           if (sent || o.output.size() < 40) return;
           sent = true;
           o.AddInput(hex(Zm::ZRPOS), TickSource::Now() + 1);
           repeat(o, "\x11", 5, 8000, false);
         };
       }},
      {"XModem receiver, block bytes 3.5 s apart", kXReceive,
       [&](FakeComLink& l) {
         l.AddInput("\x01\x01\xfe", TickSource::Now() + 5);
         repeat(l, "d", 3500, 40, false);
       }},
      {"ACK/NAK receiver, line bytes 0.9 s apart", kAReceive, [&](FakeComLink& l) { repeat(l, "a", 900, 100, false); }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    FakeClock clock;
    FakeComLink link;
    Polling status;
    status.cancelAt = TickSource::Now() + 20000;
    MemoryDisk disk = {{"f.bin", std::vector<uint8_t>(300000, 'f')}};
    MemoryFile file(disk);
    r.feed(link);
    const int32_t code = r.engine == kXReceive   ? RunOnFile<XModem>(&link, file, status, nullptr, "in.bin")
                         : r.engine == kAReceive ? RunOnFile<AckNak>(&link, file, status, nullptr, "in.bin")
                                                 : RunOnFile<ZModem>(&link, file, status,
                                                                     r.engine == kZSend ? "f.bin" : nullptr, nullptr);
    EXPECT_EQ(TransferCode::UserCancelled, code);
    EXPECT_LE(status.longest, 1000u + link.idleStepMs);
    // The cancel goes out (twice, from CheckAbort and the run's end), each time with a pause
    // and a bounded drain of what the peer still sends.
    EXPECT_LE(TickSource::Now() - status.cancelAt, 10000u);
  }
}

}  // namespace
