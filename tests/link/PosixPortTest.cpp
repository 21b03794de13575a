// PosixPort over a socat pty pair: what the transfers over ptys (tests/interop) do not show, the
// opening rules, the write limit, purges of the read-ahead, the codes it refuses and the
// settings the device sees, lines on a device without modem lines, a dead device, and that
// Idle waits until input (or, after a short write, room) comes. StdioPort over what a process
// inherits (a terminal, a pipe pair, a socket): what it changes, that it puts it back, and that a
// writer waits only for room.
#include "link/PosixPort.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/ChildProcess.h"
#include "fakes/PtyPair.h"
#include "link/SerialPort.h"
#include "link/StdioPort.h"

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
      port.Idle(1);
    }
  }

  // The terminal settings the device holds, read through a descriptor of our own.
  termios DeviceSettings() {
    termios t{};
    int fd = open(pair.PathB().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_EQ(tcgetattr(fd, &t), 0);
    close(fd);
    return t;
  }

  PtyPair pair;
};

TEST_F(PosixPortTest, OpeningRulesAndTheWriteLimit) {
  EXPECT_EQ(PosixPort(pair.Dir() + "/no-such-device").Status(), LinkCode::Failure);
  fclose(fopen((pair.Dir() + "/plain").c_str(), "w"));
  EXPECT_EQ(PosixPort(pair.Dir() + "/plain").Status(), LinkCode::Failure);  // not a terminal
  {
    PosixPort first(pair.PathA());
    ASSERT_EQ(first.Status(), 0);
    PosixPort second(pair.PathA());
    EXPECT_EQ(second.Status(), LinkCode::PortInUse);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(ChildProcess::Run({"flock", "-n", pair.PathA(), "true"}, {}, 5000), 1);
    // The refused opener left the first one working. What arrived before the open (a receiver's
    // request, sent once) is still there after the open and a change of the queue sizes.
    EXPECT_EQ(first.PutString("ok"), 2);
    usleep(200000);
    PosixPort b(pair.PathB());
    EXPECT_EQ(b.SetBufferSizes(0, 0, 4096), 0);
    ASSERT_TRUE(WaitForInput(b, 2));
    EXPECT_EQ(b.GetByte(), 'o');
    // A write never hands the device more than the transmit queue.
    std::vector<uint8_t> block(3000, 'x');
    EXPECT_EQ(first.Write(block.data(), 3000), 2048);
    EXPECT_EQ(first.TakeStatus(), LinkCode::ShortWrite);
  }
  EXPECT_EQ(ChildProcess::Run({"flock", "-n", pair.PathA(), "true"}, {}, 5000), 0);
}

// The lines of a device without modem lines, and purges of the read-ahead.
TEST_F(PosixPortTest, LinesWithoutModemLinesAndPurgesIncludeTheReadAhead) {
  PosixPort a(pair.PathA()), b(pair.PathB());
  SerialPort port(&b);
  EXPECT_EQ(b.Signal(LineSignal::Dtr, -1), 1);  // raised by the constructor
  EXPECT_EQ(b.Signal(LineSignal::Dtr, 0), 0);
  for (int32_t n : {LineSignal::Cts, LineSignal::Dsr, LineSignal::Ri, LineSignal::Cd, LineSignal::OverrunError})
    EXPECT_EQ(b.Signal(n, -1), 0) << n;
  EXPECT_EQ(b.Signal(5, -1), 2);
  LineStatus s;
  EXPECT_EQ(b.GetLineStatus(s), 0);
  EXPECT_EQ(s.Field(LineSignal::Dtr) * 10 + s.Field(LineSignal::Rts), 1);
  EXPECT_EQ(b.Signal(LineSignal::BreakState, 1), 1);  // a pty takes a break and ignores it
  EXPECT_EQ(b.SetBreak(0), 0);
  EXPECT_EQ(b.Status(), 0);

  ASSERT_EQ(a.PutString(std::string(100, 'p').c_str()), 100);
  ASSERT_TRUE(WaitForInput(b, 100));
  EXPECT_EQ(b.GetByte(), 'p');  // the rest now sits in the read-ahead
  EXPECT_EQ(port.RxCount(), 99);
  EXPECT_EQ(port.ClearInput(0), 0);
  EXPECT_EQ(b.GetByte(), LinkCode::Timeout);

  ASSERT_EQ(a.PutString("12345"), 5);
  ASSERT_TRUE(WaitForInput(b, 5));
  EXPECT_EQ(port.ClearInput(3), LinkCode::Failure);  // three dropped, input not yet empty
  EXPECT_EQ(port.RxCount(), 2);
  EXPECT_EQ(port.ClearInput(3), 0);  // two dropped, found empty
}

