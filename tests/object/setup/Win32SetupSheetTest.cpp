// The setup sheet as a user meets it, in-process under Windows: the sheet runs its modal loop on
// a UI thread, and the test selects, types, tabs away, clicks, presses OK or Cancel with window
// messages, then reads the settings and the current user's registry back.
#include "object/setup/SetupSheet.h"

#include <gtest/gtest.h>

#include <vector>

#include "WindowDriver.h"
#include "fakes/TestData.h"
#include "modem/DeviceLists.h"
#include "modem/RegistryKey.h"
#include "job/TransferSettings.h"
#include "job/Help.h"
#include "object/setup/SetupIds.h"

namespace {
const char* const kCaption = "Setup Zandrel Tëst 日本";

class Win32SetupSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HelpRecord::Start();
    // The seam asks no viewer about a missing file: the help file has to be there.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    Spit(std::string(temp) + "zandrel.chm", "");
    settings.Reset(1, temp);
    settings.MaxTitle = "Zandrel Tëst 日本";
    devices.AddPort({"COM1", ""});
    devices.AddPort({"COM3", ""});
    devices.AddModem({"Line Modem 56K", "SYSTEM\\CurrentControlSet\\Control\\Class\\m0", 2});
    user = Registry::CurrentUser();
    user->DeleteTree("Software\\Harbwick\\Zandrel\\Telephone");
  }
  void TearDown() override { Help::Install(nullptr); }

  // Opens the sheet with the pages asked for and hands back its window.
  HWND Open(SetupPages pages = SetupPages()) {
    driver.Start([this, pages] {
      SetupSheet sheet(settings, devices, *user);
      ran = sheet.Run(pages);
    });
    return WindowDriver::WaitFor(kCaption);
  }
  // Presses OK or Cancel and waits for the sheet to close.
  void Close(HWND sheet, int button) {
    WindowDriver::Press(sheet, button);
    ASSERT_TRUE(driver.Finish());
    EXPECT_EQ(ran, 1);
  }
  std::string Stored(const char* value) {
    std::string text;
    auto key = user->Open("Software\\Harbwick\\Zandrel\\Telephone");
    if (key) key->ReadString(value, text);
    return text;
  }

  TransferSettings settings;
  DeviceLists devices;
  std::unique_ptr<RegistryKey> user;
  WindowDriver driver;
  int32_t ran = -1;
};

