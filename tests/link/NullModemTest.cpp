// The virtual cable every engine-against-engine test stands on: data order, back-pressure, and
// exact virtual time-outs while the other side waits too.
#include "fakes/NullModem.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/SerialPort.h"

namespace {

TEST(NullModemTest, CarriesDataInOrderUnderBackPressure) {
  NullModem cable(3);
  cable.SetReceiveRoom(1000);
  std::vector<uint8_t> data(50000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  std::vector<uint8_t> got;
  cable.Run(
      [&](ComLink& a) {
        SerialPort port(&a);
        size_t done = 0;
        while (done < data.size()) {
          int32_t n = port.Write(data.data() + done, static_cast<int32_t>(data.size() - done));
          done += static_cast<size_t>(n > 0 ? n : 0);
          if (done < data.size()) port.Yield();
        }
      },
      [&](ComLink& b) {
        SerialPort port(&b);
        for (int32_t c; (c = port.GetChar(2000)) >= 0;) got.push_back(static_cast<uint8_t>(c));
      });
  EXPECT_EQ(got, data);
}

TEST(NullModemTest, TimeOutsAreExactWhileBothSidesWait) {
  NullModem cable(4);
  const uint32_t start = cable.Now();
  int32_t first = 0, second = 0;
  uint32_t firstAt = 0;
  cable.Run(
      [&](ComLink& a) {
        SerialPort port(&a);
        first = port.GetChar(5000);  // nothing comes
        firstAt = cable.Now() - start;
        port.PutChar('!');
      },
      [&](ComLink& b) {
        SerialPort port(&b);
        second = port.GetChar(60000);
      });
  EXPECT_EQ(first, LinkCode::Timeout);
  EXPECT_GE(firstAt, 5000u);
  EXPECT_LE(firstAt, 5002u);
  EXPECT_EQ(second, '!');
}

TEST(NullModemTest, PausedLineDeliversLate) {
  NullModem cable(5);
  LineFaults pause;
  pause.pause = 1.0;
  pause.pauseMs = 3000;
  cable.SetFaults(pause, LineFaults{});
  uint32_t arrived = 0;
  const uint32_t start = cable.Now();
  cable.Run([&](ComLink& a) { SerialPort(&a).PutChar('x'); },
            [&](ComLink& b) {
              SerialPort port(&b);
              EXPECT_EQ(port.GetChar(1000), LinkCode::Timeout);
              EXPECT_EQ(port.GetChar(5000), 'x');
              arrived = cable.Now() - start;
            });
  EXPECT_GE(arrived, 3000u);
  EXPECT_LE(arrived, 3005u);
}

}  // namespace
