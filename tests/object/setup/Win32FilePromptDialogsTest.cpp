// The file prompt on Windows as a user meets it: the file-open dialog with two files typed in,
// "Send File As ..." with a receiver name edited or emptied, and Help in its dialogs, down to the
// compiled help file opened in the system's viewer. (What the prompt makes of a plain selection
// is proven over scripted windows, tests/job/FilePromptTest.)
#include "object/setup/FilePromptDialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "WindowDriver.h"
#include "fakes/Prerequisite.h"
#include "fakes/TestData.h"
#include "job/TransferSettings.h"
#include "job/Help.h"
#include "object/setup/SetupIds.h"

namespace {
class Win32FilePromptDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HelpRecord::Start();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "zandrel-prompt";
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) Spit(folder + "\\" + name, "data\n");
    settings.Reset(1, folder + "\\");  // a.txt stands in for the help file, which must exist
    settings.HelpFile = folder + "\\a.txt";
    settings.Protocol = TransferSettings::kZModem;
    settings.DefaultDir = folder;
  }
  void TearDown() override { Help::Install(nullptr); }

  void StartPrompt() {
    driver.Start([this] {
      FilePromptDialogs windows(settings.HelpFile);
      result = FilePrompt::Run(settings, windows);
    });
  }
  // Types the names into the file-open dialog's name box and presses its OK.
  static void ChooseFiles(const char* names) {
    HWND open = WindowDriver::WaitFor("Select File to Transfer");
    ASSERT_TRUE(open);
    HWND name = GetDlgItem(open, 0x47c);  // the explorer-style dialog's file name box
    if (!name) name = GetDlgItem(open, 0x480);
    ASSERT_TRUE(name);
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(names));
    WindowDriver::Click(open, IDOK);
  }

  std::string folder;
  TransferSettings settings;
  WindowDriver driver;
  int32_t result = -1;
};

TEST_F(Win32FilePromptDialogsTest, SendFileAs) {
  settings.PathSwitch = 2;
  const struct {
    bool empty;
    int button;
    int32_t result;
  } cases[] = {{false, IDOK, 0}, {true, IDOK, 4}, {false, IDCANCEL, 6}};
  for (const auto& c : cases) {
    settings.Attempted = 0;
    StartPrompt();
    ChooseFiles("\"a.txt\" \"b.txt\"");
    HWND sendAs = WindowDriver::WaitFor("Send File As ...");
    ASSERT_TRUE(sendAs);
    HWND list = GetDlgItem(sendAs, IDC_SEND_AS_LIST);
    ASSERT_EQ(WindowDriver::Rows(list), 2);
    EXPECT_EQ(WindowDriver::Cell(list, 1, 0), folder + "\\b.txt");
    EXPECT_EQ(WindowDriver::Cell(list, 1, 1), "b.txt");
    WindowDriver::SelectRow(list, 1);
    WindowDriver::Click(sendAs, IDC_EDIT);
    HWND edit = WindowDriver::WaitFor("Edit Receiver File Name");
    ASSERT_TRUE(edit);
    EXPECT_EQ(WindowDriver::Text(edit, IDC_SENDER_NAME), folder + "\\b.txt");
    EXPECT_FALSE(WindowDriver::Enabled(edit, IDC_SENDER_NAME));
    WindowDriver::F1(edit, IDC_RECEIVER_NAME);
    WindowDriver::Type(edit, IDC_RECEIVER_NAME, c.empty ? "" : "in\\b2.txt");
    WindowDriver::Click(edit, IDOK);
    ASSERT_TRUE(WindowDriver::WaitGone(edit));
    WindowDriver::Click(sendAs, IDC_HELP_BUTTON);
    WindowDriver::Click(sendAs, c.button);
    ASSERT_TRUE(driver.Finish());
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(settings.FileList, c.result ? "" : folder + "\\a.txt;a.txt;" + folder + "\\b.txt;in\\b2.txt");
    EXPECT_EQ(settings.Attempted, 2);
  }
  EXPECT_EQ(HelpRecord::Asked(), (std::vector<int32_t>{9, 8, 9, 8, 9, 8}));
}

// The help seam opens the compiled help file at a context number in a help window. The call
// runs on a thread of its own, so a viewer that never returns fails the test instead of hanging
// it; the help window lives as long as the thread that asked for it.
TEST(Win32HelpFile, OpensAtAContext) {
  std::string file = std::string("Z:") + ZANDREL_HELP_FILE;
  std::replace(file.begin(), file.end(), '/', '\\');
  REQUIRE_PREREQUISITE(GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES,
                       file << " not built: chmcmd (fp-utils) missing");
  bool shown = false;
  WindowDriver driver;
  driver.Start([&] {
    Help::Show(file.c_str(), 2, nullptr);
    HWND help = WindowDriver::WaitFor("Zandrel Help");
    shown = help != nullptr;
    if (help) SendMessageA(help, WM_CLOSE, 0, 0);
  });
  ASSERT_TRUE(driver.Finish());
  EXPECT_TRUE(shown);
}
}  // namespace
