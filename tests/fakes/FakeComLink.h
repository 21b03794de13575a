// A scriptable ComLink for single-threaded tests: input delivered in chosen chunk sizes (and at
// chosen fake times), output and settings changes recorded, modem lines as a test sets them, a
// fault plan that fails the Nth call of an operation once or for good, and Idle advancing the
// FakeClock.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/ComLink.h"

class FakeComLink : public ComLink {
 public:
  struct Fault {
    int32_t nth = 1;        // the call (1-based) that fails first
    int32_t result = LinkCode::Failure;
    bool forever = false;   // and every call after it
    int32_t calls = 0;
  };

  explicit FakeComLink(int32_t port = 0) : ComLink(port) {}

  // Input side.
  void AddInput(const std::vector<uint8_t>& bytes, uint32_t atMs = 0);
  void AddInput(const std::string& text, uint32_t atMs = 0);
  size_t Pending() const;  // bytes queued, due or not

  // Failures: op is the operation's name ("PutByte", "Write", "Idle", "GetByte", "SetHandshake",
  // "SetDataFormat", ...). A failing Write/PutByte moves nothing and returns `result`.
  void FailCall(const std::string& op, int32_t nth, int32_t result, bool forever = false);
  void SetOpenFailure(int32_t code) { lastStatus = code; }

  // Called after every Write/PutByte with the link, so a scripted peer can answer.
  std::function<void(FakeComLink&)> onOutput;

  std::vector<uint8_t> output;
  std::vector<std::string> events;  // "handshake 4 12", "format 9600 N 8 1", ...
  size_t readChunk = SIZE_MAX;      // most bytes one Read hands out
  uint32_t readMs = 0;              // the clock moves this much per read that hands out bytes
  size_t writeChunk = SIZE_MAX;     // most bytes one Write accepts (-805 when short)
  uint32_t idleStepMs = 1;
  int32_t idleCalls = 0;
  int32_t getByteCalls = 0;

  // Current settings.
  uint32_t baudRate = 19200;
  char parity = 'N';
  int32_t dataBits = 8, stopBits = 1;
  int32_t inputHandshake = 0, outputHandshake = 0;
  std::map<int32_t, int32_t> signals;  // signal number -> state, as Signal reports it (0 unset)

  int32_t Idle(int32_t maxWaitMs) override;
  void GetBufferStatus(BufferStatus& s, int32_t side) override;
  int32_t SetBufferSizes(int32_t, int32_t, int32_t) override { return 0; }
  int32_t SetHandshake(int32_t inputCode, int32_t outputCode) override;
  int32_t GetHandshake(int32_t& inputCode, int32_t& outputCode) override;
  int32_t Signal(int32_t number, int32_t value) override;
  int32_t SetDataFormat(uint32_t baud, char par, int32_t data, int32_t stop) override;
  void GetDataFormat(uint32_t& baud, char& par, int32_t& data, int32_t& stop) override;
  int32_t GetLineStatus(LineStatus& s) override;
  int32_t PutByte(uint8_t byte) override;
  int32_t Write(const uint8_t* data, int32_t length) override;
  int32_t GetByte() override;
  int32_t Read(uint8_t* data, int32_t length) override;
  int32_t ClearBuffer(int32_t direction, int32_t count) override;

 private:
  int32_t Failing(const char* op);  // the planned failure of this call, or 0
  struct Timed {
    uint32_t at;
    uint8_t byte;
  };
  std::deque<Timed> input;
  std::map<std::string, Fault> faults;
};
