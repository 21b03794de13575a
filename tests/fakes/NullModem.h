// A virtual null-modem cable: two in-memory ComLink ends for engine-against-engine runs on two
// threads, under a lockstep virtual clock (time moves only while every running side waits in
// Idle, so time-outs are exact and free of scheduling noise), with seeded line faults.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>

#include "link/ComLink.h"

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
  // Bytes that can wait unread in each end's receive side (a pty or UART buffer).
  void SetReceiveRoom(size_t bytes);
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

  uint32_t Now() const;

 private:
  friend class End;
  struct Shared;
  std::unique_ptr<Shared> shared;
  std::unique_ptr<End> a, b;
};

class NullModem::End : public ComLink {
 public:
  End(NullModem::Shared& s, int which);
  ~End() override;

  int32_t Idle() override;
  int32_t ReadModemStatus() override;
  void Initialize(int32_t) override {}
  int32_t OpenDevice() override { return 0; }
  int32_t CloseDevice() override { return 0; }
  void GetBufferStatus(BufferStatus& s, int32_t side) override;
  int32_t SetBufferSizes(int32_t, int32_t, int32_t) override { return 0; }
  int32_t SetHandshake(int32_t inputCode, int32_t outputCode) override;
  int32_t GetHandshake(int32_t& inputCode, int32_t& outputCode) override;
  int32_t SetBreak(int32_t state) override;
  int32_t Signal(int32_t number, int32_t value) override;
  int32_t SetDataFormat(uint32_t baud, char par, int32_t data, int32_t stop) override;
  void GetDataFormat(uint32_t& baud, char& par, int32_t& data, int32_t& stop) override;
  int32_t GetLineStatus(LineStatus& s) override;
  int32_t PutByte(uint8_t byte) override;
  int32_t PutString(const char* text) override;
  int32_t Write(const uint8_t* data, int32_t length) override;
  int32_t TransmitImmediate(uint8_t byte) override { return PutByte(byte); }
  int32_t GetByte() override;
  int32_t Read(uint8_t* data, int32_t length) override;
  int32_t ClearBuffer(int32_t direction, int32_t count) override;
  void Dump(DumpCallback callback, void* context) override;

  // Bytes this end has written (before faults), for tests that check the wire.
  const std::deque<uint8_t>& Sent() const { return sent; }

 private:
  NullModem::Shared& shared;
  int which;
  std::deque<uint8_t> sent;
  // Like a real port, Idle returns at once for input that arrived, but a caller that leaves it
  // unread (a fixed pause) must still let time move, or both ends could stall each other.
  bool idleSawInput = false;
  bool readSinceIdle = false;
  uint32_t baudRate = 9600;
  char parity = 'N';
  int32_t dataBits = 8, stopBits = 1;
  int32_t inputHandshake = 0, outputHandshake = 0;
  int32_t dtr = 1, rts = 1, breakState = 0;
};
