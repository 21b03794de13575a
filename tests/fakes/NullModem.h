// A virtual null-modem cable: two in-memory ComLink ends for engine-against-engine runs on two
// threads, under the Lockstep virtual clock, with seeded line faults. The ends keep FakeComLink's
// settings and records; the bytes, the idle and the modem lines go through the cable.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "fakes/FakeComLink.h"
#include "fakes/Lockstep.h"

// Per-byte fault rates of one direction of the cable; all 0 is a clean line.
struct LineFaults {
  double flip = 0;           // flip one bit of the byte
  double drop = 0;           // lose the byte
  double insert = 0;         // add a random byte before it
  double burst = 0;          // start a burst of random noise before it
  int32_t burstLength = 64;
  double pause = 0;          // hold the line silent before it
  uint32_t pauseMs = 3000;
  double strayFlow = 0;      // insert XON or XOFF before it
};

class NullModem {
 public:
  class End;

  explicit NullModem(uint64_t seed = 1, uint32_t startMs = 1000);
  ~NullModem();
  NullModem(const NullModem&) = delete;
  NullModem& operator=(const NullModem&) = delete;

  End& A();
  End& B();
  // Faults on bytes written by A (toward B) and by B (toward A).
  void SetFaults(const LineFaults& aToB, const LineFaults& bToA);
  // A line that carries bytesPerSecond each way (0, the default: bytes arrive at once). Of what a
  // side has written and the line not yet delivered, the last queueBytes at most wait in its
  // device queue, which its ClearBuffer(1) drops; the holdBytes ahead of them are on the wire or
  // in a modem's buffer, beyond any purge.
  void SetLine(double bytesPerSecond, size_t holdBytes, size_t queueBytes);
  // Bytes damaged by flips, both ways; bytes each side wrote that its purges dropped.
  int64_t Flips() const;
  int64_t Dropped(int side) const;

  // Runs both sides on their own threads under the virtual clock; returns when both ended.
  void Run(const std::function<void(End&)>& sideA, const std::function<void(End&)>& sideB);

 private:
  friend class End;
  struct Shared;
  std::unique_ptr<Shared> shared;
  std::unique_ptr<End> a, b;
};

class NullModem::End : public FakeComLink {
 public:
  End(NullModem::Shared& s, int which);

  int32_t Idle(int32_t maxWaitMs) override;
  int32_t ReadModemStatus() override;
  void GetBufferStatus(BufferStatus& s, int32_t side) override;
  int32_t Signal(int32_t number, int32_t value) override;
  int32_t PutByte(uint8_t byte) override { return Write(&byte, 1) == 1 ? 0 : lastStatus; }
  int32_t Write(const uint8_t* data, int32_t length) override;
  int32_t GetByte() override;
  int32_t Read(uint8_t* data, int32_t length) override;
  int32_t ClearBuffer(int32_t direction, int32_t count) override;

  // Bytes this end has written (before faults), for tests that check the wire; a long run that
  // does not look at them turns recordSent off before Run.
  const std::deque<uint8_t>& Sent() const { return sent; }
  bool recordSent = true;

 private:
  NullModem::Shared& shared;
  int which;
  std::deque<uint8_t> sent;
  Lockstep::Side idle;
  int32_t dtr = 1, rts = 1;
};
