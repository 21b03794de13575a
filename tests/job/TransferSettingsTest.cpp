// The three paths built from the module's folder when it is unknown or too long (a registered
// folder and the reset types are walked through the real object by the script tests).
#include "job/TransferSettings.h"

#include <gtest/gtest.h>

namespace {
TEST(TransferSettingsTest, PathsComeFromTheModuleFolder) {
  TransferSettings s;
  s.Reset(1, "");  // the class registration could not be read
  EXPECT_EQ(s.DefaultDir, "");
  EXPECT_EQ(s.HelpFile, "zandrel.chm");
  EXPECT_EQ(s.LogFilename, "zandrel.log");

  s.Reset(1, std::string(300, 'd') + "\\");
  EXPECT_EQ(s.LogFilename.size(), TransferSettings::kPathRoom - 1);
}
}  // namespace
