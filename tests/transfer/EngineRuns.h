// Runs of the XModem and ACK/NAK engines with their files in memory: one engine over a link,
// one against a scripted peer, and engine against engine over the in-memory cable, clean and
// with seeded faults both ways.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fakes/MemoryFile.h"
#include "fakes/NullModem.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
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

// A peer that follows a plan on a fake line: every byte of our engine's output that `releases`
// picks (it sees the output and the byte's place) hands the line the next step, each chunk due
// its delay after that byte; an empty step stays silent. `times` says when each byte went out.
struct ScriptedPeer {
  using Bytes = std::vector<uint8_t>;
  using Step = std::vector<std::pair<uint32_t, Bytes>>;
  ScriptedPeer(const std::vector<Step>& steps, const std::function<bool(const Bytes&, size_t)>& releases)
      : plan(steps.begin(), steps.end()) {
    line.onOutput = [this, releases](FakeComLink& l) {
      for (; times.size() < l.output.size(); times.push_back(TickSource::Now()))
        if (releases(l.output, times.size())) Next();
    };
  }
  void Next() {
    if (plan.empty()) return;
    for (const auto& chunk : plan.front()) line.AddInput(chunk.second, TickSource::Now() + chunk.first);
    plan.pop_front();
  }

  FakeClock clock{1000};
  FakeComLink line;
  std::deque<Step> plan;
  std::vector<uint32_t> times;
};

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
