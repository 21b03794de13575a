#include "transfer/AckNak.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fakes/NullModem.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
#include "transfer/MemoryFile.h"
#include "transfer/RecordingStatus.h"

namespace {
using Bytes = std::vector<uint8_t>;
constexpr uint8_t ACK = 0x06, BEL = 0x07, NAK = 0x15, SUB = 0x1A, CR = 0x0D;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A line as the sender puts it on the wire: text, then its 8-bit sum.
Bytes Line(const std::string& text) {
  Bytes b = B(text);
  uint8_t sum = 0;
  for (uint8_t c : b) sum = static_cast<uint8_t>(sum + c);
  b.push_back(sum);
  return b;
}

// ---------------------------------------------------------------------------------------------
// The sender against a scripted receiver that cuts the wire into lines (text up to CR, then the
// sum byte) and answers each with the next entry of its plan.

class AckNakSender : public ::testing::Test {
 protected:
  void SetUp() override {
    line.onOutput = [this](FakeComLink& l) {
      while (seen < l.output.size()) {
        const uint8_t b = l.output[seen++];
        current.push_back(b);
        if (afterCr) {
          lines.push_back(current);
          current.clear();
          afterCr = false;
          const uint8_t a = answers.empty() ? ACK : answers.front();
          if (!answers.empty()) answers.pop_front();
          if (a != 0) l.AddInput(Bytes{a}, TickSource::Now() + 1);
        } else if (b == CR) {
          afterCr = true;
        }
      }
    };
  }
  int32_t Send(const std::string& text, int32_t maxErrors = 0) {
    disk["out.txt"] = B(text);
    SerialPort port(&line);
    MemoryFile file(disk);
    AckNak engine(&port, &status);
    engine.SetFile(&file);
    engine.SetMaxErrors(maxErrors);
    char list[] = "out.txt";
    const int32_t code = engine.Send(list);
    EXPECT_FALSE(file.open);
    return code;
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const Bytes& l : lines) out.push_back(S(l));
    return out;
  }

  FakeClock clock{1000};
  FakeComLink line;
  RecordingStatus status;
  MemoryDisk disk;
  std::deque<uint8_t> answers;  // 0: stay silent
  std::vector<Bytes> lines;
  Bytes current;
  size_t seen = 0;
  bool afterCr = false;
};

