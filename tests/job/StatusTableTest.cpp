#include "job/StatusTable.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
struct Case {
  int32_t code;
  const char* message;
  int32_t result;
  int32_t helpId;
  FinishRule finish;
};

constexpr int32_t kSame = StatusEntry::kUnchanged;
constexpr FinishRule kHost = FinishRule::NotInHostMode;

const Case kCases[] = {
    {-804, "OK", kSame, kSame, FinishRule::Never},
    {-901, "User cancelled.", 6, 18, FinishRule::Always},
    {-902, "Unable to open file.", 11, 23, kHost},
    {-903, "Unable to read from file.", 13, 25, kHost},
    {-904, "Unable to write to file.", 12, 24, kHost},
    {-907, "Error count exceeded.", 17, 29, kHost},
    {-908, "Error count exceeded.", 17, 29, kHost},
    {-909, "Timeout.", 5, 17, kHost},
    {-912, "General communications error.", 15, 27, kHost},
    {-914, "Cancelled by remote.", 16, 28, kHost},
    {-920, "Out of memory.", 7, 19, FinishRule::Always},
    {-927, "Out of memory.", 7, 19, FinishRule::Always},
    {-956, "Out of memory.", 7, 19, FinishRule::Always},
    {-922, "General communications error.", 15, 27, kHost},
    {-923, "General communications error.", 15, 27, kHost},
    {-924, "General communications error.", 15, 27, kHost},
    {-925, "General communications error.", 15, 27, kHost},
    {-931, "General communications error.", 15, 27, kHost},
    {-932, "No files sent.", 8, 20, kHost},
    {-933, "File skipped.", kSame, kSame, FinishRule::Never},
    {-936, "Line too long.", 10, 22, kHost},
    {-937, "Bad CRC value.", 9, 21, kHost},
    {-938, "Bad CRC value.", 9, 21, kHost},
    {-939, "File already exists.", 14, 26, kHost},
    // Codes the table does not list, among them neighbours of listed ones.
    {-905, "Unknown Error.", 19, 31, kHost},
    {-906, "Unknown Error.", 19, 31, kHost},
    {-910, "Unknown Error.", 19, 31, kHost},
    {-911, "Unknown Error.", 19, 31, kHost},
    {-913, "Unknown Error.", 19, 31, kHost},
    {-919, "Unknown Error.", 19, 31, kHost},
    {-926, "Unknown Error.", 19, 31, kHost},
    {-929, "Unknown Error.", 19, 31, kHost},
    {-950, "Unknown Error.", 19, 31, kHost},
    {-802, "Unknown Error.", 19, 31, kHost},
    {-1, "Unknown Error.", 19, 31, kHost},
    {7, "Unknown Error.", 19, 31, kHost},
};

class StatusRow : public ::testing::TestWithParam<Case> {};

TEST_P(StatusRow, MapsToMessageResultHelpAndFinish) {
  const Case& c = GetParam();
  const StatusEntry e = StatusTable::Look(c.code);
  EXPECT_STREQ(c.message, e.message);
  EXPECT_EQ(c.result, e.result);
  EXPECT_EQ(c.helpId, e.helpId);
  EXPECT_EQ(c.finish, e.finish);
  // Every result a status sets opens the help topic of that result.
  if (e.result != kSame) {
    EXPECT_EQ(StatusTable::HelpTopic(e.result), e.helpId);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryRow, StatusRow, ::testing::ValuesIn(kCases));

TEST(StatusTable, ZeroChangesNothing) {
  const StatusEntry e = StatusTable::Look(0);
  EXPECT_STREQ("", e.message);
  EXPECT_EQ(kSame, e.result);
  EXPECT_EQ(FinishRule::Never, e.finish);
}

TEST(StatusTable, FinishRules) {
  EXPECT_TRUE(StatusTable::Finishes(FinishRule::Always, true));
  EXPECT_TRUE(StatusTable::Finishes(FinishRule::NotInHostMode, false));
  EXPECT_FALSE(StatusTable::Finishes(FinishRule::NotInHostMode, true));
  EXPECT_FALSE(StatusTable::Finishes(FinishRule::Never, false));
}

TEST(StatusTable, ResultTexts) {
  EXPECT_STREQ("OK", StatusTable::ResultText(0));
  EXPECT_STREQ("XON/XOFF flow control is only\nallowed with Z-Modem protocol.", StatusTable::ResultText(1));
  EXPECT_STREQ("Host mode is only allowed\nwith Z-Modem protocol.", StatusTable::ResultText(2));
  EXPECT_STREQ("At least one filename\nis required.", StatusTable::ResultText(3));
  EXPECT_STREQ("A new path/filename for\nthe receiver is missing.", StatusTable::ResultText(4));
  EXPECT_STREQ("Error opening the COM port", StatusTable::ResultText(18));
  EXPECT_STREQ("Failed to connect.", StatusTable::ResultText(20));
  EXPECT_EQ(nullptr, StatusTable::ResultText(-1));
  EXPECT_EQ(nullptr, StatusTable::ResultText(22));
  // A status's message and the text of the result it sets agree.
  for (const Case& c : kCases) {
    if (c.result != kSame) {
      EXPECT_STREQ(c.message, StatusTable::ResultText(c.result)) << c.code;
    }
  }
  for (int32_t r = 0; r <= StatusTable::kLastResult; ++r) {
    ASSERT_NE(nullptr, StatusTable::ResultText(r));
    EXPECT_GT(std::strlen(StatusTable::ResultText(r)), 1u);
    EXPECT_EQ(r == 0 ? 0 : r + 12, StatusTable::HelpTopic(r));
  }
}
}  // namespace
