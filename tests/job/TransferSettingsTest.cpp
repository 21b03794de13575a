// The three paths built from the module's folder when it is unknown or too long (a registered
// folder and the reset types are walked through the real object by the script tests), and where
// a text too long for its field is cut.
#include "job/TransferSettings.h"

#include <gtest/gtest.h>

namespace {
TEST(TransferSettingsTest, PathsComeFromTheModuleFolder) {
  TransferSettings s;
  s.Reset(1, "");  // the class registration could not be read
  EXPECT_EQ(s.DefaultDir, "");
  EXPECT_EQ(s.HelpFile, "zandrel.chm");
  EXPECT_EQ(s.LogFilename, "zandrel.log");

  s.Reset(1, std::string(200, 'd') + "\\\xC3\x9C" + std::string(100, 'e') + "\\");
  EXPECT_EQ(s.DefaultDir, std::string(200, 'd') + "\\\xC3\x9C" + std::string(58, 'e'));
}

TEST(TransferSettingsTest, TextsAreCutBetweenCharactersCountedAsTheSystemCountsThem) {
  std::string umlauts;
  for (int i = 0; i < 300; ++i) umlauts += "\xC3\x9C";
  const struct {
    std::string text;
    size_t room;
    std::string kept;
  } cases[] = {{umlauts, 261, umlauts.substr(0, 520)},  // 260 of them, not 130
               {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 3, "\xE6\x97\xA5\xE6\x9C\xAC"},
               {"ab\xF0\x9F\x93\xA6" "c", 5, "ab\xF0\x9F\x93\xA6"},  // past the basic plane: two units
               {"abc\xF0\x9F\x93\xA6", 5, "abc"},  {"\xFF\xFF\xFF", 3, "\xFF\xFF"}};  // never half of one
  for (const auto& c : cases) EXPECT_EQ(TransferSettings::Cut(c.text, c.room), c.kept) << c.text;
}
}  // namespace