// A refused code changes nothing the port reports; what the device holds while open and after
// the close.
TEST_F(PosixPortTest, CodesTheDeviceSettingsAndCloseRestoresThem) {
  const struct {
    uint32_t baud;
    char parity;
    int32_t dataBits, stopBits, expected;
  } formats[] = {
      {12345, 'N', 8, 1, LinkCode::BadBaudRate}, {9600, 'n', 8, 1, LinkCode::BadParity},
      {9600, 'N', 9, 1, LinkCode::BadDataBits},  {9600, 'N', 3, 1, LinkCode::BadDataBits},
      {9600, 'N', 4, 1, LinkCode::NotSupported}, {9600, 'N', 8, 3, LinkCode::BadStopBits},
      {9600, 'N', 8, 0, LinkCode::BadStopBits},  {9600, 'M', 8, 1, 0},
      {9600, 'S', 8, 1, 0},                      {115200, 'E', 7, 2, 0},
      {2400, 'O', 5, 1, 0},
  };
  const struct {
    int32_t input, output, returned, left;
  } refusedHandshakes[] = {
      {2, 0, LinkCode::Failure, LinkCode::BadInputHandshake},
      {0, 14, LinkCode::BadOutputHandshake, LinkCode::BadOutputHandshake},
      {13, 0, LinkCode::NotSupported, LinkCode::NotSupported},
      {3, 0, LinkCode::NotSupported, LinkCode::NotSupported},
      {0, 13, LinkCode::NotSupported, LinkCode::NotSupported},
      {0, 15, LinkCode::NotSupported, LinkCode::NotSupported},
  };
  termios before = DeviceSettings();
  {
    PosixPort b(pair.PathB());
    for (const auto& r : formats) {
      EXPECT_EQ(b.SetDataFormat(r.baud, r.parity, r.dataBits, r.stopBits), r.expected) << r.baud << ' ' << r.parity;
      EXPECT_EQ(b.TakeStatus(), r.expected);
      if (r.expected != 0) continue;
      uint32_t baud;
      char parity;
      int32_t dataBits, stopBits;
      b.GetDataFormat(baud, parity, dataBits, stopBits);
      EXPECT_EQ(std::make_tuple(baud, parity, dataBits, stopBits), std::make_tuple(r.baud, r.parity, r.dataBits, r.stopBits));
    }
    ASSERT_EQ(b.SetHandshake(4, 12), 0);
    for (const auto& r : refusedHandshakes) {
      EXPECT_EQ(b.SetHandshake(r.input, r.output), r.returned) << r.input << ' ' << r.output;
      EXPECT_EQ(b.TakeStatus(), r.left);
      int32_t in, out;
      EXPECT_EQ(b.GetHandshake(in, out), 0);
      EXPECT_EQ(in * 100 + out, 412);  // a refused pair keeps the last good one
    }

    // The last format row reaches the device: 5 data bits take one and a half stop bits (CSTOPB).
    // A pty keeps the rate and stop bits but forces 8 bits without parity, so only PARODD shows.
    ASSERT_EQ(b.SetHandshake(1, 1), 0);
    termios t = DeviceSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B2400));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_cflag & PARODD, 0u);
    EXPECT_EQ(t.c_lflag & ICANON, 0u);  // raw while open
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VSTART] * 256 + t.c_cc[VSTOP], 0x1113);
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
  termios after = DeviceSettings();
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
  EXPECT_EQ(std::make_tuple(after.c_cflag, after.c_iflag, after.c_lflag),
            std::make_tuple(before.c_cflag, before.c_iflag, before.c_lflag));
}

