// SerialPort, its companions and the ComLink helpers over the scriptable fake link and clock.
// (Drains and the line-error word are proven over the real ports, tests/link/*PortTest.cpp.)
#include "link/SerialPort.h"

#include <gtest/gtest.h>

#include <tuple>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "link/DataFormat.h"
#include "link/LineControl.h"
#include "link/Pause.h"

namespace {

struct SerialPortTest : ::testing::Test {
  FakeClock clock{5000};
  FakeComLink link;
};

TEST_F(SerialPortTest, GetCharDeadlinesPauseAndPutCharPacing) {
  SerialPort port(&link);
  // Time-out 0: one read, no Idle.
  EXPECT_EQ(port.GetChar(0), LinkCode::Timeout);
  EXPECT_EQ(link.idleCalls * 10 + link.getByteCalls, 1);

  // A byte due at +250 ms arrives inside a 1000 ms wait, when it is due and not before.
  link.AddInput(std::vector<uint8_t>{0x42}, FakeClock::Now() + 250);
  uint32_t start = FakeClock::Now();
  EXPECT_EQ(port.GetChar(1000), 0x42);
  EXPECT_EQ(FakeClock::Now() - start, 250u);

  // Nothing arrives: -802 exactly at the deadline, also across the counter's wrap.
  for (uint32_t at : {5000u, 0xFFFFFF00u}) {
    FakeClock::Set(at);
    EXPECT_EQ(port.GetChar(30000), LinkCode::Timeout);
    EXPECT_EQ(FakeClock::Now() - at, 30000u);
  }
  start = FakeClock::Now();
  EXPECT_EQ(Pause(port, 1000), 0);
  EXPECT_EQ(FakeClock::Now() - start, 1000u);

  // A negative Idle ends either wait with that result.
  link.FailCall("Idle", 3, -901);
  EXPECT_EQ(port.GetChar(1000), -901);
  link.FailCall("Idle", 10, -909);
  EXPECT_EQ(Pause(port, 1000), -909);

  // PutChar paces, and stops on a failed Idle.
  port.SetPacingDelay(20);
  start = FakeClock::Now();
  EXPECT_EQ(port.PutChar('a'), 0);
  EXPECT_EQ(FakeClock::Now() - start, 20u);
  link.FailCall("Idle", 1, -909);
  EXPECT_EQ(port.PutChar('b'), -909);
  link.FailCall("PutByte", 1, LinkCode::ShortWrite);
  const int32_t idles = link.idleCalls;
  EXPECT_EQ(port.PutChar('c'), LinkCode::ShortWrite);  // failed write: no pacing wait
  EXPECT_EQ(link.idleCalls, idles);
  EXPECT_EQ(std::string(link.output.begin(), link.output.end()), "ab");
}

TEST_F(SerialPortTest, PortLeavesLinkAsFoundAndCompanionsRestoreInReverse) {
  link.SetDataFormat(57600, 'E', 7, 2);
  link.SetHandshake(4, 12);
  {
    SerialPort port(&link);
    EXPECT_EQ(std::make_tuple(link.baudRate, link.parity, link.dataBits, link.stopBits, link.inputHandshake),
              std::make_tuple(9600u, 'N', 8, 1, 0));
    {
      // The job's own companions for a run, made after the port's.
      DataFormat runFormat(&port);
      ASSERT_EQ(runFormat.Set(115200, 'N', 8, 1), 0);
      LineControl runLines(&port);
      ASSERT_EQ(runLines.SetHandshake(1, 1), 0);
      // A refused rate keeps the previous one in the object.
      link.FailCall("SetDataFormat", 1, LinkCode::BadBaudRate);
      EXPECT_EQ(runFormat.SetBaud(12345), LinkCode::Failure);
      EXPECT_EQ(runFormat.BaudRate(), 115200u);
      link.events.clear();
    }
    // Destroyed in reverse: handshake first, then the format, each back to what it found.
    ASSERT_GE(link.events.size(), 2u);
    EXPECT_EQ(link.events[0], "handshake 0 0");
    EXPECT_EQ(link.events[1], "format 9600 N 8 1");
    link.events.clear();
  }
  EXPECT_EQ(link.events.front(), "handshake 4 12");
  EXPECT_EQ(link.events.back(), "format 57600 E 7 2");
  DataFormat detached;
  EXPECT_EQ(detached.Apply(), LinkCode::Failure);
}

TEST_F(SerialPortTest, OpenFailureIsReportedOnceAndTheLinkIsNotTouched) {
  link.SetOpenFailure(LinkCode::PortInUse);
  SerialPort port(&link);
  EXPECT_EQ(port.Lines(), nullptr);
  EXPECT_EQ(port.Format(), nullptr);
  EXPECT_TRUE(link.events.empty());
  uint16_t word = 0xFFFF;
  EXPECT_EQ(port.LineErrors(word), LinkCode::PortInUse);
  EXPECT_EQ(word, 0);
  EXPECT_EQ(port.LineErrors(word), 0);
}

TEST(ComLinkTrapTest, UnimplementedOperationEndsTheProcess) {
  EXPECT_EXIT(
      {
        ComLink bare;
        bare.GetByte();
      },
      ::testing::ExitedWithCode(1),
      "Pure Virtual function called @COMLINK,.+\\s+Unable to continue execution");
}

}  // namespace
