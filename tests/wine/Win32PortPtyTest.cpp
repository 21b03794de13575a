// Win32Port against Wine's serial emulation: COM ports joined by a socat pty pair (with-ptys.sh
// exports which). What a pty cannot show (modem lines, DTR/RTS, another process holding the
// port, a failed open, refused codes, Dump) is covered against a scripted device in
// tests/link/Win32PortTest.cpp.
#include "link/Win32Port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "link/PortInUseTable.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"

namespace {

int32_t PortIndexFromEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) - 1 : -1;
}

class Win32PortPty : public ::testing::Test {
 protected:
  void SetUp() override {
    a = PortIndexFromEnv("ZANDREL_COM_A");
    b = PortIndexFromEnv("ZANDREL_COM_B");
    if (a < 0 || b < 0) GTEST_SKIP() << "run through with-ptys.sh: no COM ports mapped";
  }

  // Everything `from` sends, read at `to` within two seconds of polling.
  static std::vector<uint8_t> Receive(Win32Port& to, size_t expected) {
    std::vector<uint8_t> got;
    uint8_t buffer[512];
    const uint32_t deadline = TickSource::Now() + 2000;
    while (got.size() < expected && !TickSource::Passed(deadline)) {
      int32_t n = to.Read(buffer, sizeof buffer);
      if (n > 0) got.insert(got.end(), buffer, buffer + n);
      else to.Idle();
    }
    return got;
  }

  int32_t a = -1, b = -1;
};

TEST_F(Win32PortPty, OpensOncePerProcessAndReleasesOnDestruction) {
  {
    Win32Port first(a, 4096, 2048);
    ASSERT_EQ(first.Status(), 0);
    EXPECT_EQ(PortInUseTable::Count(a), 1);

    // Wine lets a device be opened twice, so only the process table stops the second object.
    Win32Port second(a, 4096, 2048);
    EXPECT_EQ(second.Status(), LinkCode::PortInUse);
    EXPECT_EQ(PortInUseTable::Count(a), 1);
    EXPECT_EQ(second.Write(reinterpret_cast<const uint8_t*>("x"), 1), 0);

    // The first one still owns a working device.
    Win32Port far(b, 4096, 2048);
    ASSERT_EQ(far.Status(), 0);
    EXPECT_EQ(first.PutString("still here"), 10);
    auto got = Receive(far, 10);
    EXPECT_EQ(std::string(got.begin(), got.end()), "still here");
  }
  EXPECT_EQ(PortInUseTable::Count(a), 0);
  EXPECT_EQ(PortInUseTable::Count(b), 0);
  Win32Port again(a, 4096, 2048);
  EXPECT_EQ(again.Status(), 0);
}

// One pair of ports: empty input answers at once, a write stops at the transmit queue, a bounded
// drain says when more is waiting, and Wine's device takes the settings written back. (Every
// byte value both ways is proven by the whole transfers, transfer.sh.)
TEST_F(Win32PortPty, WritesStopAtTheQueueAndDrainsAreBounded) {
  Win32Port left(a, 4096, 2048), right(b, 4096, 2048);
  ASSERT_EQ(left.Status(), 0);
  ASSERT_EQ(right.Status(), 0);
  SerialPort l(&left), r(&right);
  uint8_t buffer[16];
  const uint32_t start = TickSource::Now();
  EXPECT_EQ(left.Read(buffer, sizeof buffer), 0);
  EXPECT_EQ(left.GetByte(), LinkCode::Timeout);
  EXPECT_EQ(l.GetChar(0), LinkCode::Timeout);
  EXPECT_LT(TickSource::Now() - start, 1000u);  // only a read that waited would take this long

  std::vector<uint8_t> data(3000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  EXPECT_EQ(right.Write(data.data(), 3000), 2048);
  EXPECT_EQ(right.Status(), LinkCode::ShortWrite);
  data.resize(2048);
  EXPECT_EQ(Receive(left, 2048), data);

  EXPECT_EQ(l.Write(data.data(), 10), 10);
  const uint32_t deadline = TickSource::Now() + 2000;
  while (r.RxCount() < 10 && !TickSource::Passed(deadline)) right.Idle();
  EXPECT_EQ(r.ClearInput(4), LinkCode::Failure);
  EXPECT_EQ(r.ClearInput(100), 0);
  EXPECT_EQ(r.GetChar(0), LinkCode::Timeout);
  EXPECT_EQ(left.SetHandshake(1, 1), 0);
  EXPECT_EQ(left.SetDataFormat(9600, 'E', 7, 2), 0);
}

}  // namespace
