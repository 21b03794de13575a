#include "tools/CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {
struct Parsed {
  bool ok;
  std::string error;
  CommandLine line;
};

// Parses the words of args (split at spaces) as the arguments after the program name.
Parsed Parse(const std::string& args) {
  std::istringstream in(args);
  std::vector<std::string> words = {"zandrel"};
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  Parsed p;
  p.ok = p.line.Parse(static_cast<int>(argv.size()), argv.data(), p.error);
  return p;
}

TEST(CommandLine, WordsAfterTheOptionsAreTheFiles) {
  const Parsed p = Parse("send --port /dev/ttyS0 a.txt b.txt");
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.line.sending);
  EXPECT_EQ("/dev/ttyS0", p.line.port);
  EXPECT_EQ("a.txt;b.txt", p.line.FileList());
}

TEST(CommandLine, EveryOptionInBothSpellings) {
  const Parsed p = Parse(
      "receive --port=/dev/pts/3 --baud 115200 --protocol=acknak --flow rtscts --max-errors=12 --overwrite 3 "
      "--send-timeout 0 --recv-timeout=5 --log x.log --log-append --quiet -- --odd-name");
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_FALSE(p.line.sending);
  EXPECT_EQ("/dev/pts/3", p.line.port);
  EXPECT_EQ(115200u, p.line.baudRate);
  EXPECT_EQ(CommandLine::kAckNak, p.line.protocol);
  EXPECT_EQ(CommandLine::kFlowRtsCts, p.line.flowControl);
  EXPECT_EQ(12, p.line.maxErrors);
  EXPECT_EQ(3, p.line.overwrite);
  EXPECT_EQ(0u, p.line.sendTimeoutSeconds);
  EXPECT_EQ(5u, p.line.recvTimeoutSeconds);
  EXPECT_EQ("x.log", p.line.logFile);
  EXPECT_TRUE(p.line.logAppend);
  EXPECT_TRUE(p.line.quiet);
  EXPECT_EQ("--odd-name", p.line.FileList());
  const Parsed modem = Parse(
      "send --port p --dial 555-1002 --modem-init ATX3 --pulse --response-timeout 5000 --no-carrier-detect "
      "--modem-set Hangup/1=ATH<cr> --modem-set=Tone=T x");
  ASSERT_TRUE(modem.ok) << modem.error;
  EXPECT_EQ("555-1002", modem.line.dial);
  EXPECT_EQ("X3", modem.line.modemInit);  // the modem adds its own prefix
  EXPECT_TRUE(modem.line.pulse && modem.line.noCarrierDetect && modem.line.UsesModem());
  EXPECT_EQ(5000, modem.line.responseTimeoutMs);
  EXPECT_EQ((std::vector<std::string>{"Hangup/1=ATH<cr>", "Tone=T"}), modem.line.modemValues);
  EXPECT_TRUE(Parse("receive --port p --answer").line.answer);
  EXPECT_TRUE(Parse("ports").line.listPorts);
  EXPECT_TRUE(Parse("--help").line.help);
  EXPECT_TRUE(Parse("send --help").line.help);
}

TEST(CommandLine, MalformedLinesAreRefused) {
  for (const char* args :
       {"", "copy --port p", "send a.txt", "send --port", "send --port p --baud fast", "send --port p --baud 0",
        "send --port p --protocol kermit", "send --port p --flow dtr", "send --port p --overwrite 0",
        "send --port p --overwrite 8", "send --port p --max-errors -1", "send --port p --recv-timeout 1.5",
        "send --port p --quiet=yes", "send --port p --verbose", "receive --port p --dial 5",
        "send --port p --answer", "send --port p --dial=", "send --port p --modem-init 12345678901234567890123456789012345678901",
        "send --port p --response-timeout 10"}) {
    const Parsed p = Parse(args);
    EXPECT_FALSE(p.ok) << args;
    EXPECT_FALSE(p.error.empty()) << args;
  }
}

TEST(CommandLine, ChecksBeforeTheTransfer) {
  const std::pair<const char*, int32_t> cases[] = {
      {"send --port p a", 0},
      {"send --port p --flow xonxoff a", 1},
      {"send --port p --flow xonxoff --protocol zmodem a", 0},
      {"send --port p", 3},
      {"receive --port p", 3},
      {"receive --port p --protocol acknak", 3},
      {"receive --port p --protocol zmodem", 0},  // a ZModem receiver takes its names from the sender
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, Parse(c.first).line.Check()) << c.first;
}
}  // namespace
