// Telephone by listing number. The other put rules (snapping, clamps, cuts, a plain number, the
// modem by name, the port by number) are walked through the real object by the script tests,
// tests/server.
#include "object/PropertyRules.h"

#include <gtest/gtest.h>

#include "modem/DeviceLists.h"
#include "modem/MemoryRegistryKey.h"
#include "object/SettingsStore.h"

namespace {
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
  const struct {
    const char* text;
    std::string number;
  } cases[] = {{"#", "555-0100"},      // the first "#" without a digit: listing 0
               {"#3", "555-0133"},     {"#x", "555-0133"},  // the listing chosen before
               {"#5", ""},             {"#", ""},           // listing 5 has no number
               {"#7", std::string(40, '9')}, {"#3 ignored", "555-0133"},
               {nullptr, ""}};
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
