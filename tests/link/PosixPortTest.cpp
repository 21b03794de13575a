// PosixPort over a socat pty pair: opening rules, data both ways through the read-ahead, purges
// and drains, data-format and handshake codes as the device sees them, lines on a device without
// modem lines, Dump, a dead device, and that Idle sleeps instead of spinning.
#include "link/PosixPort.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/ChildProcess.h"
#include "fakes/PtyPair.h"
#include "link/SerialPort.h"

namespace {

class PosixPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pair.Ok()) << pair.Error(); }

  // Idles on `port` until it counts `count` bytes waiting (bounded: 5 s).
  static bool WaitForInput(PosixPort& port, int32_t count) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    BufferStatus s;
    for (;;) {
      port.GetBufferStatus(s, BufferSide::Receive);
      if (s.receiveCount >= count) return s.receiveCount == count;
      if (std::chrono::steady_clock::now() > deadline) return false;
      port.Idle();
    }
  }

  // The terminal settings the device holds, read through a descriptor of our own.
  termios DeviceSettings() {
    termios t{};
    int fd = open(pair.PathB().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(tcgetattr(fd, &t), 0);
    close(fd);
    return t;
  }

  PtyPair pair;
};

TEST_F(PosixPortTest, OpeningRules) {
  PosixPort missing(pair.Dir() + "/no-such-device");
  EXPECT_EQ(missing.Status(), LinkCode::Failure);
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.PortIndex(), -1);

  FILE* f = fopen((pair.Dir() + "/plain").c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  PosixPort notTerminal(pair.Dir() + "/plain");
  EXPECT_EQ(notTerminal.Status(), LinkCode::Failure);

  {
    PosixPort first(pair.PathA());
    ASSERT_EQ(first.Status(), 0);
    PosixPort second(pair.PathA());
    EXPECT_EQ(second.Status(), LinkCode::PortInUse);
    EXPECT_FALSE(second.IsOpen());
    // Another process is kept out too.
    EXPECT_EQ(ChildProcess::Run({"flock", "-n", pair.PathA(), "true"}, {}, 5000), 1);
    // The refused opener left the first one working.
    PosixPort b(pair.PathB());
    EXPECT_EQ(first.PutString("ok"), 2);
    ASSERT_TRUE(WaitForInput(b, 2));
    EXPECT_EQ(b.GetByte(), 'o');
  }
  EXPECT_EQ(ChildProcess::Run({"flock", "-n", pair.PathA(), "true"}, {}, 5000), 0);
  PosixPort again(pair.PathA());
  EXPECT_EQ(again.Status(), 0);
}

TEST_F(PosixPortTest, CarriesDataBothWays) {
  PosixPort a(pair.PathA()), b(pair.PathB());
  SerialPort reader(&b);
  std::vector<uint8_t> sent(20 * 1024);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7 + i / 256);

  // A to B, read a byte at a time through SerialPort as the engines do.
  std::vector<uint8_t> got;
  size_t offset = 0;
  while (got.size() < sent.size()) {
    if (offset < sent.size()) {
      int32_t n = a.Write(sent.data() + offset, static_cast<int32_t>(sent.size() - offset));
      ASSERT_GE(n, 0);
      ASSERT_LE(n, 2048);  // never more than the transmit queue
      offset += static_cast<size_t>(n);
    }
    int32_t c = reader.GetChar(got.empty() ? 2000 : 500);
    ASSERT_GE(c, 0) << "stalled after " << got.size() << " bytes";
    got.push_back(static_cast<uint8_t>(c));
    while ((c = reader.GetChar(0)) >= 0) got.push_back(static_cast<uint8_t>(c));
  }
  EXPECT_EQ(got, sent);

  // B to A in blocks through Read.
  got.clear();
  offset = 0;
  uint8_t buffer[700];
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (got.size() < sent.size() && std::chrono::steady_clock::now() < deadline) {
    if (offset < sent.size())
      offset += static_cast<size_t>(
          b.Write(sent.data() + offset, static_cast<int32_t>(sent.size() - offset)));
    int32_t n = a.Read(buffer, sizeof buffer);
    got.insert(got.end(), buffer, buffer + n);
    if (n == 0) a.Idle();
  }
  EXPECT_EQ(got, sent);
  EXPECT_EQ(a.Read(buffer, sizeof buffer), 0);
  EXPECT_EQ(a.GetByte(), LinkCode::Timeout);
}

TEST_F(PosixPortTest, ShortWriteLeavesItsCode) {
  PosixPort a(pair.PathA());
  std::vector<uint8_t> block(3000, 'x');
  EXPECT_EQ(a.Write(block.data(), 3000), 2048);
  EXPECT_EQ(a.TakeStatus(), LinkCode::ShortWrite);
}

