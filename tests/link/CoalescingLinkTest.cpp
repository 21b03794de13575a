#include "link/CoalescingLink.h"

#include <gtest/gtest.h>

#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"

namespace {
TEST(CoalescingLink, BackToBackWritesLeaveInOneWriteBeforeAnyReadAndFullRoomIsAQueue) {
  FakeClock clock{1000};
  FakeComLink inner;
  std::vector<size_t> writes;  // output size after each device write
  inner.onOutput = [&](FakeComLink& l) { writes.push_back(l.output.size()); };
  CoalescingLink link(&inner);
  const uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_EQ(0, link.PutByte(0x07));
  EXPECT_EQ(4, link.Write(data, 4));
  EXPECT_EQ(0, link.PutByte(0x99));
  EXPECT_TRUE(writes.empty());
  BufferStatus s;
  link.GetBufferStatus(s, BufferSide::Both);
  EXPECT_EQ((std::vector<size_t>{6}), writes);
  EXPECT_EQ((std::vector<uint8_t>{0x07, 1, 2, 3, 4, 0x99}), inner.output);
  // Each kind of look at the line hands gathered bytes on first.
  link.PutByte(5);
  link.GetByte();
  link.PutByte(6);
  link.Idle(1);
  link.PutByte(7);
  uint8_t b;
  link.Read(&b, 1);
  EXPECT_EQ((std::vector<size_t>{6, 7, 8, 9}), writes);

  // Full room and purge behave like a queue.
  inner.FailCall("Write", 1, LinkCode::ShortWrite, true);  // the device takes nothing
  std::vector<uint8_t> big(CoalescingLink::kRoom + 10, 0xAA);
  EXPECT_EQ(static_cast<int32_t>(CoalescingLink::kRoom), link.Write(big.data(), static_cast<int32_t>(big.size())));
  EXPECT_EQ(LinkCode::ShortWrite, link.PutByte(1));
  link.GetBufferStatus(s, BufferSide::Both);
  EXPECT_EQ(static_cast<int32_t>(CoalescingLink::kRoom), s.transmitCount);
  link.ClearBuffer(1, 0);  // purging the transmit side drops the gathered bytes
  link.GetBufferStatus(s, BufferSide::Both);
  EXPECT_EQ(0, s.transmitCount);
  EXPECT_EQ(0, link.PutByte(1));
}
}  // namespace
