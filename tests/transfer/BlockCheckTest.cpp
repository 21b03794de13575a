// Check values against the published catalogue values, and byte-wise updates against blocks.
#include "transfer/BlockCheck.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {
const uint8_t kDigits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(BlockCheckTest, KnownValues) {
  BlockCheck sum;
  const uint8_t wraps[] = {0xFF, 0x02};
  EXPECT_EQ(sum.Compute(wraps, 2, 0), 0x01u);
  EXPECT_EQ(sum.Compute(wraps, 0, 0x55), 0u);
  EXPECT_EQ(sum.Bits(), 8);

  Crc16Check crc16;
  EXPECT_EQ(crc16.Compute(kDigits, 9, 0), 0x31C3u);
  EXPECT_EQ(crc16.Compute(kDigits, 0, 0x1234), 0x1234u);
  EXPECT_EQ(crc16.Bits(), 16);

  Crc32Check crc32;
  EXPECT_EQ(crc32.Compute(kDigits, 9, 0xFFFFFFFFu), 0x340BC6D9u);
  EXPECT_EQ(~crc32.Compute(kDigits, 9, 0xFFFFFFFFu), 0xCBF43926u);
  EXPECT_EQ(crc32.Compute(kDigits, 0, 0xDEADBEEFu), 0xDEADBEEFu);
  EXPECT_EQ(crc32.Bits(), 32);
}

TEST(BlockCheckTest, ByteWiseUpdatesMatchBlocksAndSwapThroughTheBase) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(4099);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  uint32_t r16 = 0, r32 = 0xFFFFFFFFu;
  for (uint8_t b : data) {
    r16 = Crc16Update(b, r16);
    r32 = Crc32Update(b, r32);
    ASSERT_LE(r16, 0xFFFFu);
  }
  // Engines hold the calculator through the base and swap it at run time.
  std::unique_ptr<BlockCheck> check = std::make_unique<Crc16Check>();
  EXPECT_EQ(check->Compute(data.data(), data.size(), 0), r16);
  check = std::make_unique<Crc32Check>();
  EXPECT_EQ(check->Compute(data.data(), data.size(), 0xFFFFFFFFu), r32);
  // Split computation chains through the initial value.
  EXPECT_EQ(check->Compute(data.data() + 1000, data.size() - 1000,
                           check->Compute(data.data(), 1000, 0xFFFFFFFFu)),
            r32);
  EXPECT_EQ(kCrc16Table[1], 0x1021u);
  EXPECT_EQ(kCrc16Table[255], 0x1EF0u);
  EXPECT_EQ(kCrc32Table[1], 0x77073096u);
}
}  // namespace
