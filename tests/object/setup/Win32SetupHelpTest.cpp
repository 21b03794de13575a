// The help seam with the system's viewer: the compiled help file opens at a context number in
// a help window. The call runs on a thread of its own, so a viewer that never returns fails the
// test instead of hanging it.
#include "object/setup/SetupHelp.h"

#include <windows.h>

#include <htmlhelp.h>

#include <gtest/gtest.h>

#include <string>

#include "WindowDriver.h"

namespace {
TEST(Win32SetupHelpTest, OpensTheHelpFileAtAContext) {
  std::string file = std::string("Z:") + ZANDREL_HELP_FILE;
  for (char& c : file)
    if (c == '/') c = '\\';
  ASSERT_NE(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << file;
  // The help window lives as long as the thread that asked for it.
  bool shown = false;
  WindowDriver driver;
  driver.Start([&] {
    SetupHelp::Show(file, 2);
    shown = WindowDriver::WaitFor("Zandrel Help") != nullptr;
    HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
  });
  ASSERT_TRUE(driver.Finish());
  EXPECT_TRUE(shown);
}
}  // namespace
