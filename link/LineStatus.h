// Line signal numbers, the packed line status snapshot and the queue status record shared by
// every ComLink.
#pragma once
#include <cstdint>

namespace LineSignal {
constexpr int32_t XonXoff = 1;  // handshake code only
constexpr int32_t Dtr = 3;
constexpr int32_t Rts = 4;
constexpr int32_t BreakState = 7;
constexpr int32_t Cts = 12;
constexpr int32_t Dsr = 13;
constexpr int32_t Ri = 14;
constexpr int32_t Cd = 15;
constexpr int32_t Extra17 = 17, Extra18 = 18, Extra19 = 19, Extra20 = 20;
constexpr int32_t OverrunError = 25;
constexpr int32_t ParityError = 26;
constexpr int32_t FramingError = 27;
constexpr int32_t BreakDetected = 28;
constexpr int32_t ReceiveOverflow = 31;
}  // namespace LineSignal

// Sixteen 2-bit fields, each what Signal(number, -1) answered, from the least significant bits up
// in the order of kSignals.
struct LineStatus {
  static constexpr int32_t kSignals[16] = {
      LineSignal::Dtr,          LineSignal::Rts,          LineSignal::BreakState,
      LineSignal::Dsr,          LineSignal::Cts,          LineSignal::Ri,
      LineSignal::Cd,           LineSignal::Extra20,      LineSignal::Extra19,
      LineSignal::Extra17,      LineSignal::Extra18,      LineSignal::BreakDetected,
      LineSignal::ParityError,  LineSignal::FramingError, LineSignal::ReceiveOverflow,
      LineSignal::OverrunError};

  uint32_t bits = 0;

  // The field of signal `number` (0..3), 0 for a number that is not in the layout.
  int32_t Field(int32_t number) const {
    for (int i = 0; i < 16; ++i)
      if (kSignals[i] == number) return static_cast<int32_t>((bits >> (2 * i)) & 3u);
    return 0;
  }
  void SetField(int index, int32_t value) {
    bits &= ~(3u << (2 * index));
    bits |= (static_cast<uint32_t>(value) & 3u) << (2 * index);
  }
};

struct BufferStatus {
  int32_t receivePresent = 0;
  int32_t receiveCount = 0;
  int32_t receiveSize = 0;
  int32_t transmitPresent = 0;
  int32_t transmitCount = 0;
  int32_t transmitSize = 0;
  uint16_t flags = 0;  // bit 0: we sent XOFF; bit 1: output held by CTS, DSR or a received XOFF
};

namespace BufferSide {
constexpr int32_t Receive = 1;
constexpr int32_t Transmit = 2;
constexpr int32_t Both = 7;
}  // namespace BufferSide
