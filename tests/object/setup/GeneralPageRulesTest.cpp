// The General page's rules: what the lists select as the page opens, the protocol switch, the
// Maximum Errors correction and what OK stores, including lists with nothing selected.
#include "object/setup/GeneralPageRules.h"

#include <gtest/gtest.h>

#include "modem/DeviceLists.h"

namespace {
DeviceLists TwoPortsOneModem() {
  DeviceLists devices;
  devices.AddPort({"COM1", ""});
  devices.AddPort({"COM3", ""});
  devices.AddModem({"Line Modem 56K", "SYSTEM\\x", 2});
  return devices;
}

TEST(GeneralPageRulesTest, OpeningSelections) {
  const DeviceLists devices = TwoPortsOneModem();
  const struct {
    int32_t baud;
    int16_t window, protocol, flow, crash, port, modem;
    int32_t useModem;
    int32_t baudIndex, windowIndex, flowIndex, flowCount, crashIndex, connection;
  } cases[] = {
      {2400, 1023, 0, 1, 3, 0, 0, 1, -1, 0, 0, 2, 2, 2},     // 2400 selects no rate; XON/XOFF "None"
      {115200, 4096, 2, 2, 0, 5, 0, 0, 4, 3, 1, 2, -1, -1},  // RTS/CTS kept; port beyond the list
      {9600, -5, 1, 7, 1, 0, 3, 1, 0, 0, -1, 3, 0, -1},      // a modem index beyond the list
  };
  for (const auto& c : cases) {
    SetupCopy copy;
    copy.BaudRate = c.baud;
    copy.WindowSize = c.window;
    copy.Protocol = c.protocol;
    copy.FlowControl = c.flow;
    copy.CrashRecovery = c.crash;
    copy.Port = c.port;
    copy.ModemName = c.modem;
    copy.UseModem = c.useModem;
    const auto state = GeneralPageRules::Open(copy, devices);
    SCOPED_TRACE(c.baud);
    EXPECT_EQ(state.baudRate, c.baudIndex);
    EXPECT_EQ(state.windowSize, c.windowIndex);
    EXPECT_EQ(state.flowControl, c.flowIndex);
    EXPECT_EQ(state.flowList->Count(), c.flowCount);
    EXPECT_EQ(state.crashRecovery, c.crashIndex);
    EXPECT_EQ(state.connection, c.connection);
    EXPECT_EQ(state.zmodemOptions, c.protocol == 1);
  }
  SetupCopy copy;  // BaudRate 0
  const auto state = GeneralPageRules::Open(copy, devices);
  EXPECT_STREQ(ValueList::kBaudRate.Text(state.baudRate), "19200");
  EXPECT_EQ(state.connections, (std::vector<std::string>{"COM1", "COM3", "Line Modem 56K"}));
}

TEST(GeneralPageRulesTest, ProtocolSwitchRebuildsFlowControl) {
  const struct {
    int16_t protocol, flow;
    int32_t to, flowIndex;
  } cases[] = {
      {1, 1, 0, 0},  // XON/XOFF leaving ZModem: None
      {1, 2, 2, 1},  // RTS/CTS stays RTS/CTS
      {0, 2, 1, 2},  // and back into ZModem's list
      {0, 0, 1, 0},
      {1, 0, 1, 0},
  };
  for (const auto& c : cases) {
    SetupCopy copy;
    copy.Protocol = c.protocol;
    copy.FlowControl = c.flow;
    auto state = GeneralPageRules::Open(copy, DeviceLists());
    GeneralPageRules::SelectProtocol(state, c.to);
    EXPECT_EQ(state.flowControl, c.flowIndex) << c.protocol << "->" << c.to;
    EXPECT_EQ(state.zmodemOptions, c.to == 1);
  }
}

TEST(GeneralPageRulesTest, MaxErrorsCorrection) {
  const struct {
    const char *typed, *shown;
  } cases[] = {{"75", "50"}, {"-3", "0"}, {"50", "50"}, {"0", "0"}, {"", ""}, {"4294967295", "4294967295"}};
  for (const auto& c : cases) EXPECT_EQ(GeneralPageRules::CorrectMaxErrors(c.typed), c.shown) << c.typed;
}

TEST(GeneralPageRulesTest, OkStoresTheControls) {
  const DeviceLists devices = TwoPortsOneModem();
  SetupCopy copy;
  copy.Protocol = 1;
  copy.CrashRecovery = 3;
  copy.WindowSize = 3000;
  auto state = GeneralPageRules::Open(copy, devices);
  state.connection = 2;  // the modem
  state.maxErrors = "75";
  GeneralPageRules::Ok(state, copy);
  EXPECT_EQ(copy.UseModem, 1);
  EXPECT_EQ(copy.ModemName, 0);
  EXPECT_EQ(copy.MaxErrors, 50);
  EXPECT_EQ(copy.WindowSize, 2048);
  EXPECT_EQ(copy.CrashRecovery, 3);

  // Nothing selected anywhere: every setting stays as stored.
  SetupCopy stored;
  stored.BaudRate = 2400;
  stored.Port = 7;
  stored.Protocol = 2;
  stored.FlowControl = 2;
  GeneralPageRules::State empty;
  empty.maxErrors = "3";
  GeneralPageRules::Ok(empty, stored);
  EXPECT_EQ(stored.BaudRate, 2400);
  EXPECT_EQ(stored.Port, 7);
  EXPECT_EQ(stored.Protocol, 2);
  EXPECT_EQ(stored.FlowControl, 2);
  EXPECT_EQ(stored.MaxErrors, 3);
}
}  // namespace
