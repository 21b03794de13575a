// File access of the engines: calendar arithmetic, open modes and stamps on real files, and
// the file-list walk over real temporary folders. Runs natively and under Wine unchanged.
#include "transfer/TransferFile.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "fakes/TestData.h"
#include "transfer/TransferCodes.h"

namespace fs = std::filesystem;

namespace {
// Runs a command of the host's shell; whether done() holds after it.
#ifdef _WIN32
// Wine can neither make nor remove a link itself (CreateSymbolicLinkW does nothing, a reparse
// point cannot be set), but it starts host programs and shows the host's links as reparse
// points. It cannot wait for a host program: done() is polled. Windows has no such shell.
bool OnHost(const std::string& command, const std::function<bool()>& done) {
  if (::WinExec(("Z:\\bin\\sh -c \"" + command + "\"").c_str(), SW_HIDE) <= 31) return false;
  for (int i = 0; i < 500 && !done(); ++i) ::Sleep(10);
  return done();
}
#else
bool OnHost(const std::string& command, const std::function<bool()>& done) {
  return std::system(command.c_str()) == 0 && done();
}
#endif

struct Stamp {
  uint32_t seconds;
  int32_t y, mo, d, h, mi, s;
};

// Leap days, the 2038 boundary of signed seconds, the non-leap 2100 and the last second.
const Stamp kStamps[] = {
    {0u, 1970, 1, 1, 0, 0, 0},           {94694399u, 1972, 12, 31, 23, 59, 59},
    {951782400u, 2000, 2, 29, 0, 0, 0},  {1709208001u, 2024, 2, 29, 12, 0, 1},
    {2147483647u, 2038, 1, 19, 3, 14, 7}, {2147483648u, 2038, 1, 19, 3, 14, 8},
    {4107542399u, 2100, 2, 28, 23, 59, 59}, {4107542400u, 2100, 3, 1, 0, 0, 0},
    {4294967295u, 2106, 2, 7, 6, 28, 15},
};

TEST(TransferFileCalendar, SecondsAndFieldsRoundTrip) {
  TransferFile file;
  for (const Stamp& t : kStamps) {
    SCOPED_TRACE(t.seconds);
    file.SetFromSeconds(t.seconds);
    int32_t y, mo, d, h, mi, s;
    file.GetDateTime(y, mo, d, h, mi, s);
    EXPECT_EQ((std::vector<int32_t>{t.y, t.mo, t.d, t.h, t.mi, t.s}),
              (std::vector<int32_t>{y, mo, d, h, mi, s}));
    file.SetDateTime(t.y, t.mo, t.d, t.h, t.mi, t.s);
    EXPECT_EQ(t.seconds, file.ToSeconds());
  }
  file.SetDateTime(1969, 12, 31, 23, 59, 59);  // before the first second: zero
  EXPECT_EQ(0u, file.ToSeconds());
}

TEST(TransferFileCalendar, EveryDayFollowsTheLastOne) {
  TransferFile file;
  int32_t py = 1969, pm = 12, pd = 31, h, mi, s;
  for (int32_t j = 2440588; j <= 2440588 + 49710; ++j) {  // 1970 to 2106
    file.SetFromJulianDay(j);
    int32_t y, mo, d;
    file.GetDateTime(y, mo, d, h, mi, s);
    const bool nextDay = y == py && mo == pm && d == pd + 1;
    const bool nextMonth =
        d == 1 && ((y == py && mo == pm + 1) || (y == py + 1 && mo == 1 && pm == 12));
    ASSERT_TRUE(nextDay || nextMonth) << y << "-" << mo << "-" << d;
    ASSERT_EQ(j, file.JulianDay());
    py = y, pm = mo, pd = d;
  }
}

TEST(DirectorySearchMatch, WindowsWildcards) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.*", "a.b", true},     {"*.*", "noext", true},      {"x.*", "x", true},
      {"x.*", "y", false},      {"*.txt", "x.txt", true},    {"*.txt", "x.txt.bak", false},
      {"a?c", "abc", true},     {"a?c", "ac", false},        {"??", "abc", false},
      {"*a*b", "xaxxb", true},  {"*a*b", "xaxxbc", false},   {"*.TXT", "x.txt", false},
      {"name", "name", true},   {"name", "name2", false},    {"*", ".hidden", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.match, DirectorySearch::Matches(c.pattern, c.name)) << c.pattern << " " << c.name;
  }
}

