// The host's modem runs in process: a sender that dials and a receiver that answers, each a
// whole ConsoleJob on an emulated modem of one switchboard under the lockstep clock, with
// carrier detect; and the same call cut in the middle of the transfer.
#include "tools/ConsoleJob.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/ModemBench.h"
#include "fakes/TestData.h"
#include "tools/ConsoleStatus.h"

namespace {
CommandLine Parse(const std::string& args) {
  std::istringstream in(args);
  std::vector<std::string> words = {"zandrel"};
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  CommandLine line;
  std::string error;
  EXPECT_TRUE(line.Parse(static_cast<int>(argv.size()), argv.data(), error)) << error;
  return line;
}

// One host: its options, its console (read back as text) and its result.
struct Host {
  explicit Host(const std::string& args) : options(Parse(args)), out(std::tmpfile()) {}
  ~Host() { std::fclose(out); }
  void Run(ComLink& link) {
    ConsoleStatus status(out, false, false, nullptr, [] { return false; });
    result = ConsoleJob(options, status).Run(&link);
  }
  std::string Text() {
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    return text;
  }
  CommandLine options;
  std::FILE* out;
  int32_t result = -1;
};

TEST(ConsoleJob, DialsAndAnswersThroughModemsAndSaysWhyACallEnded) {
  namespace fs = std::filesystem;
  const fs::path cwd = fs::current_path();
  const std::string dir = (fs::temp_directory_path() / ("zandrel-job-" + std::to_string(std::rand()))).string();
  const std::string data = RandomBytes(256 * 1024, 77);
  for (size_t cutAfter : {size_t{0}, size_t{64 * 1024}}) {
    fs::create_directories(dir + "/in");
    Spit(dir + "/data.bin", data);
    ModemBench bench;
    ModemBench::Port& a = bench.Add("5551001");
    ModemBench::Port& b = bench.Add("5551002");
    if (cutAfter) {
      bench.onTick = [&a, cutAfter, cut = false](uint32_t now) mutable {
        if (!cut && a.modem.GetState() == HayesModem::State::Online && a.modem.Received().size() > cutAfter) {
          a.modem.CutLine(now);
          cut = true;
        }
      };
    }
    Host sender("send --port a --dial 5551002 --protocol zmodem " + dir + "/data.bin");
    Host receiver("receive --port b --answer --protocol zmodem --dir " + dir + "/in");
    std::string error;
    ASSERT_TRUE(ConsoleJob::SetUpModem(sender.options, error)) << error;
    bench.Run({[&] { sender.Run(a); }, [&] { receiver.Run(b); }});
    fs::current_path(cwd);
    const std::string received = Slurp(dir + "/in/data.bin");
    if (!cutAfter) {
      EXPECT_EQ(sender.result, 0) << sender.Text();
      EXPECT_EQ(receiver.result, 0) << receiver.Text();
      EXPECT_TRUE(received == data);
      EXPECT_NE(receiver.Text().find("Modem Connected.\nWaiting for sender..."), std::string::npos);
    } else {
      // Each side's engine stops at the lost carrier; the receiver keeps what it had.
      EXPECT_NE(sender.result, 0);
      EXPECT_NE(receiver.result, 0) << receiver.Text();
      EXPECT_GT(received.size(), 0u);
      EXPECT_LT(received.size(), data.size());
      EXPECT_TRUE(received == data.substr(0, received.size()));
      for (Host* host : {&sender, &receiver})
        EXPECT_NE(host->Text().find("The modem lost the carrier.\nDisconnecting...\n"), std::string::npos)
            << host->Text();
    }
    for (ModemBench::Port* port : {&a, &b}) EXPECT_EQ(port->modem.GetState(), HayesModem::State::OnHook);
    fs::remove_all(dir);
  }
}

TEST(ConsoleJob, ModemValuesAreCheckedBeforeAnythingRuns) {
  std::string error;
  CommandLine options = Parse("send --port p --dial 1 x");
  options.modemValues = {"Hangup/1=ATH0<cr>", "Settings=x"};
  EXPECT_FALSE(ConsoleJob::SetUpModem(options, error));
  options.modemValues = {"Hangup/1=ATH0<cr>"};
  EXPECT_TRUE(ConsoleJob::SetUpModem(options, error)) << error;
  for (const char* bad : {"Hangup/0=ATH", "Speaker=L1", "Reset"}) {
    options.modemValues = {bad};
    EXPECT_FALSE(ConsoleJob::SetUpModem(options, error)) << bad;
    EXPECT_NE(error.find(std::string(bad).substr(0, 5)), std::string::npos) << error;
  }
}
}  // namespace
