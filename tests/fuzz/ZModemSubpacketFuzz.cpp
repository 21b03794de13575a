// Fuzz target: ZModem's data subpacket reader behind a valid ZDATA header of either CRC kind,
// so the fuzzer spends its effort on escapes, frame ends, lengths and CRCs of the data.
#include <cstddef>
#include <cstdint>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fuzz/FuzzStatus.h"
#include "link/SerialPort.h"
#include "transfer/zmodem/ZModem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FakeClock clock;
  // A sending engine makes the header the receiving one starts from.
  FakeComLink headerLink;
  SerialPort headerPort(&headerLink);
  ZModem maker(&headerPort, nullptr);
  maker.SetReceiverFlags((data[0] & 1) ? Zm::CANFC32 : 0);
  const uint8_t zero[4] = {};
  maker.SendBinaryHeader(Zm::ZDATA, zero);

  FakeComLink link;
  link.idleStepMs = 50;
  link.readChunk = (data[0] & 0x06) == 0 ? 1 : 4096;
  link.AddInput(headerLink.output);
  link.AddInput(std::vector<uint8_t>(data + 1, data + size));
  SerialPort port(&link);
  FuzzStatus status(link);
  ZModem z(&port, &status);
  if (z.ReceiveHeader(1) != Zm::ZDATA) __builtin_trap();  // the made header must always parse
  for (int k = 0; k < 256 && status.code == 0; ++k) {
    const int32_t end = z.ReceiveSubpacket();
    if (status.blockLength < 0 || status.blockLength > Zm::kReceiveRoom) __builtin_trap();
    if (end < 0 && link.Pending() == 0) break;
  }
  return 0;
}
