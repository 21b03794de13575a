#include "job/TransferLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {
std::tm At(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  // The log is a text file: on Windows its line ends are CR LF on disk.
  std::string text = s.str();
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
  return lines;
}

std::string TempPath(const char* leaf) {
  return (::testing::TempDir() + "zandrel_log_") + leaf;
}
}  // namespace

TEST(TransferLogFormat, HeaderWordsStandOverTheirColumns) {
  const std::string h = TransferLog::Header();
  EXPECT_EQ(std::string("FILENAME") + std::string(32, ' ') + " STATUS" + std::string(24, ' ') +
                " DATE       TIME       SIZE\n",
            h);
  const std::string e = TransferLog::Entry("a.txt", "OK", At(2024, 3, 7, 9, 5, 3), 1234);
  EXPECT_EQ(h.find("DATE"), e.find("3/7/24"));
  EXPECT_EQ(h.find("TIME"), e.find("9:05:03"));
  EXPECT_EQ(h.find("SIZE"), e.find("1234"));
}

TEST(TransferLogFormat, EntryColumnsAndTexts) {
  EXPECT_EQ("a.txt" + std::string(35, ' ') + " OK" + std::string(28, ' ') + " 3/7/24     9:05:03    1234\n",
            TransferLog::Entry("a.txt", "OK", At(2024, 3, 7, 9, 5, 3), 1234));
  EXPECT_EQ("12/31/99", TransferLog::DateText(At(1999, 12, 31, 0, 0, 0)));
  EXPECT_EQ("1/1/05", TransferLog::DateText(At(2005, 1, 1, 0, 0, 0)));
  EXPECT_EQ("23:59:59", TransferLog::TimeText(At(2000, 1, 1, 23, 59, 59)));
  EXPECT_EQ("0:00:00", TransferLog::TimeText(At(2000, 1, 1, 0, 0, 0)));
  // A long name is not cut: it pushes the rest to the right.
  const std::string longName(50, 'n');
  const std::string e = TransferLog::Entry(longName.c_str(), "Timeout.", At(2024, 3, 7, 9, 5, 3), 0);
  EXPECT_EQ(longName + " Timeout." + std::string(22, ' ') + " 3/7/24     9:05:03    0\n", e);
  EXPECT_EQ("x" + std::string(39, ' ') + " m" + std::string(29, ' ') + " 3/7/24     9:05:03    4294967295\n",
            TransferLog::Entry("x", "m", At(2024, 3, 7, 9, 5, 3), 4294967295u));
}

TEST(TransferLogFile, HeaderOnlyIntoAnEmptyFileAndAppendOrReplace) {
  const std::string path = TempPath("append.log");
  std::remove(path.c_str());
  {
    TransferLog log;
    ASSERT_TRUE(log.Open(path.c_str(), true));
    log.AddEntry("one", "OK", 1);
  }
  {
    TransferLog log;
    ASSERT_TRUE(log.Open(path.c_str(), true));
    log.AddEntry("two", "Timeout.", 2);
  }
  std::string text = ReadAll(path);
  EXPECT_EQ(0u, text.find(TransferLog::Header()));
  EXPECT_EQ(std::string::npos, text.find("FILENAME", 1));  // no second header
  EXPECT_NE(std::string::npos, text.find("\none "));
  EXPECT_NE(std::string::npos, text.find("\ntwo "));
  EXPECT_EQ(3, std::count(text.begin(), text.end(), '\n'));

  {
    TransferLog log;
    ASSERT_TRUE(log.Open(path.c_str(), false));  // replace: emptied, new header
    log.AddEntry("three", "OK", 3);
  }
  text = ReadAll(path);
  EXPECT_EQ(0u, text.find(TransferLog::Header()));
  EXPECT_EQ(std::string::npos, text.find("one"));
  EXPECT_EQ(2, std::count(text.begin(), text.end(), '\n'));
  std::remove(path.c_str());
}

TEST(TransferLogFile, UnopenableFileIsReportedAndEntriesAreDropped) {
  TransferLog log;
  EXPECT_FALSE(log.Open("/nonexistent-dir/zandrel.log", true));
  EXPECT_FALSE(log.IsOpen());
  log.AddEntry("x", "OK", 1);  // harmless
}
