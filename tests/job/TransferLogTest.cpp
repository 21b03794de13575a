#include "job/TransferLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fakes/TestData.h"

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

// Opens the log, adds one entry and closes it again; returns the whole file (text mode, so the
// CR LF line ends of Windows read as LF).
std::string AddOne(const std::string& path, bool append, const char* name) {
  {
    TransferLog log;
    EXPECT_TRUE(log.Open(path.c_str(), append));
    log.AddEntry(name, "OK", 1);
  }
  std::ifstream in(std::filesystem::u8path(path));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The two texts, whole, put each column under its header word, counted in the cells they take
// on screen; the file (of any name) gets the header only when empty, and entries are appended or
// replace what was there.
TEST(TransferLog, ColumnsStandUnderTheHeaderWordsAndTheFileIsAppendedOrReplaced) {
  EXPECT_EQ(std::string("FILENAME") + std::string(32, ' ') + " STATUS" + std::string(24, ' ') +
                " DATE       TIME       SIZE\n",
            TransferLog::Header());
  const std::string e = TransferLog::Entry("a.txt", "OK", At(2024, 3, 7, 9, 5, 3), 1234);
  EXPECT_EQ("a.txt" + std::string(35, ' ') + " OK" + std::string(28, ' ') + " 3/7/24     9:05:03    1234\n", e);
  EXPECT_EQ("12/31/99", TransferLog::DateText(At(1999, 12, 31, 0, 0, 0)));
  EXPECT_EQ("0:00:00", TransferLog::TimeText(At(2000, 1, 1, 0, 0, 0)));
  // A long name is not cut: it pushes the rest to the right.
  const std::string longName(50, 'n');
  EXPECT_EQ(longName + " Timeout." + std::string(22, ' ') + " 3/7/24     9:05:03    4294967295\n",
            TransferLog::Entry(longName.c_str(), "Timeout.", At(2024, 3, 7, 9, 5, 3), 4294967295u));
  // 20 cells in 25 bytes; a combining diaeresis takes none.
  const std::string wide = "\xC3\x9C" "berweisung-\xE6\x97\xA5\xE6\x9C\xAC.bin", combined = "U\xCC\x88" "ber";
  EXPECT_EQ(wide + std::string(20, ' ') + " " + combined + std::string(26, ' ') + " 3/7/24     9:05:03    7\n",
            TransferLog::Entry(wide.c_str(), combined.c_str(), At(2024, 3, 7, 9, 5, 3), 7));

  const ScratchFolder scratch("zandrel-log.");
  const std::string path = (scratch.path / std::filesystem::u8path("append-\xE6\x97\xA5\xE6\x9C\xAC.log")).u8string();
  AddOne(path, true, "one");
  std::string text = AddOne(path, true, "two");
  EXPECT_EQ(0u, text.find(TransferLog::Header()));
  EXPECT_EQ(std::string::npos, text.find("FILENAME", 1));  // no second header
  EXPECT_NE(std::string::npos, text.find("\none "));
  EXPECT_NE(std::string::npos, text.find("\ntwo "));
  EXPECT_EQ(3, std::count(text.begin(), text.end(), '\n'));
  text = AddOne(path, false, "three");  // replace: emptied, new header
  EXPECT_EQ(0u, text.find(TransferLog::Header()));
  EXPECT_EQ(std::string::npos, text.find("one"));
  EXPECT_EQ(2, std::count(text.begin(), text.end(), '\n'));
}

}  // namespace
