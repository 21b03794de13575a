// The compiled help file in the system's viewer: the help seam opens it at a context number in a
// help window. The call runs on a thread of its own, so a viewer that never returns fails the
// test instead of hanging it.
#include "job/Help.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "WindowDriver.h"

namespace {
TEST(Win32HelpFileTest, OpensTheHelpFileAtAContext) {
  std::string file = std::string("Z:") + ZANDREL_HELP_FILE;
  for (char& c : file)
    if (c == '/') c = '\\';
  ASSERT_NE(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << file;
  // The help window lives as long as the thread that asked for it.
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
