// The registry seam's contract, run against the in-memory tree and against the system root the
// platform provides (on Windows the real HKEY_CURRENT_USER, so the two are held to one behaviour).
#include "modem/RegistryKey.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "modem/MemoryRegistryKey.h"

namespace {
const char kScratch[] = "Software\\ZandrelRegistryTest";

class RegistryKeyContract : public ::testing::TestWithParam<bool> {  // true: the system's root
 protected:
  void SetUp() override {
    root = GetParam() ? Registry::CurrentUser() : std::make_unique<MemoryRegistryKey>();
    ASSERT_NE(root, nullptr);
    root->DeleteTree(kScratch);
    key = root->Create(kScratch);
    ASSERT_NE(key, nullptr);
  }
  void TearDown() override {
    key.reset();
    if (root) root->DeleteTree(kScratch);
  }
  std::unique_ptr<RegistryKey> root;
  std::unique_ptr<RegistryKey> key;
};

TEST_P(RegistryKeyContract, ValuesKeepTheirTypeAndOrderSubkeysGoWithTheirTree) {
  ASSERT_TRUE(key->WriteString("Name", "COM3"));
  ASSERT_TRUE(key->WriteDword("Count", 0x01020304));
  ASSERT_TRUE(key->WriteString("Empty", ""));
  std::string text;
  uint32_t number = 0;
  EXPECT_TRUE(key->ReadString("name", text));  // names match without regard to case
  EXPECT_EQ(text, "COM3");
  EXPECT_TRUE(key->ReadDword("Count", number));
  EXPECT_EQ(number, 0x01020304u);
  EXPECT_FALSE(key->ReadString("Count", text)) << "a number is not text";
  EXPECT_FALSE(key->ReadDword("Name", number)) << "five bytes of text are not a number";
  EXPECT_FALSE(key->ReadString("Missing", text));
  EXPECT_TRUE(key->ReadString("Empty", text));
  EXPECT_EQ(text, "");

  EXPECT_EQ(key->ValueCount(), 3u);
  EXPECT_GE(key->LongestValue(), 5u);  // "COM3" and its terminator, at least
  // Enumeration order is the registry's own (Windows keeps the order of making, Wine sorts):
  // each value comes once, text with its text.
  std::string seen, name;
  for (uint32_t i = 0; key->ValueAt(i, name, text); ++i) seen += name + "=" + text + ";";
  EXPECT_EQ(seen.size(), std::string("Name=COM3;Count=;Empty=;").size()) << seen;
  EXPECT_NE(seen.find("Name=COM3;"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Count=;"), std::string::npos) << seen;
  EXPECT_FALSE(key->ValueAt(3, name, text));

  ASSERT_TRUE(key->WriteString("Name", "COM4"));  // replaced in place
  EXPECT_EQ(key->ValueCount(), 3u);
  EXPECT_TRUE(key->DeleteValue("Name"));
  EXPECT_FALSE(key->DeleteValue("Name"));
  EXPECT_FALSE(key->ReadString("Name", text));

  // Subkeys open by path and go with their tree.
  ASSERT_NE(key->Create("B\\Deep\\Deeper"), nullptr);
  ASSERT_NE(key->Create("a"), nullptr);
  EXPECT_EQ(key->SubkeyCount(), 2u);
  ASSERT_TRUE(key->SubkeyAt(0, name));
  EXPECT_EQ(name, "a");  // name order, not the order of making
  ASSERT_TRUE(key->SubkeyAt(1, name));
  EXPECT_EQ(name, "B");
  EXPECT_FALSE(key->SubkeyAt(2, name));

  std::unique_ptr<RegistryKey> deep = key->Open("b\\DEEP");
  ASSERT_NE(deep, nullptr);
  EXPECT_FALSE(deep->WriteString("Left", "behind")) << "opened for reading only";
  deep = key->Open("b\\DEEP", true);
  ASSERT_NE(deep, nullptr);
  EXPECT_TRUE(deep->WriteString("Left", "behind"));
  EXPECT_EQ(key->Open("B\\Missing"), nullptr);

  deep.reset();
  EXPECT_TRUE(key->DeleteTree("B"));
  EXPECT_EQ(key->Open("B\\Deep"), nullptr);
  EXPECT_EQ(key->SubkeyCount(), 1u);
  EXPECT_FALSE(key->DeleteTree("B"));
}

INSTANTIATE_TEST_SUITE_P(Roots, RegistryKeyContract, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "System" : "Memory"; });
}  // namespace
