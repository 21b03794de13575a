// The put rules of the automation properties that choose among values: snapping, the modem
// by name, the port by number, the telephone listing (the clamps and cuts are walked through
// the real object by the script tests).
#include "object/PropertyRules.h"

#include <gtest/gtest.h>

#include "modem/DeviceLists.h"
#include "modem/MemoryRegistryKey.h"
#include "object/SettingsStore.h"

namespace {
TEST(PropertyRulesTest, BaudRateAndWindowSnapDown) {
  const struct {
    int32_t in, baud;
  } bauds[] = {{-1, 9600}, {0, 9600}, {19199, 9600}, {19200, 19200}, {20000, 19200}, {38400, 38400},
               {57599, 38400}, {57600, 57600}, {115199, 57600}, {200000, 115200}, {INT32_MIN, 9600}};
  for (const auto& c : bauds) EXPECT_EQ(PropertyRules::SnapBaudRate(c.in), c.baud) << c.in;
  const struct {
    int16_t in, window;
  } windows[] = {{-5, 0}, {1023, 0}, {1024, 1024}, {2047, 1024}, {3000, 2048}, {4096, 4096}, {32767, 4096}};
  for (const auto& c : windows) EXPECT_EQ(PropertyRules::SnapWindowSize(c.in), c.window) << c.in;
}

TEST(PropertyRulesTest, ModemsByNamePrefixPortsByNumber) {
  TransferSettings s;
  DeviceLists devices;
  PropertyRules rules(s, devices);
  // Without devices: no name, port 1, UseModem left alone.
  EXPECT_EQ(rules.GetModemName(), "");
  EXPECT_EQ(rules.GetPort(), 1);
  rules.PutUseModem(1);
  EXPECT_EQ(s.UseModem, 0);

  for (const char* port : {"COM1", "COM3", "COM13"}) devices.AddPort({port, ""});
  for (const char* modem : {"Optima 288", "Optima 336", "Null Modem"}) devices.AddModem({modem, "", 0});
  const struct {
    const char* text;
    int16_t index;
  } modems[] = {{"Optima 3", 1}, {"Optima", 0}, {"Null Modem", 2}, {"null", 0}, {"Null Modem 2", 0},
                {"", 0}, {nullptr, 0}};
  for (const auto& c : modems) {
    s.ModemName = 2;
    rules.PutModemName(c.text);
    EXPECT_EQ(s.ModemName, c.index) << (c.text ? c.text : "null");
  }
  rules.PutModemName("Optima 33");
  EXPECT_EQ(rules.GetModemName(), "Optima 336");
  const struct {
    int16_t number, index, readBack;
  } ports[] = {{13, 2, 13}, {3, 1, 3}, {1, 0, 1}, {4, 0, 1}, {-3, 0, 1}, {0, 0, 1}};
  for (const auto& c : ports) {
    rules.PutPort(c.number);
    EXPECT_EQ(s.Port, c.index) << c.number;
    EXPECT_EQ(rules.GetPort(), c.readBack) << c.number;
  }
  rules.PutUseModem(-7);
  EXPECT_EQ(s.UseModem, -7);
}

TEST(PropertyRulesTest, TelephoneTakesStoredListingsByHash) {
  TransferSettings s;
  DeviceLists none;
  PropertyRules rules(s, none);
  MemoryRegistryKey user;
  {
    auto listings = user.Create(SettingsStore::kTelephonePath);
    listings->WriteString("0.Phone", "555-0100");
    listings->WriteString("3.Phone", "555-0133");
    listings->WriteString("7.Phone", std::string(60, '9').c_str());
  }
  const std::string fifty(50, '1');
  const struct {
    const char* text;
    std::string number;
  } cases[] = {{"#", "555-0100"},      // the first "#" without a digit: listing 0
               {"#3", "555-0133"},     {"#x", "555-0133"},  // the listing chosen before
               {"#5", ""},             {"#", ""},           // listing 5 has no number
               {"#7", std::string(40, '9')},
               {"555 1234", "555 1234"}, {"#3 ignored", "555-0133"},
               {nullptr, ""},          {fifty.c_str(), std::string(40, '1')}};
  for (const auto& c : cases) {
    s.Telephone = "left over";
    rules.PutTelephone(c.text, user);
    EXPECT_EQ(s.Telephone, c.number) << (c.text ? c.text : "null");
  }
  MemoryRegistryKey freshUser;
  rules.PutTelephone("#3", freshUser);
  EXPECT_EQ(s.Telephone, "");
}
}  // namespace
