// Check values against the published catalogue values, and byte-wise updates against blocks.
#include "transfer/BlockCheck.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {
const uint8_t kDigits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(BlockCheckTest, KnownValuesAndByteWiseUpdates) {
  const uint8_t wraps[] = {0xFF, 0x02};
  EXPECT_EQ(BlockCheck().Compute(wraps, 2, 0), 0x01u);
  EXPECT_EQ(Crc16Check().Compute(kDigits, 9, 0), 0x31C3u);
  Crc32Check crc32;
  EXPECT_EQ(~crc32.Compute(kDigits, 9, 0xFFFFFFFFu), 0xCBF43926u);
  std::mt19937 rng(7);
  std::vector<uint8_t> data(4099);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  uint32_t r16 = 0, r32 = 0xFFFFFFFFu;
  for (uint8_t b : data) {
    r16 = Crc16Update(b, r16);
    r32 = Crc32Update(b, r32);
  }
  EXPECT_EQ(Crc16Check().Compute(data.data(), data.size(), 0), r16);
  // Split computation chains through the initial value.
  EXPECT_EQ(crc32.Compute(data.data() + 1000, data.size() - 1000, crc32.Compute(data.data(), 1000, 0xFFFFFFFFu)), r32);
}
}  // namespace
