#include "tools/CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
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

TEST(CommandLine, EveryOptionInBothSpellings) {
  const Parsed p = Parse(
      "receive --port=/dev/pts/3 --baud 115200 --protocol=zmodem --flow rtscts --max-errors=12 --overwrite 3 "
      "--send-timeout 0 --recv-timeout=5 --window 1024 --crash-recovery=3 --path-mode 1 --host --log x.log "
      "--log-append --quiet -- --odd-name");
  ASSERT_TRUE(p.ok) << p.error;
  const TransferSettings& s = p.line.settings;
  EXPECT_EQ(std::make_tuple(0, 115200, int(TransferSettings::kZModem), int(TransferSettings::kFlowRtsCts), 12, 3, 0, 5,
                            1024, 3, 1, 1, 1, 1),
            std::make_tuple(int(s.Transfer), int(s.BaudRate), int(s.Protocol), int(s.FlowControl), int(s.MaxErrors),
                            int(s.Overwrite), int(s.SendTimeout), int(s.RecvTimeout), int(s.WindowSize),
                            int(s.CrashRecovery), int(s.PathSwitch), int(s.HostMode), int(s.LogToFile),
                            int(s.AppendToLog)));
  EXPECT_EQ(std::make_tuple(std::string("/dev/pts/3"), std::string("x.log"), std::string("--odd-name"), true, false),
            std::make_tuple(p.line.port, s.LogFilename, s.FileList, p.line.quiet, p.line.UsesModem()));
  const Parsed modem = Parse(
      "send --port p --dial 555-1002 --modem-init ATX3 --pulse --response-timeout 5000 --no-carrier-detect "
      "--modem-set Hangup/1=ATH<cr> --modem-set=Tone=T a.txt b.txt");
  ASSERT_TRUE(modem.ok) << modem.error;
  // What the line leaves out has the record's defaults after Reset, as the automation object's
  // runs do: ZModem streams and does not resume a file unless asked.
  TransferSettings reset;
  reset.Reset(1, "");
  const TransferSettings& m = modem.line.settings;
  EXPECT_EQ(std::make_tuple(std::string("p"), std::string("a.txt;b.txt"), reset.WindowSize, reset.CrashRecovery,
                            reset.Overwrite, reset.BaudRate, reset.SendTimeout, reset.Transfer),
            std::make_tuple(modem.line.port, m.FileList, m.WindowSize, m.CrashRecovery, m.Overwrite, m.BaudRate,
                            m.SendTimeout, m.Transfer));
  EXPECT_EQ("555-1002", modem.line.settings.Telephone);
  EXPECT_EQ("X3", modem.line.settings.ModemCmd);  // the modem adds its own prefix
  EXPECT_TRUE(modem.line.pulse && modem.line.noCarrierDetect && modem.line.UsesModem());
  EXPECT_EQ(5000, modem.line.responseTimeoutMs);
  EXPECT_EQ((std::vector<std::string>{"Hangup/1=ATH<cr>", "Tone=T"}), modem.line.modemValues);
  EXPECT_TRUE(Parse("receive --port p --answer").line.UsesModem());
  EXPECT_TRUE(Parse("ports").line.listPorts);
  EXPECT_TRUE(Parse("--help").line.help);
  EXPECT_TRUE(Parse("send --help").line.help);
  EXPECT_TRUE(Parse("--version").line.version);
  EXPECT_EQ(TransferSettings::kXModem1K, Parse("send --port p --protocol xmodem1k").line.settings.Protocol);
}

TEST(CommandLine, MalformedLinesAreRefused) {
  for (const char* args :
       {"", "copy --port p", "send a.txt", "send --port", "send --port p --baud fast", "send --port p --baud 0",
        "send --port p --protocol kermit", "send --port p --flow dtr", "send --port p --overwrite 0",
        "send --port p --overwrite 8", "send --port p --max-errors -1", "send --port p --max-errors 40000",
        "send --port p --window 40000", "send --port p --recv-timeout 1.5", "send --port p --quiet=yes",
        "send --port p --verbose", "receive --port p --dial 5", "send --port p --answer", "send --port p --host",
        "send --port p --dial=", "send --port p --modem-init 12345678901234567890123456789012345678901",
        "send --port p --response-timeout 10"}) {
    const Parsed p = Parse(args);
    EXPECT_FALSE(p.ok) << args;
    EXPECT_FALSE(p.error.empty()) << args;
  }
}
}  // namespace
