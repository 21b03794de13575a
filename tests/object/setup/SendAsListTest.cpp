// A single file's receiver name. Several files, an edited or emptied receiver name and the list
// handed back are driven through the real dialogs (Win32FilePromptDialogsTest, setup-input.sh).
#include "object/setup/SendAsList.h"

#include <gtest/gtest.h>

namespace {
TEST(SendAsListTest, ASingleFileIsOfferedUnderItsOwnName) {
  FileSelection one;
  one.names = {"C:\\data\\a.txt"};
  const auto rows = SendAsList::Build(one);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].sender, "C:\\data\\a.txt");
  EXPECT_EQ(rows[0].receiver, "a.txt");
}
}  // namespace