TEST_F(PosixPortTest, PurgesAndDrainsIncludeTheReadAhead) {
  PosixPort a(pair.PathA()), b(pair.PathB());
  SerialPort port(&b);
  std::string text(100, 'p');
  ASSERT_EQ(a.PutString(text.c_str()), 100);
  ASSERT_TRUE(WaitForInput(b, 100));
  EXPECT_EQ(b.GetByte(), 'p');  // the rest now sits in the read-ahead
  EXPECT_EQ(port.RxCount(), 99);
  EXPECT_EQ(port.ClearInput(0), 0);
  EXPECT_EQ(port.RxCount(), 0);
  EXPECT_EQ(b.GetByte(), LinkCode::Timeout);

  ASSERT_EQ(a.PutString("12345"), 5);
  ASSERT_TRUE(WaitForInput(b, 5));
  EXPECT_EQ(port.ClearInput(3), LinkCode::Failure);  // three dropped, input not yet empty
  EXPECT_EQ(b.TakeStatus(), LinkCode::Failure);
  EXPECT_EQ(port.RxCount(), 2);
  EXPECT_EQ(port.ClearInput(3), 0);  // two dropped, found empty
  EXPECT_EQ(port.RxCount(), 0);
  EXPECT_EQ(port.ClearOutput(), 0);
  EXPECT_EQ(port.TxCount(), 0);
}

TEST_F(PosixPortTest, DataFormatCodes) {
  struct Row {
    uint32_t baud;
    char parity;
    int32_t dataBits, stopBits, expected;
  };
  const Row rows[] = {
      {12345, 'N', 8, 1, LinkCode::BadBaudRate}, {9600, 'n', 8, 1, LinkCode::BadParity},
      {9600, 'X', 8, 1, LinkCode::BadParity},    {9600, 'N', 9, 1, LinkCode::BadDataBits},
      {9600, 'N', 3, 1, LinkCode::BadDataBits},  {9600, 'N', 4, 1, LinkCode::NotSupported},
      {9600, 'N', 8, 3, LinkCode::BadStopBits},  {9600, 'N', 8, 0, LinkCode::BadStopBits},
  };
  PosixPort b(pair.PathB());
  for (const Row& r : rows) {
    EXPECT_EQ(b.SetDataFormat(r.baud, r.parity, r.dataBits, r.stopBits), r.expected)
        << r.baud << ' ' << r.parity << ' ' << r.dataBits << ' ' << r.stopBits;
    EXPECT_EQ(b.TakeStatus(), r.expected);
  }

  const Row good[] = {{115200, 'E', 7, 2, 0}, {300, 'O', 6, 1, 0}, {9600, 'M', 8, 1, 0},
                      {9600, 'S', 8, 1, 0},   {1200, 'N', 8, 1, 0}};
  for (const Row& r : good) {
    ASSERT_EQ(b.SetDataFormat(r.baud, r.parity, r.dataBits, r.stopBits), 0) << r.parity;
    uint32_t baud;
    char parity;
    int32_t dataBits, stopBits;
    b.GetDataFormat(baud, parity, dataBits, stopBits);
    EXPECT_EQ(baud, r.baud);
    EXPECT_EQ(parity, r.parity);
    EXPECT_EQ(dataBits, r.dataBits);
    EXPECT_EQ(stopBits, r.stopBits);
  }

  // The device holds what was set: 5 data bits take one and a half stop bits (CSTOPB). A pty
  // keeps the rate and stop bits but forces 8 bits without parity, so only PARODD shows there.
  ASSERT_EQ(b.SetDataFormat(2400, 'O', 5, 1), 0);
  termios t = DeviceSettings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B2400));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_cflag & PARODD, 0u);
  uint32_t baud;
  char parity;
  int32_t dataBits, stopBits;
  b.GetDataFormat(baud, parity, dataBits, stopBits);
  EXPECT_EQ(stopBits, 1);
}

TEST_F(PosixPortTest, CloseRestoresTheSettingsFoundAtOpen) {
  termios before = DeviceSettings();
  {
    PosixPort b(pair.PathB());
    ASSERT_EQ(b.SetDataFormat(115200, 'E', 7, 2), 0);
    ASSERT_EQ(b.SetHandshake(1, 1), 0);
    termios during = DeviceSettings();
    EXPECT_EQ(cfgetospeed(&during), static_cast<speed_t>(B115200));
    EXPECT_EQ(during.c_lflag & ICANON, 0u);  // raw while open
  }
  termios after = DeviceSettings();
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
}

