#include "transfer/XModem.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fakes/NullModem.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
#include "transfer/BlockCheck.h"
#include "transfer/MemoryFile.h"
#include "transfer/RecordingStatus.h"

namespace {
using Bytes = std::vector<uint8_t>;
constexpr uint8_t SOH = 0x01, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18, BS = 0x08;

Bytes Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

Bytes Padded(Bytes b) {
  b.resize((b.size() + 127) / 128 * 128, 0x00);
  return b;
}

// One block as a sender puts it on the line; data is padded with 0x00 to 128 bytes.
Bytes Block(uint8_t number, Bytes data, bool crc) {
  data.resize(128, 0x00);
  Bytes b = {SOH, number, static_cast<uint8_t>(255 - number)};
  b.insert(b.end(), data.begin(), data.end());
  if (crc) {
    const uint32_t v = Crc16Check().Compute(data.data(), data.size(), 0);
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
  } else {
    b.push_back(static_cast<uint8_t>(BlockCheck().Compute(data.data(), data.size(), 0)));
  }
  return b;
}

Bytes Slice(const Bytes& b, size_t from, size_t n) {
  return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(std::min(b.size(), from + n)));
}

Bytes CancelTail() {
  Bytes t(10, CAN);
  t.insert(t.end(), 10, BS);
  t.push_back(CAN);
  return t;
}

bool EndsWith(const Bytes& b, const Bytes& tail) {
  return b.size() >= tail.size() && std::equal(tail.begin(), tail.end(), b.end() - static_cast<long>(tail.size()));
}

// ---------------------------------------------------------------------------------------------
// Engine against engine over the in-memory cable.

struct PairRun {
  int32_t sendCode = 1, recvCode = 1;
  int32_t sendErrors = 0, recvErrors = 0, sendBytes = 0, recvBytes = 0;
  Bytes received;
};

PairRun RunPair(const Bytes& data, uint64_t seed, const LineFaults& toReceiver, const LineFaults& toSender,
                int32_t maxErrors) {
  PairRun out;
  NullModem cable(seed);
  cable.SetFaults(toReceiver, toSender);
  MemoryDisk sendDisk{{"out.bin", data}}, recvDisk;
  cable.Run(
      [&](NullModem::End& end) {
        SerialPort port(&end);
        MemoryFile file(sendDisk);
        RecordingStatus status;
        XModem engine(&port, &status);
        engine.SetFile(&file);
        engine.SetMaxErrors(maxErrors);
        char list[] = "out.bin";
        out.sendCode = engine.Send(list);
        out.sendErrors = status.errors;
        out.sendBytes = status.bytesDone;
        EXPECT_EQ(out.sendCode == 0 ? -804 : out.sendCode, status.Last());
      },
      [&](NullModem::End& end) {
        SerialPort port(&end);
        MemoryFile file(recvDisk);
        RecordingStatus status;
        XModem engine(&port, &status);
        engine.SetFile(&file);
        engine.SetMaxErrors(maxErrors);
        char name[] = "in.bin";
        out.recvCode = engine.Receive(name);
        out.recvErrors = status.errors;
        out.recvBytes = status.bytesDone;
        EXPECT_FALSE(file.open);
      });
  out.received = recvDisk["in.bin"];
  return out;
}

TEST(XModemPair, CleanLineEverySizeArrivesPaddedToWholeBlocks) {
  for (size_t size : {1u, 127u, 128u, 129u, 130u, 4096u, 20000u}) {
    SCOPED_TRACE(size);
    const Bytes data = Random(size, static_cast<uint32_t>(size));
    const PairRun r = RunPair(data, 1, {}, {}, 0);
    EXPECT_EQ(0, r.sendCode);
    EXPECT_EQ(0, r.recvCode);
    EXPECT_EQ(Padded(data), r.received);
    EXPECT_EQ(static_cast<int32_t>(size), r.sendBytes);
    EXPECT_EQ(static_cast<int32_t>(Padded(data).size()), r.recvBytes);
    EXPECT_EQ(0, r.sendErrors + r.recvErrors);
  }
}

TEST(XModemPair, SeededFaultsAreRepairedOrEndTheRunCleanly) {
  LineFaults noisy;
  noisy.flip = 0.0004;
  noisy.drop = 0.0002;
  noisy.insert = 0.0002;
  noisy.burst = 0.0001;
  noisy.burstLength = 20;
  LineFaults back;
  back.flip = 0.005;
  back.drop = 0.005;
  const Bytes data = Random(3000, 99);
  int succeeded = 0, repairedErrors = 0;
  for (uint64_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    const PairRun r = RunPair(data, seed, noisy, back, 10);
    if (r.recvCode == 0 && r.sendCode == 0) {
      ++succeeded;
      repairedErrors += r.recvErrors + r.sendErrors;
      EXPECT_EQ(Padded(data), r.received);
    } else {
      // XModem cannot always recover (a NAK turned into ACK skips a block): what matters is that
      // both sides end, with the codes of the design.
      for (int32_t c : {r.sendCode, r.recvCode})
        EXPECT_TRUE(c == 0 || c == -908 || c == -914 || c == -909) << c;
    }
  }
  EXPECT_GE(succeeded, 4);
  EXPECT_GT(repairedErrors, 0);
}