// Idle waits for what its caller waits for: input that arrives ends a long wait at once, and a
// hang-up reaches the caller as NoHardware. (What a wait costs: bench/zandrel-wait.sh.)
TEST_F(PosixPortTest, IdleEndsOnInputAndReportsADeadDevice) {
  PosixPort a(pair.PathA()), b(pair.PathB());
  std::thread writer([&a] {
    usleep(100000);
    a.PutString("x");
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(b.Idle(20000), 0);
  writer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // not the whole wait
  EXPECT_EQ(b.GetByte(), 'x');
  // After a short write Idle waits for room, not for input, even once a later write fitted (the
  // job's gathering link flushes before it waits): the writer must not sleep out the whole wait.
  std::vector<uint8_t> block(2048);
  while (a.Write(block.data(), 2048) == 2048) {}
  while (b.Idle(200) == 0 && b.Read(block.data(), 2048) > 0) {}
  ASSERT_EQ(a.Write(block.data(), 1), 1);
  const auto written = std::chrono::steady_clock::now();
  EXPECT_EQ(a.Idle(20000), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - written, std::chrono::seconds(10));
  pair.Stop();
  int32_t r = 0;
  for (int i = 0; i < 100 && r == 0; ++i) r = b.Idle(100);
  EXPECT_EQ(r, LinkCode::NoHardware);
}

// What StdioPort changes on what a process inherits, and that it gives all of it back: a cooked
// terminal raw at the rate asked while held, the descriptors non-blocking but for a socket
// (asked per call), and the lines that none of them carries reported unknown.
TEST_F(PosixPortTest, StdioPortGivesBackWhatItFound) {
  int pipes[2], sockets[2];
  ASSERT_EQ(pipe(pipes), 0);
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  const int terminal = open(pair.PathA().c_str(), O_RDWR | O_NOCTTY);
  termios cooked{};
  ASSERT_EQ(tcgetattr(terminal, &cooked), 0);
  cooked.c_iflag |= ICRNL | IXON;
  cooked.c_oflag |= OPOST | ONLCR;
  cooked.c_lflag |= ICANON | ECHO | ISIG;
  ASSERT_EQ(tcsetattr(terminal, TCSANOW, &cooked), 0);
  termios found{}, held{};
  tcgetattr(terminal, &found);
  for (const auto& r : {std::make_pair(terminal, terminal), std::make_pair(pipes[0], pipes[1]),
                        std::make_pair(sockets[0], sockets[0])}) {
    const int flags = fcntl(r.first, F_GETFL) * 10000 + fcntl(r.second, F_GETFL);
    {
      StdioPort port(true, false, r.first, r.second);
      ASSERT_EQ(port.Status(), 0);
      EXPECT_EQ(port.SetDataFormat(115200, 'N', 8, 1), 0);
      EXPECT_EQ(port.Signal(LineSignal::Dtr, 0) * 10 + port.Signal(LineSignal::Cd, -1), 22);  // a pty has no lines
      EXPECT_EQ((fcntl(r.second, F_GETFL) & O_NONBLOCK) != 0, r.second != sockets[0]) << r.second;
      tcgetattr(terminal, &held);
      const auto raw = std::make_tuple(held.c_lflag & (ICANON | ECHO | ISIG), held.c_iflag & (ICRNL | IXON), cfgetospeed(&held));
      EXPECT_EQ(raw, r.first == terminal ? std::make_tuple(0u, 0u, static_cast<speed_t>(B115200)) : raw);
    }
    EXPECT_EQ(fcntl(r.first, F_GETFL) * 10000 + fcntl(r.second, F_GETFL), flags);
    tcgetattr(terminal, &held);
    EXPECT_EQ(memcmp(&held, &found, sizeof held), 0);
  }
  // After a short write Idle waits for room, not for input, even once a later write fitted (a
  // gathering link flushes before it waits): the writer must not sleep out the whole wait.
  StdioPort port(false, false, sockets[0], sockets[0]);
  std::vector<uint8_t> block(1 << 20);
  ASSERT_LT(port.Write(block.data(), 1 << 20), 1 << 20);
  while (recv(sockets[1], block.data(), block.size(), MSG_DONTWAIT) > 0) {}
  ASSERT_EQ(port.Write(block.data(), 1), 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Idle(20000), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  for (int fd : {terminal, pipes[0], pipes[1], sockets[0], sockets[1]}) close(fd);
}

}  // namespace