TEST_F(PosixPortTest, HandshakeCodes) {
  PosixPort b(pair.PathB());
  struct Row {
    int32_t input, output, returned, left;
  };
  const Row refused[] = {
      {2, 0, LinkCode::Failure, LinkCode::BadInputHandshake},
      {0, 14, LinkCode::BadOutputHandshake, LinkCode::BadOutputHandshake},
      {13, 0, LinkCode::NotSupported, LinkCode::NotSupported},
      {3, 0, LinkCode::NotSupported, LinkCode::NotSupported},
      {0, 13, LinkCode::NotSupported, LinkCode::NotSupported},
      {0, 15, LinkCode::NotSupported, LinkCode::NotSupported},
  };
  ASSERT_EQ(b.SetHandshake(4, 12), 0);
  for (const Row& r : refused) {
    EXPECT_EQ(b.SetHandshake(r.input, r.output), r.returned) << r.input << ' ' << r.output;
    EXPECT_EQ(b.TakeStatus(), r.left);
    int32_t in, out;
    EXPECT_EQ(b.GetHandshake(in, out), 0);
    EXPECT_EQ(in, 4);  // a refused pair keeps the last good one
    EXPECT_EQ(out, 12);
  }

  ASSERT_EQ(b.SetHandshake(1, 1), 0);
  termios t = DeviceSettings();
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
  EXPECT_EQ(b.HoldRemote(), 0);
  BufferStatus s;
  b.GetBufferStatus(s, BufferSide::Both);
  EXPECT_EQ(s.flags & 1, 1);
  EXPECT_EQ(b.ReleaseRemote(), 0);

  ASSERT_EQ(b.SetHandshake(0, 0), 0);
  t = DeviceSettings();
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(b.HoldRemote(), LinkCode::NotSupported);
}

TEST_F(PosixPortTest, LinesOnADeviceWithoutModemLines) {
  PosixPort b(pair.PathB());
  EXPECT_EQ(b.Signal(LineSignal::Dtr, -1), 1);  // raised by the constructor
  EXPECT_EQ(b.Signal(LineSignal::Dtr, 0), 0);
  EXPECT_EQ(b.Signal(LineSignal::Dtr, -1), 0);
  EXPECT_EQ(b.Signal(LineSignal::Rts, -1), 1);
  for (int32_t n : {LineSignal::Cts, LineSignal::Dsr, LineSignal::Ri, LineSignal::Cd,
                    LineSignal::Extra20, LineSignal::OverrunError, LineSignal::ParityError})
    EXPECT_EQ(b.Signal(n, -1), 0) << n;
  EXPECT_EQ(b.Signal(5, -1), 2);
  EXPECT_EQ(b.ReadModemStatus(), 0);
  LineStatus s;
  EXPECT_EQ(b.GetLineStatus(s), 0);
  EXPECT_EQ(s.Field(LineSignal::Dtr), 0);
  EXPECT_EQ(s.Field(LineSignal::Rts), 1);
  EXPECT_EQ(s.Field(LineSignal::Cd), 0);
  EXPECT_EQ(b.SetBreak(-1), 0);
  EXPECT_EQ(b.Signal(LineSignal::BreakState, 1), 1);  // a pty takes a break and ignores it
  EXPECT_EQ(b.SetBreak(-1), 1);
  EXPECT_EQ(b.SetBreak(0), 0);
  EXPECT_EQ(b.Status(), 0);
}

TEST_F(PosixPortTest, DumpPrintsSixLines) {
  PosixPort b(pair.PathB());
  std::vector<std::string> lines;
  b.Dump([](void* context, const char* line) {
    static_cast<std::vector<std::string>*>(context)->push_back(line);
  }, &lines);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Port type: POSIX termios  BaudRate: 19200   ByteSize: 8  Parity: 0");
  EXPECT_EQ(lines[1], "StopBits: 0  fBinary: 1  fRtsControl: 1");
  EXPECT_EQ(lines[3], "Null: 0  XonChar: 11  XoffChar: 13");
  EXPECT_EQ(lines[4], "XonLim: 1024  XoffLim: 128   EofChr: 00  EvtChr: 00");
  EXPECT_EQ(lines[5].rfind("RX sz/ct:  4096/0      TX sz/ct:  2048/", 0), 0u) << lines[5];
  for (const std::string& l : lines) std::printf("  %s\n", l.c_str());
}

TEST_F(PosixPortTest, IdleReportsADeadDevice) {
  PosixPort b(pair.PathB());
  EXPECT_EQ(b.Idle(), 0);
  pair.Stop();
  int32_t r = 0;
  for (int i = 0; i < 100 && r == 0; ++i) r = b.Idle();
  EXPECT_EQ(r, LinkCode::NoHardware);
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Idle must give the processor away both when nothing arrives and when input waits that the
// caller is not reading (a Pause with bytes pending). Printed, with a loose bound on the share
// of CPU time, which stays near 100% only if Idle spins.
TEST_F(PosixPortTest, IdleDoesNotSpin) {
  PosixPort a(pair.PathA()), b(pair.PathB());
  for (int withInput = 0; withInput < 2; ++withInput) {
    if (withInput) {
      ASSERT_EQ(a.PutString("waiting"), 7);
      ASSERT_TRUE(WaitForInput(b, 7));
    }
    double cpu0 = CpuSeconds();
    auto wall0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) ASSERT_EQ(b.Idle(), 0);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    double cpu = CpuSeconds() - cpu0;
    std::printf("200 Idle calls %s: wall %.1f ms, cpu %.1f ms (%.0f%%)\n",
                withInput ? "with unread input" : "with no input", wall * 1e3, cpu * 1e3,
                100.0 * cpu / wall);
    EXPECT_LT(cpu, 0.5 * wall);
  }
}

}  // namespace