// ---------------------------------------------------------------------------------------------
// The receiver against a scripted sender: every answer of the engine (C, NAK, ACK) releases the
// next step of the plan; a step is one or more chunks, each due a given time after the answer.

using Step = std::vector<std::pair<uint32_t, Bytes>>;

class XModemReceiver : public ::testing::Test {
 protected:
  void SetUp() override {
    line.onOutput = [this](FakeComLink& l) {
      while (seen < l.output.size()) {
        const uint8_t b = l.output[seen++];
        const bool answer = b == 'C' || b == NAK || b == ACK;
        if (!answer || (ignoreC && b == 'C') || plan.empty()) continue;
        for (const auto& chunk : plan.front()) l.AddInput(chunk.second, TickSource::Now() + chunk.first);
        plan.pop_front();
      }
    };
  }
  void Then(const Bytes& bytes) { plan.push_back({{1, bytes}}); }

  int32_t Receive(int32_t maxErrors, bool setMax = true) {
    SerialPort port(&line);
    MemoryFile file(disk);
    XModem engine(&port, &status);
    engine.SetFile(&file);
    if (setMax) engine.SetMaxErrors(maxErrors);
    char name[] = "in.bin";
    const int32_t code = engine.Receive(name);
    EXPECT_FALSE(file.open);
    return code;
  }
  // The engine's answers up to its cancel sequence.
  std::string Answers() const {
    std::string s;
    for (uint8_t b : line.output) {
      if (b == CAN) break;
      s += b == ACK ? 'A' : b == NAK ? 'N' : static_cast<char>(b);
    }
    return s;
  }

  FakeClock clock{1000};
  FakeComLink line;
  RecordingStatus status;
  MemoryDisk disk;
  std::deque<Step> plan;
  size_t seen = 0;
  bool ignoreC = false;
  const Bytes one = Random(128, 1), two = Random(128, 2), three = Random(128, 3);
};

