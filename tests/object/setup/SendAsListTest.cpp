// The rows of "Send File As ..." and the list it hands back.
#include "object/setup/SendAsList.h"

#include <gtest/gtest.h>

namespace {
TEST(SendAsListTest, RowsAndResult) {
  FileSelection one;
  one.names = {"C:\\data\\a.txt"};
  auto rows = SendAsList::Build(one);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].sender, "C:\\data\\a.txt");
  EXPECT_EQ(rows[0].receiver, "a.txt");

  FileSelection three = FileSelection::FromBuffer("C:\\\0a.txt\0b.txt\0c.txt\0", 22);
  rows = SendAsList::Build(three);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].sender, "C:\\b.txt");  // a drive root gets no second backslash
  EXPECT_EQ(rows[1].receiver, "b.txt");
  rows[2].receiver = "in\\c2.txt";
  EXPECT_EQ(SendAsList::Result(rows), "C:\\a.txt;a.txt;C:\\b.txt;b.txt;C:\\c.txt;in\\c2.txt");
  rows[1].receiver.clear();
  EXPECT_EQ(SendAsList::Result(rows), "");
}
}  // namespace
