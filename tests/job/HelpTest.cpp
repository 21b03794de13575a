#include "job/Help.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/TestData.h"

namespace {
std::string shownFile;
int32_t shownContext = -1;
bool Record(const char* file, int32_t context, void*) {
  shownFile = file;
  shownContext = context;
  return true;
}

// A viewer asked for a missing file may never return, so a missing file never reaches one.
TEST(Help, OnlyAnExistingFileReachesTheViewer) {
  const ScratchFolder scratch("zandrel-help.");
  const std::string file = (scratch.path / "zandrel.chm").string();
  Spit(file, "x");
  Help::Install(&Record);
  EXPECT_FALSE(Help::Show((file + ".missing").c_str(), 17, nullptr));
  EXPECT_FALSE(Help::Show("", 17, nullptr));
  EXPECT_FALSE(Help::Show(nullptr, 17, nullptr));
  EXPECT_EQ(-1, shownContext);
  EXPECT_TRUE(Help::Show(file.c_str(), 30, nullptr));
  EXPECT_EQ(file, shownFile);
  EXPECT_EQ(30, shownContext);
  Help::Install(nullptr);
}
}  // namespace
