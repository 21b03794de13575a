// Fuzz target: a whole ZModem receiver fed an arbitrary byte stream, with files in memory (some
// already "existing") and each setting picked by the input, so every management, resume and
// name rule meets hostile data.
#include <cstddef>
#include <cstdint>
#include <algorithm>

#include "fakes/MemoryFile.h"
#include "fuzz/FuzzLine.h"
#include "transfer/zmodem/ZModem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  FuzzLine line;
  // The stream arrives over (virtual) time, 32 bytes every 10 ms, so the receiver's input purges
  // drop only what has arrived, as on a line.
  for (size_t off = 2, k = 0; off < size; off += 32, ++k)
    line.link.AddInput(std::vector<uint8_t>(data + off, data + std::min(off + 32, size)),
                  FakeClock::Now() + 10 * static_cast<uint32_t>(k));
  MemoryDisk disk;
  const std::string existing = "existing content";
  disk["a"].assign(existing.begin(), existing.end());
  disk["b.bin"].assign(3000, 'x');
  MemoryFile files(disk);
  ZModem z(&line.port, &line);
  z.SetFile(&files);
  z.SetMaxErrors(16);
  z.SetManagement(data[0] & 7);
  z.SetCrashRecovery(1 + ((data[0] >> 3) & 3));
  z.SetPathMode((data[0] >> 5) & 1);
  z.SetWindowSize((data[1] & 3) * 1024);
  z.SetHoldRemote(data[1] >> 7);
  z.Receive(nullptr);
  return 0;
}
