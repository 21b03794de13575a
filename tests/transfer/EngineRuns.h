// Runs of the XModem and ACK/NAK engines with their files in memory: one engine over a link,
// and engine against engine over the in-memory cable, clean and with seeded faults both ways.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "fakes/MemoryFile.h"
#include "fakes/NullModem.h"
#include "link/SerialPort.h"
#include "transfer/RecordingStatus.h"

// Our engine over a link: sends the files of `list` (null: receives, into `name` if one is
// given); returns its code. However the run ends, the engine must have closed its file.
template <class Engine>
int32_t RunOnFile(ComLink* link, MemoryFile& file, TransferStatus& status, const char* list, const char* name,
                  const std::function<void(Engine&)>& setup = nullptr) {
  SerialPort port(link);
  Engine engine(&port, &status);
  engine.SetFile(&file);
  if (setup) setup(engine);
  std::string text = list ? list : name ? name : "";
  const int32_t code = list ? engine.Send(&text[0]) : engine.Receive(name ? &text[0] : nullptr);
  EXPECT_FALSE(file.open);
  return code;
}

struct PairRuns {
  std::vector<uint8_t> sent, received;  // the file sent, and what it must arrive as
  LineFaults toReceiver, toSender;
  uint64_t seeds;
  int32_t atLeastClean;        // of the seeded runs, those that must end well on both sides
  int32_t cleanErrors = 0;     // errors the clean line may count
  std::set<int32_t> failures;  // the codes a run may end with on a bad line
};

// A clean line (both ends well, no more errors than expected, every byte counted), then seeded faults: every run
// that ends well on both sides delivered the file, every other one ends with a failure code of
// its protocol, and errors were met and repaired.
template <class Engine>
void ExpectPairRuns(const PairRuns& p, const std::function<void(Engine&)>& setup) {
  int32_t clean = 0, repairedErrors = 0;
  for (uint64_t seed = 0; seed <= p.seeds; ++seed) {  // 0: the clean line
    SCOPED_TRACE(seed);
    NullModem cable(std::max<uint64_t>(seed, 1));
    if (seed != 0) cable.SetFaults(p.toReceiver, p.toSender);
    MemoryDisk disks[2] = {{{"out", p.sent}}, {}};
    int32_t codes[2] = {1, 1}, errors[2] = {}, received = 0;
    const auto side = [&](int i) {
      return [&, i](NullModem::End& end) {
        MemoryFile file(disks[i]);
        RecordingStatus status;
        codes[i] = RunOnFile<Engine>(&end, file, status, i == 0 ? "out" : nullptr, "in", setup);
        EXPECT_EQ(codes[i] == 0 ? TransferCode::RunEnded : codes[i], status.Last());
        errors[i] = status.errors;
        if (i == 1) received = status.bytesDone;
      };
    };
    cable.Run(side(0), side(1));
    if (seed == 0) {
      EXPECT_EQ(0, codes[0]);
      EXPECT_EQ(0, codes[1]);
      EXPECT_LE(errors[0] + errors[1], p.cleanErrors);
      EXPECT_EQ(static_cast<int32_t>(p.received.size()), received);
    }
    if (codes[0] == 0 && codes[1] == 0) {
      clean += seed != 0;
      repairedErrors += errors[0] + errors[1];
      EXPECT_TRUE(disks[1]["in"] == p.received);
    }
    for (int32_t c : codes) EXPECT_TRUE(c == 0 || p.failures.count(c)) << c;
  }
  EXPECT_GE(clean, p.atLeastClean);
  EXPECT_GT(repairedErrors, 0);
}