// Each test runs inside a fresh temporary folder, removed afterwards.
class TransferFileDisk : public ::testing::Test {
 protected:
  // A relative path written with "/" in this platform's separator.
  static std::string P(std::string path) {
    std::replace(path.begin(), path.end(), '/', DirectorySearch::Separator());
    return path;
  }
  static void Make(const std::string& path, const std::string& text = "x") {
    const fs::path file(P(path));
    if (file.has_parent_path()) fs::create_directories(file.parent_path());
    Spit(P(path), text);
  }
  // Everything NextFile hands out, with wildcards as given per call (the last flag repeats).
  std::vector<std::string> Walk(std::string list, int32_t recurse,
                                std::vector<int32_t> wildcards = {1}) {
    listText = P(list);
    std::vector<std::string> names;
    EXPECT_EQ(0, file.BeginList(&listText[0], recurse));
    for (size_t i = 0; names.size() < 20; ++i) {
      if (file.NextFile(wildcards[std::min(i, wildcards.size() - 1)]) == 0) break;
      names.push_back(file.CurrentName());
    }
    EXPECT_EQ(0, file.NextFile(1)) << "an exhausted list stays exhausted";
    return names;
  }

  ScratchFolder scratch{"zandrel-tf-"};
  std::string listText;
  TransferFile file;
};

TEST_F(TransferFileDisk, OpenModesAndStatus) {
  EXPECT_EQ(TransferCode::FileNotOpen, file.Size());
  ASSERT_EQ(0, file.Open("new.bin", "rb"));  // a missing file is created empty
  EXPECT_EQ(TransferCode::FileAlreadyOpen, file.Open("other.bin", "rb"));
  EXPECT_EQ(0, file.WriteChar('x')) << "read-only";
  EXPECT_EQ(0, file.Close());
  EXPECT_EQ(TransferCode::FileNotOpen, file.Close());

  ASSERT_EQ(0, file.Open("f.bin", "wb"));
  EXPECT_EQ(5, file.WriteBlock(reinterpret_cast<const uint8_t*>("hello"), 5));
  EXPECT_EQ(0, file.Close());
  ASSERT_EQ(0, file.Open("f.bin", "ab"));
  EXPECT_EQ(5, file.Tell());
  EXPECT_EQ(1, file.WriteChar('!'));
  EXPECT_EQ(0, file.Close());
  EXPECT_EQ("hello!", Slurp("f.bin"));

  ASSERT_EQ(0, file.Open("f.bin", "rb"));
  EXPECT_EQ(0, file.Seek(-2, 2));
  uint8_t byte = 0, block[8] = {};
  EXPECT_EQ(1, file.ReadChar(&byte));
  EXPECT_EQ('o', byte);
  EXPECT_EQ(0, file.Seek(1, 0));
  EXPECT_EQ(0, file.Seek(1, 1));
  EXPECT_EQ(4, file.ReadBlock(block, 8));
  EXPECT_EQ("llo!", std::string(reinterpret_cast<char*>(block)));
  EXPECT_EQ(0, file.ReadChar(&byte)) << "end of file";
  EXPECT_EQ(0, file.Close());

  ASSERT_EQ(0, file.Open("f.bin", "wb"));  // truncates
  EXPECT_EQ(0, file.Close());
  EXPECT_EQ("", Slurp("f.bin"));

  // Past Windows' classic limit of 260 characters, made and then replaced beside itself.
  const std::string longPath = (fs::current_path() / std::string(150, 'd') / std::string(120, 'f')).u8string();
  fs::create_directories(fs::u8path(longPath).parent_path());
  for (int i = 0; i < 2; ++i) EXPECT_EQ(0, file.Open(longPath.c_str(), "wb") == 0 ? file.Close() : -1);
  EXPECT_TRUE(file.Exists(longPath.c_str()));

  fs::create_directory("dir");
  EXPECT_FALSE(file.Exists("dir"));
  EXPECT_FALSE(file.Exists("missing"));
  EXPECT_EQ(TransferCode::FileOpenFailed, file.Open("dir", "rb"));
  EXPECT_EQ(TransferCode::FileOpenFailed, file.Open(P("missing/f.bin").c_str(), "wb"));
}