// The drop-down lists as built from the value lists and the machine's devices, and the edits of
// the General, Transfer and Logging pages stored on OK.
TEST_F(Win32SetupSheetTest, ListsAndEdits) {
  settings.Protocol = 1;
  settings.FlowControl = 1;
  settings.WindowSize = 3000;
  settings.CrashRecovery = 2;
  settings.BaudRate = 0;
  settings.LogToFile = 1;
  settings.LogFilename = "C:\\old.log";
  settings.Overwrite = 0;
  HWND sheet = Open();
  ASSERT_TRUE(sheet);
  HWND page = WindowDriver::ShowPage(sheet, 0);
  EXPECT_EQ(WindowDriver::SelectedText(page, IDC_BAUD_RATE), "19200");
  EXPECT_EQ(WindowDriver::SelectedText(page, IDC_WINDOW_SIZE), "2048");
  EXPECT_EQ(WindowDriver::SelectedText(page, IDC_FLOW_CONTROL), "XON/XOFF");
  EXPECT_EQ(WindowDriver::SelectedText(page, IDC_CONNECTION), "COM1");

  WindowDriver::Select(page, IDC_SETUP_PROTOCOL, 0);  // XModem
  EXPECT_EQ(WindowDriver::SelectedText(page, IDC_FLOW_CONTROL), "None");
  EXPECT_FALSE(WindowDriver::Enabled(page, IDC_WINDOW_SIZE));
  EXPECT_FALSE(WindowDriver::Enabled(page, IDC_CRASH_RECOVERY));
  const struct {
    int page, id;
    const char* entries;
  } lists[] = {
      {0, IDC_CONNECTION, "COM1|COM3|Line Modem 56K"},
      {0, IDC_BAUD_RATE, "9600|19200|38400|57600|115200"},
      {0, IDC_SETUP_PROTOCOL, "XModem|ZModem|ACK/NAK|YModem|XModem-1K"},
      {0, IDC_FLOW_CONTROL, "None|RTS/CTS"},
      {0, IDC_WINDOW_SIZE, "Streaming|1024|2048|4096"},
      {0, IDC_CRASH_RECOVERY, "Never|Follow sender|Always"},
      {1, IDC_PATH_SWITCH, "Strip Path|Send Path|Specify Receiver's File Path/Name"},
      {1, IDC_OVERWRITE,
       "Source Longer or Newer|CRCs Don't Match|Append|Always|Source Newer|Date/Length Don't Match|Never"},
  };
  for (const auto& c : lists) EXPECT_EQ(WindowDriver::Entries(WindowDriver::ShowPage(sheet, c.page), c.id), c.entries);
  HWND list = GetDlgItem(WindowDriver::ShowPage(sheet, 3), IDC_LISTING);
  ASSERT_EQ(WindowDriver::Rows(list), 10);
  EXPECT_EQ(WindowDriver::Cell(list, 9, 0), "9");
  page = WindowDriver::ShowPage(sheet, 0);
  WindowDriver::Select(page, IDC_SETUP_PROTOCOL, 1);
  EXPECT_EQ(WindowDriver::SelectedText(page, IDC_FLOW_CONTROL), "None");
  EXPECT_TRUE(WindowDriver::Enabled(page, IDC_WINDOW_SIZE));
  WindowDriver::Select(page, IDC_SETUP_PROTOCOL, 0);
  WindowDriver::Select(page, IDC_FLOW_CONTROL, 1);  // RTS/CTS in the short list
  WindowDriver::Select(page, IDC_SETUP_PROTOCOL, 1);  // and in ZModem's longer one
  EXPECT_EQ(WindowDriver::SelectedText(page, IDC_FLOW_CONTROL), "RTS/CTS");
  WindowDriver::Select(page, IDC_SETUP_PROTOCOL, 0);
  WindowDriver::Select(page, IDC_CONNECTION, 2);    // the modem

  page = WindowDriver::ShowPage(sheet, 1);
  EXPECT_EQ(WindowDriver::SelectedText(page, IDC_OVERWRITE), "Never");
  WindowDriver::Type(page, IDC_RECV_TIMEOUT, "120");
  WindowDriver::Type(page, IDC_DEFAULT_DIR, "D:\\Eingang-Überweisung-日本 😀");
  WindowDriver::Select(page, IDC_PATH_SWITCH, 2);
  page = WindowDriver::ShowPage(sheet, 2);
  EXPECT_TRUE(WindowDriver::Enabled(page, IDC_LOG_FILENAME));
  WindowDriver::Type(page, IDC_LOG_FILENAME, "C:\\new.log");
  WindowDriver::SetCheck(page, IDC_LOG_TO_FILE, false);
  EXPECT_FALSE(WindowDriver::Enabled(page, IDC_LOG_FILENAME));
  EXPECT_FALSE(WindowDriver::Enabled(page, IDC_APPEND_TO_LOG));
  EXPECT_FALSE(WindowDriver::Enabled(page, IDC_BROWSE));
  WindowDriver::SetCheck(page, IDC_LOG_TO_SCREEN, true);
  Close(sheet, PSBTN_OK);
  EXPECT_EQ(settings.Protocol, 0);
  EXPECT_EQ(settings.FlowControl, 2);
  EXPECT_EQ(settings.BaudRate, 19200);
  EXPECT_EQ(settings.UseModem, 1);
  EXPECT_EQ(settings.ModemName, 0);
  EXPECT_EQ(settings.WindowSize, 3000);  // XModem leaves the ZModem options alone
  EXPECT_EQ(settings.CrashRecovery, 2);
  EXPECT_EQ(settings.RecvTimeout, 120);
  EXPECT_EQ(settings.DefaultDir, "D:\\Eingang-Überweisung-日本 😀");
  EXPECT_EQ(settings.PathSwitch, 2);
  EXPECT_EQ(settings.Overwrite, 7);
  EXPECT_EQ(settings.LogToFile, 0);
  EXPECT_EQ(settings.LogToScreen, 1);
  EXPECT_EQ(settings.LogFilename, "C:\\old.log");
}

