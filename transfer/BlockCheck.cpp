// Table-driven checks, one lookup per byte. The tables are built by the compiler, so they are
// constant data exactly as the usual table rule gives them.
#include "transfer/BlockCheck.h"

namespace {
constexpr std::array<uint32_t, 256> MakeCrc16Table() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i << 8;
    for (int k = 0; k < 8; ++k) r = (r & 0x8000u) ? ((r << 1) ^ 0x1021u) : (r << 1);
    t[i] = r & 0xFFFFu;
  }
  return t;
}
constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i;
    for (int k = 0; k < 8; ++k) r = (r & 1u) ? ((r >> 1) ^ 0xEDB88320u) : (r >> 1);
    t[i] = r;
  }
  return t;
}
}  // namespace

constexpr std::array<uint32_t, 256> kCrc16TableData = MakeCrc16Table();
constexpr std::array<uint32_t, 256> kCrc32TableData = MakeCrc32Table();
static_assert(kCrc16TableData[1] == 0x1021 && kCrc16TableData[255] == 0x1EF0, "CRC-16 table");
static_assert(kCrc32TableData[1] == 0x77073096u, "CRC-32 table");
const std::array<uint32_t, 256> kCrc16Table = kCrc16TableData;
const std::array<uint32_t, 256> kCrc32Table = kCrc32TableData;

uint32_t BlockCheck::Compute(const uint8_t* data, size_t length, uint32_t) {
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  value = sum;
  return sum;
}

uint32_t Crc16Check::Compute(const uint8_t* data, size_t length, uint32_t initial) {
  uint32_t r = initial & 0xFFFFu;
  for (size_t i = 0; i < length; ++i)
    r = ((r << 8) ^ kCrc16TableData[((r >> 8) & 0xFFu) ^ data[i]]) & 0xFFFFu;
  return r;
}

uint32_t Crc32Check::Compute(const uint8_t* data, size_t length, uint32_t initial) {
  uint32_t r = initial;
  for (size_t i = 0; i < length; ++i) r = (r >> 8) ^ kCrc32TableData[(r ^ data[i]) & 0xFFu];
  return r;
}

uint32_t Crc32Update(uint8_t byte, uint32_t crc) {
  return kCrc32TableData[(crc ^ byte) & 0xFFu] ^ (crc >> 8);
}

uint32_t Crc16Update(uint8_t byte, uint32_t crc) {
  return (kCrc16TableData[((crc >> 8) ^ byte) & 0xFFu] & 0xFFFFu) ^ ((crc & 0xFFu) << 8);
}
