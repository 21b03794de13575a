// The reset types and the three paths built from the module's folder.
#include "object/TransferSettings.h"

#include <gtest/gtest.h>

namespace {
TEST(TransferSettingsTest, ResetTypes) {
  const struct {
    int32_t type;
    int16_t flow, protocol, window;
  } cases[] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {2, 2, 1, 0}, {3, 1, 1, 1024}, {-7, 0, 0, 0}};
  for (const auto& c : cases) {
    TransferSettings s;
    s.FileList = "left;over";
    s.BaudRate = 2400;
    s.Reset(c.type, "C:\\Apps\\");
    EXPECT_EQ(s.FlowControl, c.flow) << c.type;
    EXPECT_EQ(s.Protocol, c.protocol) << c.type;
    EXPECT_EQ(s.WindowSize, c.window) << c.type;
    EXPECT_EQ(s.FileList, "");
    EXPECT_EQ(s.BaudRate, 19200);
    EXPECT_EQ(s.Overwrite, TransferSettings::kNever);
  }
}

TEST(TransferSettingsTest, PathsComeFromTheModuleFolder) {
  TransferSettings s;
  s.Reset(1, "C:\\Program Files\\Zandrel\\");
  EXPECT_EQ(s.DefaultDir, "C:\\Program Files\\Zandrel");
  EXPECT_EQ(s.HelpFile, "C:\\Program Files\\Zandrel\\zandrel.chm");
  EXPECT_EQ(s.LogFilename, "C:\\Program Files\\Zandrel\\zandrel.log");

  s.Reset(1, "");  // the class registration could not be read
  EXPECT_EQ(s.DefaultDir, "");
  EXPECT_EQ(s.HelpFile, "zandrel.chm");
  EXPECT_EQ(s.LogFilename, "zandrel.log");

  s.Reset(1, std::string(300, 'd') + "\\");
  EXPECT_EQ(s.LogFilename.size(), TransferSettings::kPathRoom - 1);
}
}  // namespace
