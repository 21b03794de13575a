// The refusals of TransferFiles before it starts, and its count of the files a host listed.
#include "object/TransferChecks.h"

#include <gtest/gtest.h>

namespace {
TEST(TransferChecksTest, ResultsAndCounts) {
  const struct {
    int16_t protocol, flow;
    int32_t hostMode, transfer;
    int16_t pathSwitch;
    const char* list;
    bool prompted;
    int32_t result;
    int16_t attempted;
  } cases[] = {
      {0, 1, 0, 1, 0, "a", false, 1, 0},   {2, 1, 1, 1, 0, "a", false, 1, 0},
      {2, 2, 1, 1, 0, "a", false, 2, 0},   {1, 1, 1, 0, 0, "", false, 0, 0},  // ZModem allows both
      {0, 0, 0, 1, 0, "", false, 3, 0},    {0, 0, 0, 0, 0, "", false, 3, 0},
      {1, 0, 0, 1, 0, "", false, 3, 0},    {1, 0, 0, 0, 2, "", false, 0, 0},
      {0, 0, 0, 1, 0, "a;b;c", false, 0, 1}, {2, 0, 0, 0, 2, "a;b;c", false, 0, 1},
      {1, 0, 0, 1, 0, "a;b;c", false, 0, 3}, {1, 0, 0, 1, 1, "a;b;c", false, 0, 3},
      {1, 0, 0, 1, 2, "a;b;c;d", false, 0, 2}, {1, 0, 0, 1, 2, "a;b;c", false, 4, 3},
      {1, 0, 0, 1, 2, "a;;c", false, 4, 3},  // entries are counted, empty or not
      {1, 0, 0, 1, 2, "a;b;c", true, 0, 0},  // the prompt counted its own list
  };
  for (const auto& c : cases) {
    TransferSettings s;
    s.Protocol = c.protocol, s.FlowControl = c.flow, s.HostMode = c.hostMode, s.Transfer = c.transfer;
    s.PathSwitch = c.pathSwitch, s.FileList = c.list;
    int32_t result = TransferChecks::CheckOptions(s);
    if (result == 0) result = TransferChecks::CountFiles(s, c.prompted);
    EXPECT_EQ(result, c.result) << c.protocol << " " << c.list;
    EXPECT_EQ(s.Attempted, c.attempted) << c.protocol << " " << c.list;
  }
  TransferSettings many;
  many.Protocol = 1;
  for (int i = 0; i < 200; ++i) many.FileList += (i ? ";f" : "f") + std::to_string(i);
  EXPECT_EQ(TransferChecks::CountFiles(many, false), 0);
  EXPECT_EQ(many.Attempted, 200);
}
}  // namespace
