// The Windows console's port names: COM names (any case, with or without the device prefix)
// become port indexes, COM5 being index 4; anything else opens nothing.
#include "tools/Console.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "link/ComLink.h"

namespace {

TEST(ConsoleWin32, ComNamesBecomePortIndexes) {
  const char* a = std::getenv("ZANDREL_COM_A");
  if (!a) GTEST_SKIP() << "run through with-ptys.sh: no COM ports mapped";
  const int number = std::atoi(a);
  const struct {
    std::string name;
    int32_t index, status;
  } table[] = {
      {"COM" + std::to_string(number), number - 1, 0},
      {"com" + std::to_string(number), number - 1, 0},
      {"\\\\.\\COM" + std::to_string(number), number - 1, 0},
      {"COM", -1, LinkCode::Failure},
      {"COM3x", -1, LinkCode::Failure},
      {"LPT1", -1, LinkCode::Failure},
      {"/dev/ttyS0", -1, LinkCode::Failure},
  };
  for (const auto& row : table) {
    std::unique_ptr<ComLink> link(Console::OpenPort(row.name));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->PortIndex(), row.index) << row.name;
    EXPECT_EQ(link->Status(), row.status) << row.name;
  }
  EXPECT_FALSE(Console::Interrupted());
}

}  // namespace
