// Fuzz target: ZModem's data subpacket reader behind a valid ZDATA header of either CRC kind,
// so the fuzzer spends its effort on escapes, frame ends, lengths and CRCs of the data.
#include <cstddef>
#include <cstdint>

#include "fakes/ZModemWire.h"
#include "fuzz/FuzzLine.h"
#include "transfer/zmodem/ZModem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzLine line((data[0] & 0x06) == 0);
  // A sending engine makes the header the receiving one starts from.
  line.link.AddInput(ZModemWire((data[0] & 1) ? Zm::CANFC32 : 0).Header(Zm::ZDATA).text);
  line.link.AddInput(std::vector<uint8_t>(data + 1, data + size));
  ZModem z(&line.port, &line);
  if (z.ReceiveHeader(1) != Zm::ZDATA) __builtin_trap();  // the made header must always parse
  for (int k = 0; k < 256 && line.code == 0; ++k) {
    const int32_t end = z.ReceiveSubpacket();
    if (line.blockLength < 0 || line.blockLength > Zm::kReceiveRoom) __builtin_trap();
    if (end < 0 && line.link.Pending() == 0) break;
  }
  return 0;
}
