// NetworkPort and its Telnet layer against scripted servers (on the fake clock): the URL forms,
// a ser2net-like server fed in pieces of every size (commands and doubled 0xFF split at every
// edge), our doubled 0xFF never split by a command however the connection takes it, servers
// that refuse, fall silent or hang up, and a raw connection that invents nothing.
#include "link/NetworkPort.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "fakes/FakeClock.h"
#include "fakes/ScriptedSocket.h"

using namespace std::string_literals;

namespace {
const std::string kGreeting = "\xff\xfb\x03\xff\xfd\x03\xff\xfb\x01\xff\xfd\x00\xff\xfb\x00\xff\xfd\x2c"s;
const std::string kAskInbound = "\xff\xfa\x2c\x05\x0d\xff\xf0"s, kDtrOn = "\xff\xfa\x2c\x05\x08\xff\xf0"s;
std::string Answer(const std::string& command) { return "\xff\xfa\x2c"s + command + "\xff\xf0"s; }
// The server's settings (a rate with 0xFF in it, doubled on the wire), a parity error, and data
// with a doubled 0xFF and a NOP.
const std::string kSettings = Answer("\x65\x00\x01\xc2\xff\xff"s) + Answer("\x66\x08") + Answer("\x67\x01") +
                              Answer("\x68\x01") + Answer("\x69\x01") + Answer("\x69\x0e") + Answer("\x6a\x04") +
                              "x\xff\xff\xff\xf1y";

// The data in what we sent, read back through the Telnet layer.
std::string DataIn(const std::string& wire) {
  TelnetComPort reader;
  std::string data = wire;
  data.resize(reader.Receive(reinterpret_cast<const uint8_t*>(wire.data()), wire.size(),
                             reinterpret_cast<uint8_t*>(&data[0])));
  return data;
}

// What arrives until a few idles bring nothing more (or the connection ends).
std::string ReadAll(NetworkPort& port) {
  std::string got;
  uint8_t b[64];
  for (int quiet = 0; quiet < 3;) {
    const int32_t n = port.Read(b, sizeof b);
    got.append(reinterpret_cast<char*>(b), static_cast<size_t>(n));
    if (n > 0) continue;
    if (port.Idle(1) != 0) break;
    ++quiet;
  }
  return got;
}

TEST(NetworkPort, UrlForms) {
  const struct {
    const char *url, *host, *port, *problem;
    bool telnet;
  } rows[] = {{"rfc2217://host.example:2217", "host.example", "2217", "", true},
              {"RFC2217://10.0.0.5:7000/", "10.0.0.5", "7000", "", true},
              {"socket://[::1]:4000", "::1", "4000", "", false},
              {"tcp://[fe80::1%eth0]:23", "fe80::1%eth0", "23", "", false},
              {"rfc2217://host", "", "", "expected rfc2217://host:port", false},
              {"tcp://::1:80", "", "", "in brackets", false},
              {"tcp://[::1]80", "", "", "in brackets", false},
              {"tcp://host:65536", "", "", "expected tcp://host:port", false},
              {"telnet://host:23", "", "", "rfc2217://, socket:// or tcp://", false}};
  for (const auto& row : rows) {
    NetworkPort::Address a;
    std::string problem;
    EXPECT_EQ(row.problem[0] == '\0', NetworkPort::Parse(row.url, a, problem)) << row.url;
    EXPECT_NE(std::string::npos, problem.find(row.problem)) << row.url << ": " << problem;
    if (row.problem[0] != '\0') continue;
    EXPECT_EQ(row.telnet, a.telnet) << row.url;
    EXPECT_EQ(row.host, a.host) << row.url;
    EXPECT_EQ(row.port, a.port) << row.url;
  }
  for (const char* path : {"/dev/ttyUSB0", "COM3", "./a://b", "://x"}) EXPECT_FALSE(NetworkPort::IsUrl(path)) << path;
}

TEST(NetworkPort, ServerFedInPiecesOfEverySize) {
  for (size_t chunk = 1; chunk <= 24; ++chunk) {
    SCOPED_TRACE(chunk);
    FakeClock clock;
    auto* server = new ScriptedSocket;
    server->chunk = chunk;
    server->replies = {{"", kGreeting + Answer("\x6b\x80")},
                       {kAskInbound, kSettings},
                       {kDtrOn, Answer("\x69\x08")},
                       {"\xff\xfa\x2c\x05\x0b\xff\xf0"s, Answer("\x69\x0b")}};
    NetworkPort port("rfc2217://h:1", 4096, 2048, std::unique_ptr<NetSocket>(server));
    ASSERT_EQ(0, port.Status()) << port.Reason();
    // We answered the server's ECHO with DONT and offered binary both ways.
    EXPECT_NE(std::string::npos, server->sent.find("\xff\xfe\x01")) << "DONT ECHO";
    EXPECT_NE(std::string::npos, server->sent.find("\xff\xfb\x00\xff\xfb\x03\xff\xfb\x2c\xff\xfd\x00\xff\xfd\x03"s));
    EXPECT_EQ("x\xffy", ReadAll(port));
    uint32_t rate;
    char parity;
    int32_t bits, stops, in, out;
    port.GetDataFormat(rate, parity, bits, stops);
    port.GetHandshake(in, out);
    EXPECT_EQ(std::make_tuple(0x1c2ffu, 'N', 8, 1, 0, 0), std::make_tuple(rate, parity, bits, stops, in, out));
    EXPECT_EQ(1, port.Signal(LineSignal::Cd, -1));
    EXPECT_EQ(1, port.Signal(LineSignal::ParityError, -1));
    EXPECT_LT(FakeClock::Now() - 1000, 10u) << "every answer came, nothing waited out";
  }
}

TEST(NetworkPort, DoubledFfNeverSplitByACommand) {
  // The connection takes 1, 2, 3 ... bytes of the data, then a command is queued behind it.
  const std::string data = "\xff\xff\xff" "a\xff";
  for (size_t room = 1; room < 8; ++room) {
    SCOPED_TRACE(room);
    FakeClock clock;
    auto* server = new ScriptedSocket;
    server->replies = {{"", kGreeting}};
    NetworkPort port("rfc2217://h:1", 4096, 2048, std::unique_ptr<NetSocket>(server));
    const size_t opening = server->sent.size();
    server->room = room;
    EXPECT_EQ(5, port.Write(reinterpret_cast<const uint8_t*>(data.data()), 5));
    port.Signal(LineSignal::Rts, 0);
    for (int i = 0; i < 20; ++i) port.Idle(1);
    EXPECT_EQ(data, DataIn(server->sent.substr(opening)));
  }
}

TEST(NetworkPort, ServersThatRefuseFallSilentOrHangUp) {
  const struct {
    std::string reply;
    bool closes;
    const char* says;
    uint32_t waitedMs;
  } rows[] = {{kGreeting.substr(0, 15) + "\xff\xfe\x2c"s, false, "refuses the COM port option", 0},
              {kGreeting.substr(0, 15), false, "no answer to the COM port option", NetworkPort::kOptionAnswerMs},
              {kGreeting.substr(0, 15), true, "the server closed the connection", 0}};
  for (const auto& row : rows) {
    FakeClock clock;
    auto* server = new ScriptedSocket;
    server->replies = {{"", row.reply}};
    server->closesAfterScript = row.closes;
    NetworkPort port("rfc2217://h:1", 4096, 2048, std::unique_ptr<NetSocket>(server));
    EXPECT_EQ(LinkCode::Failure, port.Status());
    EXPECT_NE(std::string::npos, port.Reason().find(row.says)) << port.Reason();
    EXPECT_EQ(row.waitedMs, FakeClock::Now() - 1000) << row.says;
  }
  // A server that takes the option but answers no request: each kind is waited for once, and the
  // line goes on with what was asked. It suspends our output until we drop DTR.
  FakeClock clock;
  auto* server = new ScriptedSocket;
  server->replies = {{"", kGreeting + "data" + Answer("\x6c")}, {"\xff\xfa\x2c\x05\x09\xff\xf0"s, Answer("\x6d")}};
  NetworkPort port("rfc2217://h:1", 4096, 2048, std::unique_ptr<NetSocket>(server));
  ASSERT_EQ(0, port.Status());
  EXPECT_EQ(uint32_t(NetworkPort::kAnswerMs + NetworkPort::kLineAnswerMs), FakeClock::Now() - 1000);
  EXPECT_EQ(2, port.PutString("ok"));
  EXPECT_EQ(std::string::npos, server->sent.find("ok")) << "suspended";
  EXPECT_EQ(0, port.Signal(LineSignal::Dtr, 0));
  port.Idle(1);
  EXPECT_EQ(server->sent.size() - 2, server->sent.find("ok")) << "resumed";
  EXPECT_EQ(2, port.Signal(LineSignal::Cd, -1)) << "never notified";
  const uint32_t before = FakeClock::Now();
  EXPECT_EQ(0, port.SetDataFormat(57600, 'E', 7, 1));
  EXPECT_EQ(uint32_t(NetworkPort::kAnswerMs), FakeClock::Now() - before);
  uint32_t rate;
  char parity;
  int32_t bits, stops;
  port.GetDataFormat(rate, parity, bits, stops);
  EXPECT_EQ(std::make_tuple(57600u, 'E', 7), std::make_tuple(rate, parity, bits));
  EXPECT_EQ("data", ReadAll(port));
}

TEST(NetworkPort, RawConnectionPassesBytesAndKnowsNoLines) {
  FakeClock clock;
  auto* server = new ScriptedSocket;
  server->replies = {{"", "\xff\xfb\x01"}};
  server->closesAfterScript = true;
  NetworkPort port("tcp://[::1]:2217", 4096, 2048, std::unique_ptr<NetSocket>(server));
  ASSERT_EQ(0, port.Status());
  EXPECT_EQ("::1 2217", server->host + " " + server->port);
  EXPECT_EQ(0, port.SetDataFormat(57600, 'E', 7, 1));
  EXPECT_EQ(0, port.SetHandshake(4, 12));
  EXPECT_EQ(0, port.PutByte(0xff));
  EXPECT_EQ("\xff", server->sent) << "no Telnet, no settings, 0xFF single";
  for (int32_t signal : {LineSignal::Dtr, LineSignal::Rts, LineSignal::Cts, LineSignal::Dsr, LineSignal::Ri, LineSignal::Cd})
    EXPECT_EQ(2, port.Signal(signal, -1)) << signal;
  EXPECT_EQ(0, port.Signal(LineSignal::ParityError, -1));
  EXPECT_EQ("\xff\xfb\x01", ReadAll(port));
  EXPECT_EQ(LinkCode::NoHardware, port.Idle(100)) << "the server hung up";
  EXPECT_EQ(0, port.PutString("x"));
  EXPECT_EQ(LinkCode::NoHardware, port.Status());
}
}  // namespace
