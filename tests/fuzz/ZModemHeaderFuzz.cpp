// Fuzz target: ZModem's header reader (hex, binary CRC-16 and CRC-32 headers, the hunt with its
// garbage, time-out and cancel limits) and, after a header that opens data, the subpacket reader.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzLine.h"
#include "transfer/zmodem/ZModem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzLine line((data[0] & 0x0E) == 0);  // byte-at-a-time reads now and then
  line.link.AddInput(std::vector<uint8_t>(data + 1, data + size));
  ZModem z(&line.port, &line);
  z.SetMaxErrors(8);
  const int32_t returnOnError = data[0] & 1;
  for (int i = 0; i < 64 && line.code == 0; ++i) {
    const int32_t type = z.ReceiveHeader(returnOnError);
    if (type == Zm::ZDATA || type == Zm::ZFILE || type == Zm::ZSINIT) {
      for (int k = 0; k < 64; ++k) {
        const int32_t end = z.ReceiveSubpacket();
        if (end < 0 || end == Zm::ZCRCE || end == Zm::ZCRCW) break;
      }
    }
    if (line.link.Pending() == 0) break;
  }
  return 0;
}
