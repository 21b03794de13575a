#include "tools/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
struct Parsed {
  bool ok;
  std::string error;
  CommandLine line;
};

Parsed Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "zandrel");
  Parsed p;
  p.ok = p.line.Parse(static_cast<int>(args.size()), args.data(), p.error);
  return p;
}

TEST(CommandLine, DefaultsMirrorTheSettings) {
  const Parsed p = Parse({"send", "--port", "/dev/ttyS0", "a.txt", "b.txt"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.line.sending);
  EXPECT_EQ("/dev/ttyS0", p.line.port);
  EXPECT_EQ(19200u, p.line.baudRate);
  EXPECT_EQ(CommandLine::kXModem, p.line.protocol);
  EXPECT_EQ(CommandLine::kFlowNone, p.line.flowControl);
  EXPECT_EQ(0, p.line.maxErrors);
  EXPECT_EQ(7, p.line.overwrite);
  EXPECT_EQ(60u, p.line.sendTimeoutSeconds);
  EXPECT_EQ(60u, p.line.recvTimeoutSeconds);
  EXPECT_EQ("a.txt;b.txt", p.line.FileList());
  EXPECT_EQ(0, p.line.Check());
}

TEST(CommandLine, EveryOptionInBothSpellings) {
  const Parsed p = Parse({"receive", "--port=/dev/pts/3", "--baud", "115200", "--protocol=acknak", "--flow",
                          "rtscts", "--max-errors=12", "--overwrite", "3", "--send-timeout", "0",
                          "--recv-timeout=5", "--log", "x.log", "--log-append", "--quiet", "--", "--odd-name"});
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
}

TEST(CommandLine, MalformedLinesAreRefused) {
  const std::vector<std::vector<const char*>> bad = {
      {},
      {"copy", "--port", "p"},
      {"send", "a.txt"},                                  // no port
      {"send", "--port"},                                 // value missing
      {"send", "--port", "p", "--baud", "fast"},
      {"send", "--port", "p", "--baud", "0"},
      {"send", "--port", "p", "--protocol", "kermit"},
      {"send", "--port", "p", "--flow", "dtr"},
      {"send", "--port", "p", "--overwrite", "0"},
      {"send", "--port", "p", "--overwrite", "8"},
      {"send", "--port", "p", "--max-errors", "-1"},
      {"send", "--port", "p", "--recv-timeout", "1.5"},
      {"send", "--port", "p", "--quiet=yes"},
      {"send", "--port", "p", "--verbose"},
  };
  for (const auto& args : bad) {
    const Parsed p = Parse(args);
    EXPECT_FALSE(p.ok) << (args.empty() ? "(nothing)" : args.back());
    EXPECT_FALSE(p.error.empty());
  }
}

TEST(CommandLine, ChecksBeforeTheTransfer) {
  EXPECT_EQ(1, Parse({"send", "--port", "p", "--flow", "xonxoff", "a"}).line.Check());
  EXPECT_EQ(0, Parse({"send", "--port", "p", "--flow", "xonxoff", "--protocol", "zmodem", "a"}).line.Check());
  EXPECT_EQ(3, Parse({"send", "--port", "p"}).line.Check());
  EXPECT_EQ(3, Parse({"receive", "--port", "p"}).line.Check());
  EXPECT_EQ(3, Parse({"receive", "--port", "p", "--protocol", "acknak"}).line.Check());
  // A ZModem receiver takes its names from the sender.
  EXPECT_EQ(0, Parse({"receive", "--port", "p", "--protocol", "zmodem"}).line.Check());
}

TEST(CommandLine, HelpNamesEveryOption) {
  EXPECT_TRUE(Parse({"--help"}).line.help);
  EXPECT_TRUE(Parse({"send", "--help"}).line.help);
  const std::string help = CommandLine::Help();
  for (const char* option : {"--port", "--baud", "--protocol", "--flow", "--max-errors", "--overwrite",
                             "--send-timeout", "--recv-timeout", "--log", "--log-append", "--quiet", "--help"})
    EXPECT_NE(std::string::npos, help.find(option)) << option;
}
}  // namespace
