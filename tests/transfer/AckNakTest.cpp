#include "transfer/AckNak.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "link/TickSource.h"
#include "fakes/MemoryFile.h"
#include "transfer/EngineRuns.h"

namespace {
using Bytes = std::vector<uint8_t>;
constexpr uint8_t ACK = 0x06, NAK = 0x15, CR = 0x0D;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A line as the sender puts it on the wire: text, then its 8-bit sum.
std::string Line(const std::string& text) {
  uint8_t sum = 0;
  for (char c : text) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  return text + static_cast<char>(sum);
}

// Our engine over a link: sends "out.txt" or receives "in.txt"; returns its code and the mode the
// file was opened with.
int32_t RunEngine(ComLink* link, MemoryDisk& disk, RecordingStatus& status, bool sending, int32_t maxErrors,
                  int32_t existing = AckNak::kRefuse, std::string* mode = nullptr) {
  MemoryFile file(disk);
  const int32_t code = RunOnFile<AckNak>(link, file, status, sending ? "out.txt" : nullptr, "in.txt", [&](AckNak& a) {
    a.SetMaxErrors(maxErrors);
    a.SetExistingFile(existing);
  });
  if (mode) *mode = file.lastMode;
  return code;
}

// ---------------------------------------------------------------------------------------------
// The sender against a scripted receiver that cuts the wire into lines (text up to CR, then the
// sum byte) and answers each with the next entry of its plan (ACK once it runs out; 0 is silence).

TEST(AckNakSender, WireAndCodesAgainstAScriptedReceiver) {
  const std::string x127(127, 'x'), y126(126, 'y'), cancel = "\r\a\a";
  struct Row {
    const char* name;
    std::string file;
    std::string wire;
    int32_t code = 0;
    std::vector<uint8_t> answers = {};
    int32_t errors = 0, maxErrors = 0;
  };
  const Row rows[] = {
      {"no final line end", "ab\r\ncd", Line("ab\r") + Line("cd\x1A\r")},
      {"final CR LF", "ab\r\ncd\r\n", Line("ab\r") + Line("cd\r") + Line("\x1A\r")},
      {"empty file", "", Line("\x1A\r")},
      {"bare LF dropped, bare CR ends a line", "a\nb\rc", Line("ab\r") + Line("c\x1A\r")},
      {"SUB inside the file ends it", "ab\x1A" "cd\r\n", Line("ab\x1A\r")},
      {"127 characters and CR", x127 + "\r\n", Line(x127 + "\r") + Line("\x1A\r")},
      {"126 characters plus SUB CR is the longest last line", y126, Line(y126 + "\x1A\r")},
      // Refused before it is sent; the cancel of the protocol follows the good lines.
      {"line too long", "ok\r\n" + std::string(128, 'x') + "\r\n", Line("ok\r") + cancel, -936},
      {"last line too long", y126 + "y", cancel, -936},
      {"NAK, garbage and silence resend", "ab\r\n", Line("ab\r") + Line("ab\r") + Line("ab\r") + Line("\x1A\r"), 0,
       {NAK, 'q', ACK, ACK}, 2},
      {"all errors of the file count toward the limit", "1\r\n2\r\n3\r\n4\r\n",
       Line("1\r") + Line("1\r") + Line("2\r") + Line("2\r") + Line("3\r") + cancel, -908,
       {NAK, ACK, NAK, ACK, NAK, ACK}, 3, 3},
      {"BEL while waiting is a remote cancel", "1\r\n2\r\n3\r\n", Line("1\r") + Line("2\r") + cancel, -914, {ACK, '\a'}},
      {"no file of the list exists", "", "", -926},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<ScriptedPeer::Step> answers;
    for (uint8_t a : r.answers) answers.push_back(a == 0 ? ScriptedPeer::Step{} : ScriptedPeer::Step{{1, {a}}});
    answers.resize(answers.size() + 16, {{1, {ACK}}});
    ScriptedPeer receiver(answers, [afterCr = false](const Bytes& out, size_t i) mutable {
      const bool sum = afterCr;
      afterCr = !sum && out[i] == CR;
      return sum;
    });
    FakeComLink& line = receiver.line;
    MemoryDisk disk;
    if (r.code != -926) disk["out.txt"] = B(r.file);
    RecordingStatus status;
    EXPECT_EQ(r.code, RunEngine(&line, disk, status, true, r.maxErrors));
    EXPECT_EQ(r.wire, S(line.output));
    EXPECT_EQ(r.errors, status.errors);
    EXPECT_EQ(r.code == 0 ? -804 : r.code, status.Last());
  }
}

// ---------------------------------------------------------------------------------------------
// The receiver against a scripted sender: the first entry of the plan waits on the line from the
// start, and each ACK or NAK of the engine releases the next (an empty one stays silent).

struct ScriptedSender : ScriptedPeer {
  explicit ScriptedSender(const std::deque<std::string>& lines)
      : ScriptedPeer(Steps(lines), [](const Bytes& out, size_t i) { return out[i] == ACK || out[i] == NAK; }) {
    Next();
  }
  static std::vector<Step> Steps(const std::deque<std::string>& lines) {
    std::vector<Step> steps;
    for (const std::string& s : lines) steps.push_back(s.empty() ? Step{} : Step{{steps.empty() ? 5u : 1u, B(s)}});
    return steps;
  }
  // The engine's output: A ACK, N NAK, G BEL, R CR.
  std::string Answers() const {
    std::string s;
    for (uint8_t b : line.output) s += b == ACK ? 'A' : b == NAK ? 'N' : b == '\a' ? 'G' : b == CR ? 'R' : '?';
    return s;
  }
};

TEST(AckNakReceiver, AnswersFileAndCodesAgainstAScriptedSender) {
  std::string badSum = Line("ab\r");
  badSum.back() ^= 1;
  const std::string z127(127, 'z');
  struct Row {
    const char* name;
    std::deque<std::string> plan;
    int32_t code;
    const char* answers;
    std::string file;
    int32_t errors = 0, maxErrors = 0;
    int32_t existing = AckNak::kRefuse;
    const char* before = nullptr;  // the file already there
  };
  const Row rows[] = {
      // Lines are written with CR LF; BEL follows the ACK of the last one.
      {"lines", {Line("ab\r"), Line("\r"), Line("cd\x1A\r")}, 0, "AAAG", "ab\r\n\r\ncd"},
      {"SUB CR alone writes nothing", {Line("\x1A\r")}, 0, "AG", ""},
      {"SUB inside a line ends the file there", {Line("ab\x1A" "cd\r")}, 0, "AG", "ab"},
      // The sender's cancel (CR BEL BEL) ends the run at once.
      {"cancel from the sender", {Line("ab\r"), "\r\a\a"}, -914, "ARGG", "ab\r\n"},
      {"a failed replacement keeps the old file", {Line("new\r"), "\r\a\a"}, -914, "ARGG", "old\r\n", 0, 0,
       AckNak::kReplace, "old\r\n"},
      // NAK at once, then the purge, which eats the line sent again; after five silent seconds
      // the NAK is repeated.
      {"bad or missing sum", {badSum, Line("ab\r"), "cd\r", Line("cd\r"), Line("cd\r"), Line("\x1A\r")}, 0,
       "NANNAAG", "ab\r\ncd\r\n", 2, 5},
      // A line that stops half-way is asked for again: an ACK would lose it.
      {"line cut short", {Line("ab\r"), "cd", Line("cd\r"), Line("\x1A\r")}, 0, "ANAAG", "ab\r\ncd\r\n", 1, 5},
      {"consecutive errors reach the limit", {badSum, badSum, badSum, Line("ab\r")}, -908, "NNNRGG", "", 3, 3},
      {"128 bytes without CR", {std::string(128, 'z') + "\r"}, -936, "RGG", ""},
      {"127 characters and CR fit", {Line(z127 + "\r"), Line("\x1A\r")}, 0, "AAG", z127 + "\r\n"},
      {"existing file appended", {Line("new\x1A\r")}, 0, "AG", "old\r\nnew", 0, 0, AckNak::kAppend, "old\r\n"},
      {"existing file replaced", {Line("new\x1A\r")}, 0, "AG", "new", 0, 0, AckNak::kReplace, "old\r\n"},
      // Refused before a line is answered.
      {"existing file refused", {Line("new\x1A\r")}, -939, "RGG", "old\r\n", 0, 0, AckNak::kRefuse, "old\r\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ScriptedSender sender(r.plan);
    MemoryDisk disk;
    if (r.before) disk["in.txt"] = B(r.before);
    RecordingStatus status;
    std::string mode;
    EXPECT_EQ(r.code, RunEngine(&sender.line, disk, status, false, r.maxErrors, r.existing, &mode));
    EXPECT_EQ(r.answers, sender.Answers());
    EXPECT_EQ(r.file, S(disk["in.txt"]));
    EXPECT_EQ(r.errors, status.errors);
    // Binary modes: on Windows a text mode would double the CR of each line end.
    if (r.code == 0) {
      EXPECT_EQ(r.existing == AckNak::kAppend ? "ab" : "wb", mode);
    }
    if (r.code == 0 && !r.before) {
      EXPECT_EQ(static_cast<int32_t>(r.file.size()), status.bytesDone);
    }
  }
}

TEST(AckNakReceiver, SilenceAndAMissingCheckOnTheFakeClock) {
  // Until a first line arrives, silence is answered with NAK every second. A line without its
  // check is answered with NAK a second after it ended, before the purge (a second of quiet).
  // After the ACK of a good line silence brings the ACK again every five seconds.
  ScriptedSender sender({"", "cd\r", "", Line("ab\r"), ""});
  MemoryDisk disk;
  RecordingStatus quick(12000);
  const uint32_t start = TickSource::Now();
  EXPECT_EQ(-909, RunEngine(&sender.line, disk, quick, false, 0));
  ASSERT_GE(sender.times.size(), 6u);
  EXPECT_EQ("NNNAAA", sender.Answers().substr(0, 6));
  EXPECT_NEAR(1000, static_cast<double>(sender.times[0] - start), 20);
  EXPECT_NEAR(1001, static_cast<double>(sender.times[1] - sender.times[0]), 20);
  EXPECT_NEAR(2000, static_cast<double>(sender.times[2] - sender.times[1]), 20);
  EXPECT_NEAR(5000, static_cast<double>(sender.times[4] - sender.times[3]), 20);
  EXPECT_NEAR(5000, static_cast<double>(sender.times[5] - sender.times[4]), 20);
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

TEST(AckNakPair, CleanAndSeededFaultyLines) {
  PairRuns p;
  p.sent = p.received = B(RandomText(60, 7));
  p.toReceiver.flip = 0.0005;
  p.toReceiver.drop = p.toReceiver.insert = 0.0003;
  p.toSender.flip = p.toSender.drop = 0.003;
  p.seeds = 10;
  p.atLeastClean = 5;
  // When the sender's thread starts first, the receiver's opening purge takes line one: one NAK
  // after a silent second, one resend.
  p.cleanErrors = 1;
  p.failures = {-908, -914, -936, -909};
  ExpectPairRuns<AckNak>(p, [](AckNak& a) { a.SetMaxErrors(10); });
}
}  // namespace
