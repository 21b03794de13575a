// Win32Port against Wine's serial emulation: COM ports joined by a socat pty pair (with-ptys.sh
// exports which). What a pty cannot show (modem lines, DTR/RTS, a port held elsewhere or twice
// in this process, a failed open, refused codes, Dump) is covered against a scripted device in
// tests/link/Win32PortTest.cpp.
#include "link/Win32Port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "fakes/Prerequisite.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"

namespace {
// One pair of ports: empty input answers at once, a write stops at the transmit queue, a bounded
// drain says when more is waiting, and Wine's device takes the settings written back. (Every
// byte value both ways is proven by the whole transfers, transfer.sh.)
TEST(Win32PortPty, WritesStopAtTheQueueAndDrainsAreBounded) {
  const char* a = std::getenv("ZANDREL_COM_A");
  const char* b = std::getenv("ZANDREL_COM_B");
  REQUIRE_PREREQUISITE(a && b, "run through with-ptys.sh: no COM ports mapped");
  Win32Port left(std::atoi(a) - 1, 4096, 2048), right(std::atoi(b) - 1, 4096, 2048);
  ASSERT_EQ(left.Status(), 0);
  ASSERT_EQ(right.Status(), 0);
  SerialPort l(&left), r(&right);
  uint8_t buffer[512];
  const uint32_t start = TickSource::Now();
  EXPECT_EQ(left.Read(buffer, sizeof buffer), 0);
  EXPECT_EQ(left.GetByte(), LinkCode::Timeout);
  EXPECT_EQ(l.GetChar(0), LinkCode::Timeout);
  EXPECT_LT(TickSource::Now() - start, 1000u);  // only a read that waited would take this long

  std::vector<uint8_t> data(3000), got;
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  EXPECT_EQ(right.Write(data.data(), 3000), 2048);
  EXPECT_EQ(right.Status(), LinkCode::ShortWrite);
  data.resize(2048);
  uint32_t deadline = TickSource::Now() + 2000;
  while (got.size() < data.size() && !TickSource::Passed(deadline)) {
    const int32_t n = left.Read(buffer, sizeof buffer);
    if (n > 0) got.insert(got.end(), buffer, buffer + n);
    else left.Idle(1);
  }
  EXPECT_EQ(got, data);

  EXPECT_EQ(l.Write(data.data(), 10), 10);
  deadline = TickSource::Now() + 2000;
  while (r.RxCount() < 10 && !TickSource::Passed(deadline)) right.Idle(1);
  EXPECT_EQ(r.ClearInput(4), LinkCode::Failure);
  EXPECT_EQ(r.ClearInput(100), 0);
  EXPECT_EQ(r.GetChar(0), LinkCode::Timeout);
  EXPECT_EQ(left.SetHandshake(1, 1), 0);
  EXPECT_EQ(left.SetDataFormat(9600, 'E', 7, 2), 0);
}
}  // namespace
