// The Windows console's port names: any spelling of a COM port becomes the name the port list
// knows (COM5), a network port's URL stays as it is, anything else none.
#include "tools/Console.h"

#include <gtest/gtest.h>

#include <string>

namespace {
TEST(ConsoleWin32, ComNamesInAnySpellingBecomeTheListName) {
  const struct {
    const char* given;
    const char* name;
  } table[] = {{"COM5", "COM5"}, {"com5", "COM5"}, {"\\\\.\\COM12", "COM12"}, {"COM", ""},
               {"COM3x", ""},    {"LPT1", ""},     {"/dev/ttyS0", ""},
               {"rfc2217://[::1]:2217", "rfc2217://[::1]:2217"}};
  for (const auto& row : table) EXPECT_EQ(row.name, Console::PortName(row.given)) << row.given;
  EXPECT_FALSE(Console::Interrupted());
}
}  // namespace
