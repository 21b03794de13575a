// Block check calculators: the 8-bit arithmetic sum (XModem checksum mode, ACK/NAK), CRC-16
// (polynomial 0x1021, MSB first: XModem CRC mode, ZModem) and CRC-32 (reflected 0xEDB88320:
// ZModem). Engines own one and may swap it at run time.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

// The base class is itself the 8-bit checksum.
class BlockCheck {
 public:
  BlockCheck() : bits(8) {}
  virtual ~BlockCheck() = default;
  // Sum modulo 256 of the bytes; `initial` is ignored; length 0 gives 0.
  virtual uint32_t Compute(const uint8_t* data, size_t length, uint32_t initial);
  int32_t Bits() const { return bits; }

 protected:
  explicit BlockCheck(int32_t width) : bits(width) {}
  int32_t value = 0;
  int32_t bits;
};

class Crc16Check : public BlockCheck {
 public:
  Crc16Check() : BlockCheck(16) {}
  // CRC-16/XMODEM with initial 0; no final complement; length 0 gives `initial`.
  uint32_t Compute(const uint8_t* data, size_t length, uint32_t initial) override;
};

class Crc32Check : public BlockCheck {
 public:
  Crc32Check() : BlockCheck(32) {}
  // The register as it stands: the caller picks the initial value and any final complement.
  uint32_t Compute(const uint8_t* data, size_t length, uint32_t initial) override;
};

// One byte of the CRC-32 step.
uint32_t Crc32Update(uint8_t byte, uint32_t crc);
// One byte of the CRC-16 step; stays within 16 bits when the register does.
uint32_t Crc16Update(uint8_t byte, uint32_t crc);

// The constant tables (entry 1 is 0x1021 and 0x77073096).
extern const std::array<uint32_t, 256> kCrc16Table;
extern const std::array<uint32_t, 256> kCrc32Table;