// Written over, a file changes only at Close; Discard (or an object destroyed with the file
// still open) leaves the old file and nothing beside it, while a new file keeps its part. Names
// are UTF-8 on every platform.
TEST_F(TransferFileDisk, ReplacementLandsAtCloseAndDiscardKeepsTheOldFile) {
  const std::string old = "\xC3\x9C" "berweisung-\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xA6.bin";
  const auto put = [&](TransferFile& f, const char* name, const std::string& text) {
    ASSERT_EQ(0, f.Open(name, "wb"));
    EXPECT_EQ(static_cast<int32_t>(text.size()),
              f.WriteBlock(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size())));
  };
  Make(old, "old");
  put(file, old.c_str(), "new");
  EXPECT_EQ("old", Slurp(old));
  EXPECT_EQ(0, file.Discard());
  EXPECT_EQ("old", Slurp(old));
  {
    TransferFile dropped;
    put(dropped, old.c_str(), "lost");
  }
  EXPECT_EQ("old", Slurp(old));
  put(file, old.c_str(), "new");
  EXPECT_EQ(0, file.Close());
  EXPECT_EQ("new", Slurp(old));
  put(file, "fresh.txt", "part");
  EXPECT_EQ(0, file.Discard());
  EXPECT_EQ("part", Slurp("fresh.txt"));
  EXPECT_EQ(2, std::distance(fs::directory_iterator("."), fs::directory_iterator()));
  EXPECT_EQ((std::vector<std::string>{old}), Walk("*.bin", 0));
}

// A name written is reached through real folders only: a folder link out or within, a chain, a
// ".." behind a link are refused and nothing outside changes; reading through a link, the
// user's absolute name, nested names replaced or appended to, still work.
TEST_F(TransferFileDisk, NoNameIsWrittenThroughAFolderLink) {
  Make("in/sub/deeper/old.txt", "old");
  Make("outside/victim.txt", "victim");
  Make("outside/deep/user.txt", "user");
  fs::current_path("in");
  if (!OnHost("ln -s ../outside lnk; ln -s lnk chain; ln -s ../outside/deep deep; ln -s sub alias",
              [] { return fs::exists("alias"); }))
    GTEST_SKIP() << "no host shell to make folder links with";
  const std::tuple<std::string, const char*, bool> cases[] = {
      {"lnk/victim.txt", "wb", false}, {"lnk/new.txt", "ab", false}, {"chain/victim.txt", "ab", false},
      {"deep/../victim.txt", "wb", false}, {"alias/new.txt", "wb", false}, {"sub/deeper/old.txt", "wb", true},
      {"sub/./deeper/old.txt", "ab", true}, {"sub/deeper/../new.txt", "wb", true}, {"lnk/victim.txt", "rb", true},
      {(fs::current_path() / "deep" / "user.txt").string(), "ab", true},
  };
  for (const auto& [path, mode, opens] : cases) {
    const int32_t opened = file.Open(P(path).c_str(), mode);
    EXPECT_EQ(opens ? 0 : TransferCode::FileOpenFailed, opened) << path << " " << mode;
    if (opened == 0) {
      file.WriteChar('+');
      EXPECT_EQ(0, file.Close());
    }
  }
  EXPECT_FALSE(file.Exists(P("lnk/victim.txt").c_str()));
  EXPECT_EQ("++", Slurp(P("sub/deeper/old.txt")));
  EXPECT_EQ("victim", Slurp(P("../outside/victim.txt")));
  EXPECT_EQ("user+", Slurp(P("../outside/deep/user.txt")));
  EXPECT_EQ(2, std::distance(fs::directory_iterator(P("../outside")), fs::directory_iterator()));
  EXPECT_TRUE(OnHost("rm lnk chain deep alias", [] { return !fs::exists("lnk") && !fs::exists("alias"); }));
}

