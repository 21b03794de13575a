// The file prompt's rules over scripted windows: the dialog's request, the list and the count it
// leaves, and "Send File As ..." with its results 4 and 6.
#include "job/FilePrompt.h"

#include <gtest/gtest.h>

#include "job/TransferSettings.h"

namespace {
class ScriptedWindows : public FilePromptWindows {
 public:
  bool ChooseFiles(const Request& r, FileSelection& chosen) override {
    request = r;
    chosen = FileSelection::FromBuffer(buffer.data(), buffer.size());
    return picked;
  }
  int32_t SendFileAs(const FileSelection& chosen, std::string& list) override {
    list = button == kOk && !receiverMissing ? chosen.JoinedPaths() + ";pairs" : std::string();
    return button;
  }
  std::string buffer;
  bool picked = true;
  int32_t button = kOk;
  bool receiverMissing = false;
  Request request{};
};

const std::string kThree = std::string("C:\\data\0a.txt\0b.txt\0c.txt\0\0", 27);

TEST(FilePromptTest, Outcomes) {
  const struct {
    int16_t protocol, pathSwitch;
    std::string buffer;
    bool picked;
    int32_t button;
    bool receiverMissing;
    int32_t result;
    const char* fileList;
    int16_t attempted;
  } cases[] = {
      {1, 0, kThree, true, 1, false, 0, "C:\\data\\a.txt;C:\\data\\b.txt;C:\\data\\c.txt", 3},
      {0, 0, std::string("C:\\data\\one.bin\0", 16), true, 1, false, 0, "C:\\data\\one.bin", 1},
      {1, 0, kThree, false, 1, false, 0, "", 0},  // cancelled: nothing chosen
      {1, 2, kThree, true, 1, false, 0, "C:\\data\\a.txt;C:\\data\\b.txt;C:\\data\\c.txt;pairs", 3},
      {1, 2, kThree, true, 1, true, 4, "", 3},
      {1, 2, kThree, true, 2, false, 6, "", 3},
      {1, 1, std::string("C:\\\0x.txt\0y.txt\0", 16), true, 1, false, 0, "C:\\x.txt;C:\\y.txt", 2},
      {3, 2, kThree, true, 1, false, 0, "C:\\data\\a.txt;C:\\data\\b.txt;C:\\data\\c.txt", 3},  // no pairs
  };
  for (const auto& c : cases) {
    TransferSettings settings;
    settings.Protocol = c.protocol;
    settings.PathSwitch = c.pathSwitch;
    settings.FileList = "stale";
    settings.DefaultDir = "D:\\in";
    ScriptedWindows windows;
    windows.buffer = c.buffer;
    windows.picked = c.picked;
    windows.button = c.button;
    windows.receiverMissing = c.receiverMissing;
    SCOPED_TRACE(c.fileList);
    EXPECT_EQ(FilePrompt::Run(settings, windows), c.result);
    EXPECT_EQ(settings.FileList, c.fileList);
    EXPECT_EQ(settings.Attempted, c.attempted);
    EXPECT_EQ(windows.request.multiple, c.protocol == 1 || c.protocol == 3);
    EXPECT_EQ(windows.request.folder, "D:\\in");
  }
  // The request follows the direction.
  TransferSettings receive;
  receive.Transfer = 0;
  ScriptedWindows windows;
  windows.picked = false;
  FilePrompt::Run(receive, windows);
  EXPECT_EQ(windows.request.title, "Select File to Receive");
}
}  // namespace