TEST_F(XModemReceiver, DamagedBlockIsAnsweredCountedAndRepaired) {
  struct Damage {
    const char* name;
    Step step;
    const char* answers;
  };
  Bytes badCheck = Block(2, two, true);
  badCheck.back() ^= 1;
  Bytes badComplement = Block(2, two, true);
  badComplement[2] = 0x00;
  Bytes wrongNumber = Block(7, two, true);
  const Damage damages[] = {
      {"bad check", {{1, badCheck}}, "CANAA"},
      {"bad complement", {{1, badComplement}}, "CANAA"},
      {"wrong number", {{1, wrongNumber}}, "CANAA"},
      // Cut short: the data time-out, a second of quiet, then NAK.
      {"truncated", {{1, Slice(Block(2, two, true), 0, 60)}}, "CANAA"},
      // A header byte that starts nothing: dropped unanswered; the sender repeats on its own.
      {"garbage", {{1, Bytes{'x', 'y', 'z'}}, {12000, Block(2, two, true)}}, "CAAA"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    line.output.clear();
    seen = 0;
    disk.clear();
    plan.clear();
    Then(Block(1, one, true));
    plan.push_back(d.step);
    if (std::string(d.name) != "garbage") Then(Block(2, two, true));
    Then({EOT});
    EXPECT_EQ(0, Receive(5));
    EXPECT_EQ(d.answers, Answers());
    EXPECT_EQ(1, status.errors);
    EXPECT_EQ(0, status.retries);
    Bytes both = one;
    both.insert(both.end(), two.begin(), two.end());
    EXPECT_EQ(both, disk["in.bin"]);
  }
}

TEST_F(XModemReceiver, RepeatedBlockAfterLostAckIsAcknowledgedNotWrittenTwice) {
  Then(Block(1, one, true));
  Then(Block(1, one, true));  // our ACK was lost: the sender repeats
  Then(Block(2, two, true));
  Then({EOT});
  EXPECT_EQ(0, Receive(5));
  EXPECT_EQ("CAAAA", Answers());
  EXPECT_EQ(1, status.errors);
  Bytes both = one;
  both.insert(both.end(), two.begin(), two.end());
  EXPECT_EQ(both, disk["in.bin"]);
}

TEST_F(XModemReceiver, ConsecutiveErrorsReachTheLimit) {
  Bytes bad = Block(2, two, true);
  bad.back() ^= 1;
  Then(Block(1, one, true));
  Then(bad);
  Then(bad);
  Then(bad);
  Then(Block(2, two, true));
  EXPECT_EQ(-908, Receive(3));
  EXPECT_EQ("CANNN", Answers());
  EXPECT_EQ(3, status.retries);
  EXPECT_TRUE(EndsWith(line.output, CancelTail()));
  EXPECT_EQ(one, disk["in.bin"]);  // the partial file stays
  EXPECT_EQ(-908, status.Last());
}

TEST_F(XModemReceiver, ErrorsBetweenGoodBlocksDoNotAddUp) {
  Bytes bad2 = Block(2, two, true), bad3 = Block(3, three, true);
  bad2.back() ^= 1;
  bad3.back() ^= 1;
  Then(Block(1, one, true));
  Then(bad2);
  Then(Block(2, two, true));
  Then(bad3);
  Then(Block(3, three, true));
  Then({EOT});
  EXPECT_EQ(0, Receive(2));
  EXPECT_EQ(2, status.errors);
  EXPECT_EQ("CANANAA", Answers());
}

TEST_F(XModemReceiver, WithoutAnErrorLimitTheFirstBadBlockEndsTheRun) {
  Bytes bad = Block(2, two, true);
  bad.back() ^= 1;
  Then(Block(1, one, true));
  Then(bad);
  EXPECT_EQ(-908, Receive(0, false));
  EXPECT_EQ("CAN", Answers());
}

TEST_F(XModemReceiver, CancelFromTheSenderEnds914) {
  Then(Block(1, one, true));
  Then({CAN, CAN});
  EXPECT_EQ(-914, Receive(5));
  EXPECT_EQ("CA", Answers());
  EXPECT_TRUE(EndsWith(line.output, CancelTail()));
}

TEST_F(XModemReceiver, ChecksumOnlySenderIsMetAfterTheFourthC) {
  ignoreC = true;
  Then(Block(1, one, false));
  Then({EOT});
  EXPECT_EQ(0, Receive(5));
  EXPECT_EQ("CCCCNAA", Answers());
  EXPECT_EQ(1, status.checkType);
  EXPECT_EQ(one, disk["in.bin"]);
}

TEST_F(XModemReceiver, ExistingFileNeedsOverwrite) {
  disk["in.bin"] = Bytes{1, 2, 3};
  EXPECT_EQ(-939, Receive(5));
  EXPECT_EQ((Bytes{1, 2, 3}), disk["in.bin"]);
  EXPECT_EQ("", Answers());

  line.output.clear();
  seen = 0;
  Then(Block(1, one, true));
  Then({EOT});
  SerialPort port(&line);
  MemoryFile file(disk);
  XModem engine(&port, &status);
  engine.SetFile(&file);
  engine.SetOverwrite(1);
  char name[] = "in.bin";
  EXPECT_EQ(0, engine.Receive(name));
  EXPECT_EQ(one, disk["in.bin"]);
}

TEST_F(XModemReceiver, ShortWriteEnds904) {
  Then(Block(1, one, true));
  SerialPort port(&line);
  MemoryFile file(disk);
  file.writeRoom = 100;
  XModem engine(&port, &status);
  engine.SetFile(&file);
  engine.SetMaxErrors(5);
  char name[] = "in.bin";
  EXPECT_EQ(-904, engine.Receive(name));
  EXPECT_EQ("C", Answers());
}

// ---------------------------------------------------------------------------------------------
// The sender against a scripted receiver that reads whole blocks off the line and answers each
// one (or EOT) with the next entry of its plan; an empty entry stays silent.

class XModemSender : public ::testing::Test {
 protected:
  void SetUp() override {
    line.onOutput = [this](FakeComLink& l) {
      while (true) {
        const size_t left = l.output.size() - seen;
        if (left == 0) return;
        const uint8_t first = l.output[seen];
        size_t unit = first == SOH ? 3 + 128 + (crc ? 2 : 1) : 1;
        if (left < unit) return;
        units.push_back(Slice(l.output, seen, unit));
        seen += unit;
        if (first != SOH && first != EOT) continue;
        if (answers.empty()) continue;
        const Bytes a = answers.front();
        answers.pop_front();
        if (!a.empty()) l.AddInput(a, TickSource::Now() + 1);
      }
    };
  }
  int32_t Send(const Bytes& data, Bytes start, int32_t maxErrors = 5) {
    disk["out.bin"] = data;
    crc = start == Bytes{'C'};
    line.AddInput(start, TickSource::Now() + 5);
    SerialPort port(&line);
    MemoryFile file(disk);
    XModem engine(&port, &status);
    engine.SetFile(&file);
    engine.SetMaxErrors(maxErrors);
    char list[] = "missing.bin;out.bin";
    const int32_t code = engine.Send(list);
    EXPECT_FALSE(file.open);
    return code;
  }

  FakeClock clock{1000};
  FakeComLink line;
  RecordingStatus status;
  MemoryDisk disk;
  std::deque<Bytes> answers;
  std::vector<Bytes> units;
  size_t seen = 0;
  bool crc = true;
};

TEST_F(XModemSender, CrcBlocksOnTheWireWithZeroPadding) {
  const Bytes data = Random(130, 5);
  answers = {{ACK}, {ACK}, {ACK}};
  EXPECT_EQ(0, Send(data, {'C'}));
  ASSERT_EQ(3u, units.size());
  EXPECT_EQ(Block(1, Slice(data, 0, 128), true), units[0]);
  EXPECT_EQ(Block(2, Slice(data, 128, 2), true), units[1]);
  EXPECT_EQ(0, units[1][3 + 2]);
  EXPECT_EQ(Bytes{EOT}, units[2]);
  EXPECT_EQ(130, status.bytesDone);
  EXPECT_EQ(130, status.fileSize);
  EXPECT_EQ(3, status.checkType);
  EXPECT_EQ(-804, status.Last());
}

TEST_F(XModemSender, FollowsNakIntoChecksumMode) {
  const Bytes data = Random(128, 6);
  answers = {{ACK}, {ACK}};
  EXPECT_EQ(0, Send(data, {NAK}));
  ASSERT_EQ(2u, units.size());
  EXPECT_EQ(Block(1, data, false), units[0]);
  EXPECT_EQ(1, status.checkType);
}

TEST_F(XModemSender, NakGarbageAndSilenceResendTheBlock) {
  const Bytes data = Random(128, 7);
  answers = {{NAK}, {'z', 'z'}, {}, {ACK}, {ACK}};
  EXPECT_EQ(0, Send(data, {'C'}));
  ASSERT_EQ(5u, units.size());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Block(1, data, true), units[static_cast<size_t>(i)]);
  EXPECT_EQ(3, status.errors);
}

