// The Maximum Errors correction on leaving the field. What the lists select as the page opens,
// the protocol switch and what OK stores are driven through the real sheet (Win32SetupSheetTest,
// setup-input.sh).
#include "object/setup/GeneralPageRules.h"

#include <gtest/gtest.h>

namespace {
TEST(GeneralPageRulesTest, MaxErrorsCorrection) {
  const struct {
    const char *typed, *shown;
  } cases[] = {{"75", "50"}, {"-3", "0"}, {"50", "50"}, {"0", "0"}, {"", ""}, {"4294967295", "4294967295"}};
  for (const auto& c : cases) EXPECT_EQ(GeneralPageRules::CorrectMaxErrors(c.typed), c.shown) << c.typed;
}
}  // namespace