TEST_F(TransferFileDisk, StampsHaveTwoSecondResolution) {
  const uint32_t given[] = {1700000001u, 1700000000u, 4000000001u, 951782401u};
  for (uint32_t seconds : given) {
    SCOPED_TRACE(seconds);
    ASSERT_EQ(0, file.Open("stamped", "wb"));
    EXPECT_EQ(3, file.WriteBlock(reinterpret_cast<const uint8_t*>("abc"), 3));
    file.SetFromSeconds(seconds);
    EXPECT_EQ(0, file.ApplyTime());
    EXPECT_EQ(0, file.Close());
    file.SetFromSeconds(0);
    ASSERT_EQ(0, file.Open("stamped", "rb"));
    EXPECT_EQ(0, file.ReadTime());
    EXPECT_EQ(seconds & ~1u, file.ToSeconds());
    EXPECT_EQ(0, file.Close());
  }
}

TEST_F(TransferFileDisk, ListWalksAndOverlongEntries) {
  for (const char* f : {"b", "d/a.txt", "d/sub/inner.txt", "d/z.txt", "e/x.txt", "e/z.txt", "e/s/y.txt", "e/s/y.bin",
                        "e/s/t/w.txt", "e/s2/v.txt"})
    Make(f);
  EXPECT_EQ((std::vector<std::string>{"b"}), Walk("a;b", 0));
  EXPECT_EQ((std::vector<std::string>{"b"}), Walk("b;;b", 0)) << "an empty entry ends the list";
  EXPECT_EQ((std::vector<std::string>{P("d/a.txt"), P("d/z.txt")}), Walk("d/*.*", 0));
  EXPECT_EQ((std::vector<std::string>{P("e/x.txt"), P("e/z.txt")}), Walk("e/*.txt", 0));
  EXPECT_EQ((std::vector<std::string>{P("e/x.txt"), P("e/z.txt"), P("e/s/y.txt"),
                                      P("e/s/t/w.txt"), P("e/s2/v.txt"), P("b")}),
            Walk("e/*.txt;b", 1));
  EXPECT_EQ((std::vector<std::string>{"*.none", P("e/x.txt"), "X1", P("e/z.txt"), "Z1"}),
            Walk("*.none;e/x.txt;X1;e/z.txt;Z1", 0, {0, 1, 0, 1, 0}));

  // Overlong entries are not found.
  const std::string longName(300, 'n');
  EXPECT_EQ((std::vector<std::string>{"b"}), Walk(longName + ";b", 0));
  EXPECT_EQ((std::vector<std::string>{"b"}), Walk(longName + "/b;b", 0, {0}));
  // 255 characters of folder fit; the descent below it would not.
  const std::string deep(200, 'd');
  Make(deep + "/" + std::string(60, 's') + "/f.txt");
  Make(deep + "/g.txt");
  EXPECT_EQ((std::vector<std::string>{P(deep + "/g.txt")}), Walk(deep + "/*.txt", 1));
  TransferFile fresh;
  EXPECT_EQ(0, fresh.NextFile(1)) << "no walk begun";
}
}  // namespace