TEST_F(AckNakSender, LinesOnTheWire) {
  struct Case {
    const char* name;
    std::string file;
    std::vector<std::string> wire;
  };
  const Case cases[] = {
      {"no final line end", "ab\r\ncd", {S(Line("ab\r")), S(Line("cd\x1A\r"))}},
      {"final CR LF", "ab\r\ncd\r\n", {S(Line("ab\r")), S(Line("cd\r")), S(Line("\x1A\r"))}},
      {"empty file", "", {S(Line("\x1A\r"))}},
      {"bare LF dropped, bare CR ends a line", "a\nb\rc", {S(Line("ab\r")), S(Line("c\x1A\r"))}},
      {"SUB inside the file ends it", "ab\x1A" "cd\r\n", {S(Line("ab\x1A\r"))}},
      {"127 characters and CR", std::string(127, 'x') + "\r\n", {S(Line(std::string(127, 'x') + "\r")), S(Line("\x1A\r"))}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line.output.clear();
    lines.clear();
    seen = 0;
    EXPECT_EQ(0, Send(c.file));
    EXPECT_EQ(c.wire, Lines());
    EXPECT_EQ(-804, status.Last());
  }
}

TEST_F(AckNakSender, LineTooLongEnds936BeforeItIsSent) {
  EXPECT_EQ(-936, Send("ok\r\n" + std::string(128, 'x') + "\r\n"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(S(Line("ok\r")), S(lines[0]));
  EXPECT_EQ(Line("ok\r").size() + 3, line.output.size());
  // The cancel of the ACK/NAK protocol follows the one good line.
  const Bytes tail(line.output.end() - 3, line.output.end());
  EXPECT_EQ((Bytes{CR, BEL, BEL}), tail);
  // 126 characters plus SUB CR is the longest last line.
  line.output.clear();
  lines.clear();
  seen = 0;
  EXPECT_EQ(0, Send(std::string(126, 'y')));
  line.output.clear();
  lines.clear();
  seen = 0;
  EXPECT_EQ(-936, Send(std::string(127, 'y')));
}

TEST_F(AckNakSender, NakGarbageAndSilenceResendTheLine) {
  answers = {NAK, 'q', ACK, ACK};
  EXPECT_EQ(0, Send("ab\r\n"));
  EXPECT_EQ((std::vector<std::string>{S(Line("ab\r")), S(Line("ab\r")), S(Line("ab\r")), S(Line("\x1A\r"))}),
            Lines());
  EXPECT_EQ(2, status.errors);
}

TEST_F(AckNakSender, AllErrorsOfTheFileCountTowardTheLimit) {
  answers = {NAK, ACK, NAK, ACK, NAK, ACK};
  EXPECT_EQ(-908, Send("1\r\n2\r\n3\r\n4\r\n", 3));
  EXPECT_EQ(3, status.errors);
}

TEST_F(AckNakSender, BelWhileWaitingIsARemoteCancel) {
  answers = {ACK, BEL};
  EXPECT_EQ(-914, Send("1\r\n2\r\n3\r\n"));
  EXPECT_EQ(-914, status.Last());
}

TEST_F(AckNakSender, ListWithoutAnExistingFileEnds926) {
  SerialPort port(&line);
  MemoryFile file(disk);
  AckNak engine(&port, &status);
  engine.SetFile(&file);
  char list[] = "nothing.txt";
  EXPECT_EQ(-926, engine.Send(list));
  EXPECT_TRUE(line.output.empty());
}

// ---------------------------------------------------------------------------------------------
// The receiver against a scripted sender: the first line waits on the line from the start, and
// each answer of the engine releases the next entry of the plan (an empty one stays silent).

class AckNakReceiver : public ::testing::Test {
 protected:
  void SetUp() override {
    line.onOutput = [this](FakeComLink& l) {
      while (seen < l.output.size()) {
        const uint8_t b = l.output[seen++];
        answerTimes.push_back(TickSource::Now());
        if ((b != ACK && b != NAK) || plan.empty()) continue;
        if (!plan.front().empty()) l.AddInput(plan.front(), TickSource::Now() + 1);
        plan.pop_front();
      }
    };
  }
  int32_t Receive(int32_t existing = AckNak::kRefuse, int32_t maxErrors = 0) {
    if (!plan.empty()) {
      line.AddInput(plan.front(), TickSource::Now() + 5);
      plan.pop_front();
    }
    SerialPort port(&line);
    MemoryFile file(disk);
    AckNak engine(&port, &status);
    engine.SetFile(&file);
    engine.SetExistingFile(existing);
    engine.SetMaxErrors(maxErrors);
    char name[] = "in.txt";
    const int32_t code = engine.Receive(name);
    EXPECT_FALSE(file.open);
    mode = file.lastMode;
    return code;
  }
  std::string Answers() const {
    std::string s;
    for (uint8_t b : line.output) s += b == ACK ? 'A' : b == NAK ? 'N' : b == BEL ? 'G' : b == CR ? 'R' : '?';
    return s;
  }

  FakeClock clock{1000};
  FakeComLink line;
  RecordingStatus status;
  MemoryDisk disk;
  std::deque<Bytes> plan;
  std::vector<uint32_t> answerTimes;
  std::string mode;
  size_t seen = 0;
};

TEST_F(AckNakReceiver, WritesCrLfLineEndsAndRingsAfterTheLastLine) {
  plan = {Line("ab\r"), Line("\r"), Line("cd\x1A\r")};
  EXPECT_EQ(0, Receive());
  EXPECT_EQ("ab\r\n\r\ncd", S(disk["in.txt"]));
  EXPECT_EQ("AAAG", Answers());
  EXPECT_EQ(8, status.bytesDone);
}

TEST_F(AckNakReceiver, LastLineOfSubCrAloneWritesNothing) {
  plan = {Line("\x1A\r")};
  EXPECT_EQ(0, Receive());
  EXPECT_TRUE(disk["in.txt"].empty());
  EXPECT_EQ("AG", Answers());
}

TEST_F(AckNakReceiver, BadOrMissingSumIsAnsweredWithNakAndCounted) {
  Bytes bad = Line("ab\r");
  bad.back() ^= 0x40;
  plan = {bad, Line("ab\r"), B("cd\r"), Line("cd\r"), Line("\x1A\r")};
  EXPECT_EQ(0, Receive(AckNak::kRefuse, 5));
  EXPECT_EQ("NANAAG", Answers());
  EXPECT_EQ(2, status.errors);
  EXPECT_EQ("ab\r\ncd\r\n", S(disk["in.txt"]));
}

TEST_F(AckNakReceiver, ConsecutiveErrorsReachTheLimit) {
  Bytes bad = Line("ab\r");
  bad.back() ^= 1;
  plan = {bad, bad, bad, Line("ab\r")};
  EXPECT_EQ(-908, Receive(AckNak::kRefuse, 3));
  EXPECT_EQ("NNNRGG", Answers());
}

TEST_F(AckNakReceiver, LineOf128BytesWithoutCrEnds936) {
  plan = {B(std::string(128, 'z') + "\r")};
  EXPECT_EQ(-936, Receive());
  EXPECT_EQ("RGG", Answers());
  // 127 characters and CR still fit.
  line.output.clear();
  seen = 0;
  disk.clear();
  plan = {Line(std::string(127, 'z') + "\r"), Line("\x1A\r")};
  EXPECT_EQ(0, Receive());
  EXPECT_EQ(std::string(127, 'z') + "\r\n", S(disk["in.txt"]));
}

TEST_F(AckNakReceiver, ExistingFileAppendReplaceOrRefuse) {
  disk["in.txt"] = B("old\r\n");
  plan = {Line("new\x1A\r")};
  EXPECT_EQ(0, Receive(AckNak::kAppend));
  EXPECT_EQ("ab", mode);
  EXPECT_EQ("old\r\nnew", S(disk["in.txt"]));

  line.output.clear();
  seen = 0;
  plan = {Line("new\x1A\r")};
  EXPECT_EQ(0, Receive(AckNak::kReplace));
  EXPECT_EQ("new", S(disk["in.txt"]));

  line.output.clear();
  seen = 0;
  plan = {Line("other\x1A\r")};
  EXPECT_EQ(-939, Receive(AckNak::kRefuse));
  EXPECT_EQ("new", S(disk["in.txt"]));
  EXPECT_EQ("RGG", Answers());  // refused before a line was answered
}

TEST_F(AckNakReceiver, SilenceIsAnsweredAfterASecondThenEveryFiveSeconds) {
  // Nothing waits at the start: NAK after one silent second brings the first line; after its
  // ACK the sender stays silent and the ACK is repeated every five seconds until the host stops.
  plan = {Line("ab\r"), Bytes{}};
  RecordingStatus quick(12000);
  SerialPort port(&line);
  MemoryFile file(disk);
  AckNak engine(&port, &quick);
  engine.SetFile(&file);
  char name[] = "in.txt";
  const uint32_t start = TickSource::Now();
  EXPECT_EQ(-909, engine.Receive(name));
  ASSERT_GE(answerTimes.size(), 4u);
  EXPECT_EQ("NAAA", Answers().substr(0, 4));
  EXPECT_NEAR(1000, static_cast<double>(answerTimes[0] - start), 20);
  EXPECT_NEAR(5000, static_cast<double>(answerTimes[2] - answerTimes[1]), 20);
  EXPECT_NEAR(5000, static_cast<double>(answerTimes[3] - answerTimes[2]), 20);
}

// ---------------------------------------------------------------------------------------------
// Engine against engine.

struct PairRun {
  int32_t sendCode = 1, recvCode = 1, sendErrors = 0, recvErrors = 0;
  std::string received;
};

PairRun RunPair(const std::string& text, uint64_t seed, const LineFaults& toReceiver, const LineFaults& toSender,
                int32_t maxErrors) {
  PairRun out;
  NullModem cable(seed);
  cable.SetFaults(toReceiver, toSender);
  MemoryDisk sendDisk{{"out.txt", B(text)}}, recvDisk;
  cable.Run(
      [&](NullModem::End& end) {
        SerialPort port(&end);
        MemoryFile file(sendDisk);
        RecordingStatus status;
        AckNak engine(&port, &status);
        engine.SetFile(&file);
        engine.SetMaxErrors(maxErrors);
        char list[] = "out.txt";
        out.sendCode = engine.Send(list);
        out.sendErrors = status.errors;
      },
      [&](NullModem::End& end) {
        SerialPort port(&end);
        MemoryFile file(recvDisk);
        RecordingStatus status;
        AckNak engine(&port, &status);
        engine.SetFile(&file);
        engine.SetMaxErrors(maxErrors);
        char name[] = "in.txt";
        out.recvCode = engine.Receive(name);
        out.recvErrors = status.errors;
      });
  out.received = S(recvDisk["in.txt"]);
  return out;
}

std::string RandomText(size_t lines, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string t;
  for (size_t i = 0; i < lines; ++i) {
    const size_t n = rng() % 100;
    for (size_t k = 0; k < n; ++k) t += static_cast<char>(' ' + rng() % 94);
    t += "\r\n";
  }
  return t;
}

TEST(AckNakPair, TextArrivesWithCrLfLineEnds) {
  const std::string text = RandomText(200, 4);
  const PairRun r = RunPair(text, 1, {}, {}, 0);
  EXPECT_EQ(0, r.sendCode);
  EXPECT_EQ(0, r.recvCode);
  EXPECT_EQ(text, r.received);
  // Bare LF line ends become CR LF only where a CR was: LF alone is dropped.
  const PairRun unix = RunPair("one\ntwo\n", 1, {}, {}, 0);
  EXPECT_EQ("onetwo", unix.received);
}

TEST(AckNakPair, SeededFaultsAreRepairedOrEndTheRunCleanly) {
  LineFaults noisy;
  noisy.flip = 0.0005;
  noisy.drop = 0.0003;
  noisy.insert = 0.0003;
  LineFaults back;
  back.flip = 0.003;
  back.drop = 0.003;
  const std::string text = RandomText(60, 7);
  int succeeded = 0, repaired = 0;
  for (uint64_t seed = 1; seed <= 10; ++seed) {
    SCOPED_TRACE(seed);
    const PairRun r = RunPair(text, seed, noisy, back, 10);
    if (r.sendCode == 0 && r.recvCode == 0) {
      ++succeeded;
      repaired += r.recvErrors + r.sendErrors;
    }
    for (int32_t c : {r.sendCode, r.recvCode})
      EXPECT_TRUE(c == 0 || c == -908 || c == -914 || c == -936 || c == -909) << c;
  }
  EXPECT_GE(succeeded, 5);
  EXPECT_GT(repaired, 0);
}
}  // namespace
