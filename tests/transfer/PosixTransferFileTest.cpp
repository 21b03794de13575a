// What the POSIX file layer refuses to open: FIFOs and devices in every mode (a FIFO would
// block the open), and for writing a symbolic link that leads out of its folder.
#include "transfer/TransferFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "fakes/TestData.h"
#include "transfer/TransferCodes.h"

namespace fs = std::filesystem;

namespace {
TEST(PosixTransferFile, OnlyRegularFilesAndLinksThatStayInTheirFolder) {
  const ScratchFolder scratch("zandrel-ptf-");
  fs::create_directories("in/sub");
  fs::current_path("in");
  Spit("../outside.txt", "outside");
  Spit("inner.txt", "inner");
  ASSERT_EQ(0, ::mkfifo("fifo", 0600));
  fs::create_symlink("../outside.txt", "out");
  fs::create_symlink("../nothing.txt", "dangling");
  fs::create_symlink("inner.txt", "in");
  fs::create_symlink("../inner.txt", "sub/up");  // leaves its own folder, if not the tree
  struct Case {
    const char* path;
    const char* mode;
    bool opens;
  } cases[] = {
      {"fifo", "rb", false},      {"fifo", "wb", false},      {"fifo", "ab", false},
      {"/dev/null", "wb", false}, {"/dev/null", "rb", false}, {"out", "wb", false},
      {"out", "ab", false},       {"dangling", "wb", false},  {"sub/up", "ab", false},
      {"out", "rb", true},        {"in", "ab", true},         {"inner.txt", "ab", true},
  };
  for (const Case& c : cases) {
    TransferFile file;
    const int32_t opened = file.Open(c.path, c.mode);
    EXPECT_EQ(c.opens ? 0 : TransferCode::FileOpenFailed, opened) << c.path << " " << c.mode;
    if (opened == 0) {
      file.WriteBlock(reinterpret_cast<const uint8_t*>("+"), 1);
      file.Close();
    }
  }
  EXPECT_EQ("outside", Slurp("../outside.txt"));
  EXPECT_FALSE(fs::exists("../nothing.txt"));
  EXPECT_EQ("inner++", Slurp("inner.txt"));
}
}  // namespace
