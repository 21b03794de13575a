#include "transfer/XModem.h"
#include "transfer/XModem1K.h"
#include "transfer/YModem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/TickSource.h"
#include "transfer/BlockCheck.h"
#include "fakes/MemoryFile.h"
#include "fakes/TestData.h"
#include "transfer/EngineRuns.h"

namespace {
using Bytes = std::vector<uint8_t>;
constexpr uint8_t SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18, BS = 0x08;

Bytes Random(size_t n, uint32_t seed) {
  const std::string s = RandomBytes(n, seed);
  return Bytes(s.begin(), s.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// One block as a sender puts it on the line; data is padded with 0x00 to 128 (or 1024) bytes.
Bytes Block(uint8_t number, Bytes data, bool crc, size_t size = 128) {
  data.resize(size, 0x00);
  const uint32_t check = crc ? Crc16Check().Compute(data.data(), data.size(), 0)
                             : BlockCheck().Compute(data.data(), data.size(), 0);
  Bytes b = Cat({{size == 128 ? SOH : STX, number, static_cast<uint8_t>(255 - number)}, data});
  if (crc) b.push_back(static_cast<uint8_t>(check >> 8));
  b.push_back(static_cast<uint8_t>(check));
  return b;
}

const Bytes kCancel = Cat({Bytes(10, CAN), Bytes(10, BS), {CAN}});

struct Options {
  int32_t maxErrors = 5;  // -1: leave the engine's default
  int32_t overwrite = 0;
  long writeRoom = -1;
};

// Our engine over a link: sends "out.bin" (behind a name that does not exist) or receives "in.bin".
int32_t RunEngine(ComLink* link, MemoryDisk& disk, RecordingStatus& status, bool sending, const Options& setup) {
  MemoryFile file(disk);
  file.writeRoom = setup.writeRoom;
  return RunOnFile<XModem>(link, file, status, sending ? "missing.bin;out.bin" : nullptr, "in.bin", [&](XModem& x) {
    if (setup.maxErrors >= 0) x.SetMaxErrors(setup.maxErrors);
    x.SetOverwrite(setup.overwrite);
  });
}

// The file arrives padded with 0x00 to whole blocks (XModem-1K: the last 952 bytes are more than
// seven short blocks' worth, so the same length), with YModem as it was sent. XModem cannot
// always recover (a NAK turned into ACK skips a block): on a bad line what matters is that both
// sides end, with their codes.
TEST(XModemPair, CleanAndSeededFaultyLines) {
  PairRuns p;
  p.sent = p.received = Random(3000, 99);
  p.received.resize(3072, 0x00);
  p.toReceiver.flip = 0.0004;
  p.toReceiver.drop = p.toReceiver.insert = 0.0002;
  p.toReceiver.burst = 0.0001;
  p.toReceiver.burstLength = 20;
  p.toSender.flip = p.toSender.drop = 0.005;
  p.seeds = 6;
  p.atLeastClean = 4;
  p.failures = {-908, -914, -909};
  const auto setup = [](XModem& x) { x.SetMaxErrors(10); };
  ExpectPairRuns<XModem>(p, setup);
  ExpectPairRuns<XModem1K>(p, setup);
  p.received = p.sent;
  ExpectPairRuns<YModem>(p, setup);
}

// ---------------------------------------------------------------------------------------------
// The receiver against a scripted sender: every answer of the engine (C, NAK, ACK) releases the
// next step of the plan; a step is one or more chunks, each due a given time after the answer.

using Step = ScriptedPeer::Step;
Step Soon(const Bytes& b) { return {{1, b}}; }

TEST(XModemReceiver, AnswersRepairsAndFailuresAgainstAScriptedSender) {
  const Bytes one = Random(128, 1), two = Random(128, 2), three = Random(128, 3);
  const Bytes b1 = Block(1, one, true), b2 = Block(2, two, true), b3 = Block(3, three, true);
  Bytes badCheck = b2, badComplement = b2, badCheck3 = b3;
  badCheck.back() ^= 1;
  badComplement[2] = 0x00;
  badCheck3.back() ^= 1;
  const Step eot = Soon({EOT});
  const Bytes oneTwo = Cat({one, two}), old = {1, 2, 3};
  struct Row {
    const char* name;
    Options setup;
    std::vector<Step> plan;
    int32_t code;
    const char* answers;  // up to the cancel sequence; A ACK, N NAK
    int32_t errors, retries;
    Bytes file, existing = {};
    bool checksumSender = false;  // deaf to C: only a NAK starts it
  };
  const Row rows[] = {
      {"bad check", {}, {Soon(b1), Soon(badCheck), Soon(b2), eot}, 0, "CANAA", 1, 0, oneTwo},
      {"bad complement", {}, {Soon(b1), Soon(badComplement), Soon(b2), eot}, 0, "CANAA", 1, 0, oneTwo},
      {"wrong number", {}, {Soon(b1), Soon(Block(7, two, true)), Soon(b2), eot}, 0, "CANAA", 1, 0, oneTwo},
      // Cut short: the data time-out, a second of quiet, then NAK.
      {"truncated", {}, {Soon(b1), Soon(Bytes(b2.begin(), b2.begin() + 60)), Soon(b2), eot}, 0, "CANAA", 1, 0, oneTwo},
      // A header byte that starts nothing: dropped unanswered; the sender repeats on its own.
      {"garbage", {}, {Soon(b1), {{1, {'x', 'y', 'z'}}, {12000, b2}}, eot}, 0, "CAAA", 1, 0, oneTwo},
      // Our ACK was lost: the sender repeats the block, which is acknowledged, not written twice.
      {"repeated block", {}, {Soon(b1), Soon(b1), Soon(b2), eot}, 0, "CAAAA", 1, 0, oneTwo},
      {"errors between good blocks do not add up", {2},
       {Soon(b1), Soon(badCheck), Soon(b2), Soon(badCheck3), Soon(b3), eot}, 0, "CANANAA", 2, 0, Cat({oneTwo, three})},
      // The partial file stays.
      {"consecutive errors reach the limit", {3}, {Soon(b1), Soon(badCheck), Soon(badCheck), Soon(badCheck), Soon(b2)},
       -908, "CANNN", 3, 3, one},
      {"no limit set: the first bad block ends", {-1}, {Soon(b1), Soon(badCheck)}, -908, "CAN", 1, 1, one},
      {"cancel from the sender", {}, {Soon(b1), Soon({CAN, CAN})}, -914, "CA", 0, 0, one},
      {"checksum-only sender met after the fourth C", {}, {Soon(Block(1, one, false)), eot}, 0, "CCCCNAA", 0, 0, one,
       {}, true},
      {"existing file refused", {}, {}, -939, "", 0, 0, old, old},
      {"existing file overwritten", {5, 1}, {Soon(b1), eot}, 0, "CAA", 0, 0, one, old},
      {"a failed replacement keeps the old file", {5, 1}, {Soon(b1), Soon({CAN, CAN})}, -914, "CA", 0, 0, old, old},
      {"short write", {5, 0, 100}, {Soon(b1)}, -904, "C", 0, 0, Bytes(one.begin(), one.begin() + 100)},
      {"a 1 KiB block from an XModem-1K sender", {}, {Soon(Block(1, Random(1024, 4), true, 1024)), eot}, 0, "CAA", 0,
       0, Random(1024, 4)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ScriptedPeer sender(r.plan, [&](const Bytes& out, size_t i) {
      return (out[i] == 'C' && !r.checksumSender) || out[i] == NAK || out[i] == ACK;
    });
    FakeComLink& line = sender.line;
    MemoryDisk disk;
    if (!r.existing.empty()) disk["in.bin"] = r.existing;
    RecordingStatus status;
    EXPECT_EQ(r.code, RunEngine(&line, disk, status, false, r.setup));
    std::string answers;
    for (size_t i = 0; i < line.output.size() && line.output[i] != CAN; ++i)
      answers += line.output[i] == ACK ? 'A' : line.output[i] == NAK ? 'N' : static_cast<char>(line.output[i]);
    EXPECT_EQ(r.answers, answers);
    EXPECT_EQ(r.errors, status.errors);
    EXPECT_EQ(r.retries, status.retries);
    EXPECT_EQ(r.file, disk["in.bin"]);
    EXPECT_EQ(r.code == 0 ? -804 : r.code, status.Last());
    // A failed run ends with the cancel sequence and nothing else after the last answer.
    const Bytes rest(line.output.begin() + static_cast<long>(answers.size()), line.output.end());
    EXPECT_EQ(r.code == 0 ? Bytes{} : kCancel, rest);
    if (r.code == 0) {
      EXPECT_EQ(r.checksumSender ? 1 : 3, status.checkType);
      // Two silent one-second header reads between start requests.
      if (r.checksumSender) {
        EXPECT_EQ(8000u, sender.times.at(4) - sender.times.at(0));
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The sender against a scripted receiver that reads whole blocks off the line and answers each
// one (or EOT) with the next entry of its plan; an empty entry stays silent.

TEST(XModemSender, WireAndCodesAgainstAScriptedReceiver) {
  const Bytes d128 = Random(128, 7), d130 = Random(130, 5), d300 = Random(300, 9), d640 = Random(640, 8);
  auto block = [](const Bytes& d, uint8_t n) {
    return Block(n, Bytes(d.begin() + (n - 1) * 128, d.begin() + std::min<long>(n * 128, d.size())), true);
  };
  const Bytes b1 = block(d128, 1), withoutLast = Bytes(kCancel.begin(), kCancel.end() - 1);
  struct Row {
    const char* name;
    Bytes data;
    Bytes start;  // what the receiver sends first
    std::vector<Bytes> answers;
    int32_t code;
    Bytes wire;
    int32_t errors = 0;
    Options setup = {};
    int32_t cancelAfterQueries = 0;
    bool waiting = false;  // the start is already waiting when the run begins
  };
  const Row rows[] = {
      // The first EOT refused (as many receivers do on purpose) costs no error.
      {"CRC blocks with zero padding", d130, {'C'}, {{ACK}, {ACK}, {NAK}, {ACK}}, 0,
       Cat({block(d130, 1), block(d130, 2), {EOT}, {EOT}})},
      {"NAK start: checksum mode", d128, {NAK}, {{ACK}, {ACK}}, 0, Cat({Block(1, d128, false), {EOT}})},
      // A receiver started first has asked already: answered at once, the stale bytes dropped.
      {"a start request waiting", d130, {'x', NAK, 'y', 'C'}, {{ACK}, {ACK}, {ACK}}, 0,
       Cat({block(d130, 1), block(d130, 2), {EOT}}), 0, {}, 0, true},
      {"NAK, garbage and silence resend", d128, {'C'}, {{NAK}, {'z', 'z'}, {}, {ACK}, {ACK}}, 0,
       Cat({b1, b1, b1, b1, {EOT}}), 3},
      {"all errors of the file count toward the limit", d640, {'C'}, {{NAK}, {ACK}, {NAK}, {ACK}, {NAK}, {ACK}}, -908,
       Cat({block(d640, 1), block(d640, 1), block(d640, 2), block(d640, 2), block(d640, 3), kCancel}), 3, {3}},
      {"cancel", d300, {'C'}, {{ACK}, {CAN, CAN}}, -914, Cat({block(d300, 1), block(d300, 2), kCancel})},
      {"cancel instead of start", d300, {CAN}, {}, -914, kCancel},
      // The cancel goes out from CheckAbort and again at the end of the run.
      {"host cancel while waiting", d300, {}, {}, -901, Cat({withoutLast, withoutLast, {CAN}}), 0, {}, 5},
      {"empty file", {}, {}, {}, -903, kCancel},
      {"no file of the list exists", {}, {}, {}, -926, {CAN}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<Step> answers;
    for (const Bytes& a : r.answers) answers.push_back(a.empty() ? Step{} : Soon(a));
    // Each whole block and each EOT is answered.
    size_t blockEnd = 0;
    const size_t blockSize = r.start == Bytes{NAK} ? 132 : 133;
    ScriptedPeer receiver(answers, [&](const Bytes& out, size_t i) {
      if (i >= blockEnd && out[i] == SOH) blockEnd = i + blockSize;
      return i + 1 == blockEnd || (i >= blockEnd && out[i] == EOT);
    });
    FakeComLink& line = receiver.line;
    line.AddInput(r.start, TickSource::Now() + (r.waiting ? 0 : 5));
    MemoryDisk disk;
    if (r.code != -926) disk["out.bin"] = r.data;
    RecordingStatus status;
    status.cancelAfterQueries = r.cancelAfterQueries;
    const uint32_t start = TickSource::Now();
    EXPECT_EQ(r.code, RunEngine(&line, disk, status, true, r.setup));
    EXPECT_EQ(r.wire, line.output);
    EXPECT_EQ(r.errors, status.errors);
    EXPECT_EQ(0, status.retries);
    EXPECT_EQ(r.code == 0 ? -804 : r.code, status.Last());
    EXPECT_EQ(r.code == -926 ? 0 : 1, status.filesDone);
    if (r.waiting) {
      EXPECT_EQ(start, receiver.times.at(0));  // the first block
    }
    if (r.code == 0) {
      EXPECT_EQ(static_cast<int32_t>(r.data.size()), status.bytesDone);
      EXPECT_EQ(static_cast<int32_t>(r.data.size()), status.fileSize);
      EXPECT_EQ(r.start.back() == 'C' ? 3 : 1, status.checkType);
    }
    // With nothing to send the sender never waits for a start request: only the cancel's pause.
    if (r.data.empty()) {
      EXPECT_LT(TickSource::Now() - start, 1500u);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// YModem: block 0 with the name, length and time before each file, an empty one at the end.

Bytes Header(const std::string& info) { return Block(0, Bytes(info.begin(), info.end()), true); }

// The receiver against a scripted sender: each answer (C, ACK, NAK) releases the next step.
TEST(YModemReceiver, BatchesWithRefusedFilesShortFilesAndTheExistingFileRules) {
  using namespace std::string_literals;
  const Bytes d300 = Random(300, 3), old = {'o', 'l', 'd'}, long1 = Block(1, d300, true, 1024), end = Header("");
  // A file: its header, then (after our ACK and C) its blocks, its EOT, and silence after our ACK.
  auto announce = [](const std::string& info, std::vector<Bytes> blocks) {
    std::vector<Step> steps = {Soon(Header(info)), {}};
    for (const Bytes& b : blocks) steps.push_back(Soon(b));
    steps.insert(steps.end(), {Soon({EOT}), {}});
    return steps;
  };
  const std::vector<Step> a300 = announce("a.bin\0" "300 12334447000 0"s, {long1});
  struct Row {
    const char* name;
    int32_t management;
    std::vector<std::vector<Step>> files;
    int32_t code;
    std::vector<int32_t> events;
    MemoryDisk after;
  };
  const Row rows[] = {
      {"the announced length, not the padding; stamped; appended under rule 3", 3,
       {a300, announce("e.bin\0" "0"s, {}), announce("old.bin\0" "300"s, {long1}), {Soon(end)}}, 0, {-804, -804, -804},
       {{"a.bin", d300}, {"e.bin", {}}, {"old.bin", Cat({old, d300})}}},
      {"refused and skipped files are taken into nothing", 7,
       {announce("CON\0" "300"s, {long1}), announce("LPT\xC2\xB3\0" "300"s, {long1}), announce("../up\0" "300"s, {}),
        announce("/abs\0" "300"s, {}), announce("big.bin\0" "5000000000"s, {long1}), announce(std::string(128, 'x'), {long1}),
        announce("old.bin\0" "300"s, {long1}), a300, {Soon(end)}},
       0, {-933, -933, -933, -933, -941, -933, -939, -804}, {{"a.bin", d300}, {"old.bin", old}}},
      // The first EOT is refused as perhaps a damaged header; the second ends a short file.
      {"shorter than announced", 7, {{Soon(Header("a.bin\0" "2000"s)), {}, Soon(long1), Soon({EOT}), Soon({EOT})}},
       -940, {-940}, {{"a.bin", Cat({d300, Bytes(724, 0)})}, {"old.bin", old}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<Step> plan;
    for (const auto& f : r.files) plan.insert(plan.end(), f.begin(), f.end());
    ScriptedPeer sender(plan, [](const Bytes& o, size_t i) { return o[i] == 'C' || o[i] == NAK || o[i] == ACK; });
    MemoryDisk disk = {{"old.bin", old}};
    MemoryFile file(disk);
    RecordingStatus status;
    const auto setup = [&](YModem& y) { y.SetManagement(r.management), y.SetPathMode(1); };
    EXPECT_EQ(r.code, RunOnFile<YModem>(&sender.line, file, status, nullptr, nullptr, setup));
    EXPECT_EQ(r.events, status.events);
    EXPECT_EQ(r.after, disk);
    EXPECT_EQ(r.code == 0, file.stamped.count("a.bin") == 1);
  }
}

// The sender against a scripted receiver that answers each whole block or EOT with the next step.
TEST(YModemSender, BatchInLongAndShortBlocksAndStreamingWhenAsked) {
  using namespace std::string_literals;
  const Bytes d1100 = Random(1100, 6);
  const Bytes batch =
      Cat({Header("out.bin\0" "1100 13132027400 0"s), Block(1, Bytes(d1100.begin(), d1100.begin() + 1024), true, 1024),
           Block(2, Bytes(d1100.begin() + 1024, d1100.end()), true), {EOT}, Header("two.bin\0" "0 13132027400 0"s),
           {EOT}, Header("")});
  const long firstEot = 133 + 1029 + 133 + 1;
  const Bytes ackC = {ACK, 'C'}, g = {'G'}, ackG = {ACK, 'G'};
  struct Row {
    const char* name;
    Bytes start;
    std::vector<Bytes> answers;
    int32_t code;
    Bytes wire;
    uint32_t delay = 1;  // of each answer, after the block
  };
  const Row rows[] = {
      {"acknowledged", {'C'}, {ackC, {ACK}, {ACK}, ackC, ackC, ackC, {ACK}}, 0, batch},
      {"acknowledged over a line that paces bytes", {'C'}, {ackC, {ACK}, {ACK}, ackC, ackC, ackC, {ACK}}, 0, batch, 20},
      {"streaming", {'G'}, {g, {}, {}, ackG, g, ackG}, 0, batch},
      {"cancelled while streaming", {'G'}, {g, {CAN, CAN}}, -914,
       Cat({Bytes(batch.begin(), batch.begin() + firstEot), kCancel})},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<Step> answers;
    for (const Bytes& a : r.answers) answers.push_back(a.empty() ? Step{} : Step{{r.delay, a}});
    size_t blockEnd = 0;
    ScriptedPeer receiver(answers, [&](const Bytes& out, size_t i) {
      if (i >= blockEnd && (out[i] == SOH || out[i] == STX)) blockEnd = i + (out[i] == SOH ? 133 : 1029);
      return i + 1 == blockEnd || (i >= blockEnd && out[i] == EOT);
    });
    receiver.line.AddInput(r.start, TickSource::Now() + 5);
    MemoryDisk disk = {{"out.bin", d1100}, {"two.bin", {}}};
    MemoryFile file(disk);
    RecordingStatus status;
    EXPECT_EQ(r.code, RunOnFile<YModem>(&receiver.line, file, status, "out.bin;two.bin", nullptr));
    EXPECT_EQ(r.wire, receiver.line.output);
    EXPECT_EQ(0, status.errors);
    // The first data block waits out a receiver that purges its input right after its answer, and
    // on a paced line the next one too.
    EXPECT_GE(receiver.times.at(133) - receiver.times.at(132), r.delay + 1);
    if (r.delay > 1) {
      EXPECT_GE(receiver.times.at(133 + 1029) - receiver.times.at(133 + 1028), r.delay + 1);
    }
  }
}
}  // namespace