TEST_F(Win32SetupSheetTest, TelephoneListingAndUnlistedValues) {
  {
    auto key = user->Create("Software\\Harbwick\\Zandrel\\Telephone");
    key->WriteString("2.Desc", "Dépôt 日本");
    key->WriteString("2.Phone", "555-0102");
    key->WriteString("7.Desc", std::string(90, 'x').c_str());  // read as 80
    key->WriteString("Stray", "not a listing");
  }
  settings.Telephone = "555-0102";
  settings.UseModem = 1;
  settings.ModemName = 3;
  const int32_t timeout = settings.SendTimeout;
  // Cancel after editing the listing and a timeout leaves the registry and the settings as they
  // were.
  HWND sheet = Open();
  ASSERT_TRUE(sheet);
  HWND page = WindowDriver::ShowPage(sheet, 0);
  EXPECT_EQ(WindowDriver::SelectedText(page, IDC_CONNECTION), "(none)");  // a modem beyond the list
  WindowDriver::Type(WindowDriver::ShowPage(sheet, 1), IDC_SEND_TIMEOUT, "5");
  page = WindowDriver::ShowPage(sheet, 3);
  HWND list = GetDlgItem(page, IDC_LISTING);
  EXPECT_EQ(WindowDriver::Cell(list, 2, 1), "Dépôt 日本");
  WindowDriver::Click(page, IDC_CLEAR);
  for (int i = 0; i < 100 && WindowDriver::Cell(list, 2, 2) == "555-0102"; ++i) Sleep(10);
  EXPECT_EQ(WindowDriver::Cell(list, 2, 2), "");
  Close(sheet, PSBTN_CANCEL);
  EXPECT_EQ(Stored("2.Phone"), "555-0102");
  EXPECT_EQ(settings.Telephone, "555-0102");
  EXPECT_EQ(settings.SendTimeout, timeout);

  // Values no list holds show as no selection and stay as they are on OK; a window size between
  // the listed ones shows as the one below it. Edit a row: an emptied number keeps the old one;
  // OK saves the listing and the selection.
  settings.UseModem = 0;
  settings.Protocol = 1;
  settings.BaudRate = 2400;
  settings.Port = 5;
  settings.FlowControl = 7;
  settings.CrashRecovery = 0;
  settings.WindowSize = 1023;
  sheet = Open();
  ASSERT_TRUE(sheet);
  page = WindowDriver::ShowPage(sheet, 0);
  for (const int id : {IDC_BAUD_RATE, IDC_CONNECTION, IDC_FLOW_CONTROL, IDC_CRASH_RECOVERY})
    EXPECT_EQ(WindowDriver::SelectedText(page, id), "(none)") << id;
  EXPECT_EQ(WindowDriver::SelectedText(page, IDC_WINDOW_SIZE), "Streaming");
  page = WindowDriver::ShowPage(sheet, 3);
  list = GetDlgItem(page, IDC_LISTING);
  WindowDriver::SelectRow(list, 4);
  WindowDriver::Click(page, IDC_EDIT);
  HWND edit = WindowDriver::WaitFor("Edit Telephone Listing");
  ASSERT_TRUE(edit);
  WindowDriver::Type(edit, IDC_DESCRIPTION, "Nachtlinie Ü 日本 😀");
  WindowDriver::Type(edit, IDC_NUMBER, "555-0144");
  WindowDriver::Click(edit, IDOK);
  ASSERT_TRUE(WindowDriver::WaitGone(edit));
  WindowDriver::Click(page, IDC_EDIT);
  edit = WindowDriver::WaitFor("Edit Telephone Listing");
  ASSERT_TRUE(edit);
  EXPECT_EQ(WindowDriver::Text(edit, IDC_NUMBER), "555-0144");
  WindowDriver::Type(edit, IDC_NUMBER, "");
  WindowDriver::Click(edit, IDOK);
  ASSERT_TRUE(WindowDriver::WaitGone(edit));
  WindowDriver::Type(page, IDC_MODEM_CMD, "AT&F");
  Close(sheet, PSBTN_OK);
  const TransferSettings& s = settings;
  EXPECT_EQ(std::vector<int32_t>({s.BaudRate, s.Port, s.FlowControl, s.CrashRecovery, s.WindowSize}),
            std::vector<int32_t>({2400, 5, 7, 0, 0}));
  EXPECT_EQ(settings.Telephone, "555-0144");
  EXPECT_EQ(settings.ModemCmd, "AT&F");
  EXPECT_EQ(Stored("4.Desc"), "Nachtlinie Ü 日本 😀");
  EXPECT_EQ(Stored("4.Phone"), "555-0144");
  EXPECT_EQ(Stored("2.Phone"), "555-0102");
  EXPECT_EQ(Stored("7.Desc"), std::string(80, 'x'));
  EXPECT_EQ(Stored("Stray"), "");

  // Clearing the selected row and OK: no number to dial.
  sheet = Open();
  ASSERT_TRUE(sheet);
  page = WindowDriver::ShowPage(sheet, 3);
  WindowDriver::Click(page, IDC_CLEAR);
  list = GetDlgItem(page, IDC_LISTING);
  for (int i = 0; i < 100 && WindowDriver::Cell(list, 4, 2) == "555-0144"; ++i) Sleep(10);
  Close(sheet, PSBTN_OK);
  EXPECT_EQ(settings.Telephone, "");
  EXPECT_EQ(Stored("4.Phone"), "");
}

TEST_F(Win32SetupSheetTest, PagesShownAndHelp) {
  devices.Clear();  // no modem: no Modem page, whatever was asked
  devices.AddPort({"COM1", ""});
  SetupPages pages;
  pages.general = false;
  HWND sheet = Open(pages);
  ASSERT_TRUE(sheet);
  HWND tabs = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
  EXPECT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
  WindowDriver::F1(WindowDriver::ShowPage(sheet, 0), IDC_SEND_TIMEOUT);
  WindowDriver::ShowPage(sheet, 1);
  WindowDriver::Click(sheet, IDHELP);
  Sleep(100);
  WindowDriver::F1(sheet, IDOK);  // F1 on the sheet's own buttons goes to the page on show
  Close(sheet, PSBTN_CANCEL);
  EXPECT_EQ(HelpRecord::Asked(), (std::vector<int32_t>{HELP_TRANSFER, HELP_LOGGING, HELP_LOGGING}));
}
}  // namespace
