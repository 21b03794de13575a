#include "job/StatusTable.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
constexpr int32_t kSame = StatusEntry::kUnchanged;
constexpr FinishRule kHost = FinishRule::NotInHostMode;

struct Row {
  std::vector<int32_t> codes;
  const char* message;
  int32_t result;
  FinishRule finish;
};

const Row kRows[] = {
    {{0}, "", kSame, FinishRule::Never},
    {{-804}, "OK", kSame, FinishRule::Never},
    {{-933}, "File skipped.", kSame, FinishRule::Never},
    {{-941}, "File skipped: larger than 4 GiB.", kSame, FinishRule::Never},
    {{-901}, "User cancelled.", 6, FinishRule::Always},
    {{-920, -927, -956}, "Out of memory.", 7, FinishRule::Always},
    {{-902}, "Unable to open file.", 11, kHost},
    {{-903}, "Unable to read from file.", 13, kHost},
    {{-904}, "Unable to write to file.", 12, kHost},
    {{-907, -908}, "Error count exceeded.", 17, kHost},
    {{-909}, "Timeout.", 5, kHost},
    {{-912, -922, -923, -924, -925, -931, -940, -802}, "General communications error.", 15, kHost},
    {{-801, -805, -828, -848}, "General communications error.", 15, FinishRule::Always},  // the link itself
    {{-914}, "Cancelled by remote.", 16, kHost},
    {{-932, -926}, "No files sent.", 8, kHost},
    {{-936}, "Line too long.", 10, kHost},
    {{-937, -938}, "Bad CRC value.", 9, kHost},
    {{-939}, "File already exists.", 14, kHost},
    // Codes the table does not list, among them neighbours of listed ones.
    {{-905, -906, -910, -911, -913, -919, -929, -950, -800, -849, -1, 7}, "Unknown Error.", 19, kHost},
};

TEST(StatusTable, EveryCodeMapsToMessageResultHelpAndFinish) {
  for (const Row& row : kRows) {
    for (int32_t code : row.codes) {
      SCOPED_TRACE(code);
      const StatusEntry e = StatusTable::Look(code);
      EXPECT_STREQ(row.message, e.message);
      EXPECT_EQ(row.result, e.result);
      EXPECT_EQ(row.finish, e.finish);
      // A status that sets a result opens that result's help topic, and its message is the
      // result's text.
      EXPECT_EQ(row.result == kSame ? kSame : StatusTable::HelpTopic(row.result), e.helpId);
      if (row.result != kSame) {
        EXPECT_STREQ(row.message, StatusTable::ResultText(row.result));
      }
    }
  }
}

}  // namespace