TEST_F(XModemSender, AllErrorsOfTheFileCountTowardTheLimit) {
  const Bytes data = Random(128 * 5, 8);
  answers = {{NAK}, {ACK}, {NAK}, {ACK}, {NAK}, {ACK}};
  EXPECT_EQ(-908, Send(data, {'C'}, 3));
  EXPECT_EQ(3, status.errors);
  EXPECT_EQ(0, status.retries);
  EXPECT_TRUE(EndsWith(line.output, CancelTail()));
}

TEST_F(XModemSender, CancelEnds914) {
  answers = {{ACK}, {CAN, CAN}};
  EXPECT_EQ(-914, Send(Random(300, 9), {'C'}));
  EXPECT_TRUE(EndsWith(line.output, CancelTail()));
}

TEST_F(XModemSender, CancelInsteadOfStartEnds914) {
  EXPECT_EQ(-914, Send(Random(300, 9), {CAN}));
  EXPECT_TRUE(units.empty() || units[0][0] != SOH);
}

TEST_F(XModemSender, EmptyFileIsRefusedBeforeWaiting) {
  const uint32_t start = TickSource::Now();
  EXPECT_EQ(-903, Send({}, {}));
  EXPECT_EQ(CancelTail(), line.output);
  // Only the cancel's one-second pause passed: the sender never waited for a start request.
  EXPECT_LT(TickSource::Now() - start, 1500u);
  EXPECT_EQ(1, status.filesDone);
}

TEST_F(XModemSender, ListWithoutAnExistingFileEnds926) {
  SerialPort port(&line);
  MemoryFile file(disk);
  XModem engine(&port, &status);
  engine.SetFile(&file);
  char list[] = "a.bin;b.bin";
  EXPECT_EQ(-926, engine.Send(list));
  EXPECT_EQ(Bytes{CAN}, line.output);
  EXPECT_EQ(-926, status.Last());
}

TEST_F(XModemSender, HostCancelStopsTheWaitWith901) {
  status.cancelAfterQueries = 5;
  EXPECT_EQ(-901, Send(Random(300, 9), {}));
  EXPECT_EQ(-901, status.Last());
  // The cancel goes out from CheckAbort and again at the end of the run.
  Bytes twice = CancelTail();
  twice.pop_back();
  Bytes expected = twice;
  expected.insert(expected.end(), twice.begin(), twice.end());
  expected.push_back(CAN);
  EXPECT_EQ(expected, line.output);
}
}  // namespace
