// The Transfer page's rules and the copy that makes Cancel harmless. The telephone listing is
// driven through the real sheet (Win32SetupSheetTest).
#include "object/setup/TransferPageRules.h"

#include <gtest/gtest.h>

namespace {
TEST(SetupPagesTest, TransferPage) {
  SetupCopy copy;
  copy.Overwrite = 9;  // not one of the seven: nothing selected, the stored value stays
  auto page = TransferPageRules::OpenTransfer(copy);
  EXPECT_EQ(page.overwrite, -1);
  page.recvTimeout = "x";
  page.defaultDir = std::string(300, 'd');
  TransferPageRules::OkTransfer(page, copy);
  EXPECT_EQ(copy.Overwrite, 9);
  EXPECT_EQ(copy.RecvTimeout, 0);
  EXPECT_EQ(copy.DefaultDir.size(), SetupCopy::kPathChars);
}

TEST(SetupPagesTest, CopyBackOnlyThePagesShown) {
  TransferSettings settings;
  SetupCopy copy;
  copy.CopyIn(settings);
  copy.BaudRate = 57600;
  copy.LogToFile = 1;
  SetupPages shown;
  shown.general = false;
  copy.CopyBack(settings, shown);
  EXPECT_EQ(settings.BaudRate, 19200);
  EXPECT_EQ(settings.LogToFile, 1);
}
}  // namespace
