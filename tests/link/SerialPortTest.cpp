// SerialPort, its companions and the ComLink helpers over the scriptable fake link and clock.
#include "link/SerialPort.h"

#include <gtest/gtest.h>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "link/DataFormat.h"
#include "link/LineControl.h"
#include "link/Pause.h"
#include "link/TickSource.h"

namespace {

struct SerialPortTest : ::testing::Test {
  FakeClock clock{5000};
  FakeComLink link;
};

TEST_F(SerialPortTest, GetCharDeadlines) {
  SerialPort port(&link);
  // Time-out 0: one read, no Idle.
  EXPECT_EQ(port.GetChar(0), LinkCode::Timeout);
  EXPECT_EQ(link.idleCalls, 0);
  EXPECT_EQ(link.getByteCalls, 1);

  // A byte due at +250 ms arrives inside a 1000 ms wait, when it is due and not before.
  link.AddInput(std::vector<uint8_t>{0x42}, FakeClock::Now() + 250);
  const uint32_t start = FakeClock::Now();
  EXPECT_EQ(port.GetChar(1000), 0x42);
  EXPECT_EQ(FakeClock::Now() - start, 250u);

  // Nothing arrives: -802 exactly at the deadline.
  const uint32_t before = FakeClock::Now();
  EXPECT_EQ(port.GetChar(30000), LinkCode::Timeout);
  EXPECT_EQ(FakeClock::Now() - before, 30000u);

  // A negative Idle ends the wait with that result.
  link.FailCall("Idle", 3, -901);
  EXPECT_EQ(port.GetChar(1000), -901);
}

TEST_F(SerialPortTest, DeadlinesSurviveTheCounterWrap) {
  FakeClock::Set(0xFFFFFF00u);
  SerialPort port(&link);
  const uint32_t start = FakeClock::Now();
  EXPECT_EQ(port.GetChar(1000), LinkCode::Timeout);
  EXPECT_EQ(FakeClock::Now() - start, 1000u);  // not 0, not forever
}

TEST_F(SerialPortTest, PutCharPacesAndStopsOnIdleFailure) {
  SerialPort port(&link);
  port.SetPacingDelay(20);
  const uint32_t start = FakeClock::Now();
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

TEST_F(SerialPortTest, ClearInputDrainResults) {
  SerialPort port(&link);
  link.AddInput("12345");
  EXPECT_EQ(port.ClearInput(3), LinkCode::Failure);  // three dropped, input not found empty
  EXPECT_EQ(link.Pending(), 2u);
  EXPECT_EQ(port.ClearInput(3), 0);  // both dropped, found empty
  EXPECT_EQ(link.Pending(), 0u);
  link.AddInput("xyz");
  EXPECT_EQ(port.ClearInput(0), 0);  // purge
  EXPECT_EQ(link.Pending(), 0u);
}

TEST_F(SerialPortTest, PortLeavesLinkAsFoundAndCompanionsRestoreInReverse) {
  link.baudRate = 57600;
  link.parity = 'E';
  link.dataBits = 7;
  link.stopBits = 2;
  link.inputHandshake = 4;
  link.outputHandshake = 12;
  {
    SerialPort port(&link);
    EXPECT_EQ(link.baudRate, 9600u);
    EXPECT_EQ(link.parity, 'N');
    EXPECT_EQ(link.dataBits, 8);
    EXPECT_EQ(link.inputHandshake, 0);
    {
      // The job's own companions for a run, made after the port's.
      DataFormat runFormat(&port);
      ASSERT_EQ(runFormat.Set(115200, 'N', 8, 1), 0);
      LineControl runLines(&port);
      ASSERT_EQ(runLines.SetHandshake(1, 1), 0);
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
  EXPECT_EQ(link.baudRate, 57600u);
  EXPECT_EQ(link.outputHandshake, 12);
}

TEST_F(SerialPortTest, RefusedBaudRateKeepsThePreviousValue) {
  SerialPort port(&link);
  DataFormat format(&port);
  ASSERT_EQ(format.SetBaud(38400), 0);
  link.FailCall("SetDataFormat", 1, LinkCode::BadBaudRate);
  EXPECT_EQ(format.SetBaud(12345), LinkCode::Failure);
  EXPECT_EQ(format.BaudRate(), 38400u);
  DataFormat detached;
  EXPECT_EQ(detached.Apply(), LinkCode::Failure);
  EXPECT_EQ(detached.ReadFromLink(), LinkCode::Failure);
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
  EXPECT_EQ(word, 0);
}

TEST_F(SerialPortTest, LineErrorWordAndSnapshot) {
  SerialPort port(&link);
  link.signals[LineSignal::ParityError] = 1;
  link.signals[LineSignal::BreakDetected] = 1;
  link.signals[LineSignal::Cd] = 1;
  uint16_t word = 0;
  EXPECT_EQ(port.LineErrors(word), 0);
  EXPECT_EQ(word, (1u << 0) | (1u << 4));
  EXPECT_NE(port.Lines()->CarrierDetect(), 0);
  EXPECT_EQ(port.LineErrors(word), 0);  // accumulated errors were cleared by the snapshot
  EXPECT_EQ(word, 0);
}

TEST_F(SerialPortTest, PauseWaitsAndPassesIdleFailuresUp) {
  SerialPort port(&link);
  const uint32_t start = FakeClock::Now();
  EXPECT_EQ(Pause(port, 1000), 0);
  EXPECT_EQ(FakeClock::Now() - start, 1000u);
  link.FailCall("Idle", 10, -901);
  EXPECT_EQ(Pause(port, 1000), -901);
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
