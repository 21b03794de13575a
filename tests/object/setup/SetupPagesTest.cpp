// The Transfer and Modem pages' rules and the copy that makes Cancel harmless.
#include "object/setup/TelephoneListing.h"

#include <gtest/gtest.h>

#include "modem/MemoryRegistryKey.h"
#include "object/setup/TransferPageRules.h"

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

TEST(SetupPagesTest, TelephoneListing) {
  MemoryRegistryKey user;
  {
    auto key = user.Create(TelephoneListing::kKeyPath);
    key->WriteString("0.Desc", "Office");
    key->WriteString("0.Phone", "555-0100");
    key->WriteString("3.Phone", "555-0133");
    key->WriteString("4.Desc", std::string(90, 'x').c_str());
    key->WriteString("Stray", "dropped on save");
  }
  TelephoneListing listing;
  listing.Load(user);
  EXPECT_EQ(listing.At(0).description, "Office");
  EXPECT_EQ(listing.At(3).description, "");
  EXPECT_EQ(listing.At(4).description.size(), TelephoneListing::kStoredChars);
  EXPECT_EQ(listing.RowOf("555-0133"), 3);
  EXPECT_EQ(listing.RowOf("nowhere"), 0);

  listing.ApplyEdit(0, "Home", "");  // an emptied number keeps the old one
  EXPECT_EQ(listing.At(0).number, "555-0100");
  EXPECT_EQ(listing.At(0).description, "Home");
  listing.Clear(3);

  SetupCopy copy;
  copy.Telephone = "555-0133";
  listing.Ok(3, "ATZ", copy, user);  // a selected row without a number empties Telephone
  EXPECT_EQ(copy.Telephone, "");
  EXPECT_EQ(copy.ModemCmd, "ATZ");
  auto key = user.Open(TelephoneListing::kKeyPath);
  ASSERT_TRUE(key);
  std::string text;
  EXPECT_TRUE(key->ReadString("0.Desc", text));
  EXPECT_EQ(text, "Home");
  EXPECT_FALSE(key->ReadString("3.Phone", text));
  EXPECT_FALSE(key->ReadString("Stray", text));
  EXPECT_EQ(key->ValueCount(), 3u);

  TelephoneListing missing;  // no key at all: ten empty rows
  MemoryRegistryKey fresh;
  missing.Load(fresh);
  EXPECT_EQ(missing.At(9).number, "");
}
}  // namespace
