// Load and Save of the stored settings against users and machines built in memory.
#include "object/SettingsStore.h"

#include <gtest/gtest.h>

#include "modem/DeviceLists.h"
#include "modem/MemoryRegistryKey.h"

namespace {
DeviceLists Machine() {
  DeviceLists devices;
  for (const char* port : {"COM1", "COM3", "COM4"}) devices.AddPort({port, ""});
  for (const char* modem : {"Optima 288", "Optima 336"}) devices.AddModem({modem, "", 0});
  return devices;
}

// The whole round trip, a fresh user, a partial key and a modem or port gone run through the real
// object in the JScript test; here, the stored forms and what the registry may hold instead.
TEST(SettingsStoreTest, SaveWritesTheStoredForms) {
  const DeviceLists devices = Machine();
  TransferSettings saved;
  saved.CrashRecovery = -1;
  saved.MaxTitle = "not stored", saved.HostMode = 1;
  MemoryRegistryKey user;
  EXPECT_EQ(SettingsStore::Save(saved, user, devices), 0);
  auto key = user.Open(SettingsStore::kPath);
  std::string text;
  uint32_t number = 0;
  EXPECT_TRUE(key->ReadDword("CrashRecovery", number) && number == 0xFFFF);  // zero-extended
  EXPECT_EQ(key->ValueCount(), 20u);
  EXPECT_FALSE(key->ReadString("MaxTitle", text) || key->ReadDword("HostMode", number));
}

TEST(SettingsStoreTest, LoadAppliesWhatItFinds) {
  const DeviceLists devices = Machine();
  TransferSettings s;
  MemoryRegistryKey user;
  auto key = user.Create(SettingsStore::kPath);
  key->WriteDword("MaxErrors", 0xFFFF0009);  // 16-bit fields take the low half
  key->WriteDword("UseModem", 1);
  key->WriteString("LogFilename", std::string(1100, 'x').c_str());  // beyond the read buffer
  key->WriteString("Telephone", "#3");  // taken as it is
  key->WriteString("DefaultDir", std::string(300, 'd').c_str());
  static_cast<MemoryRegistryKey&>(*key).WriteRaw("Overwrite", MemoryRegistryKey::kBinary, {5, 0, 0, 0});  // any 4 bytes are a number
  static_cast<MemoryRegistryKey&>(*key).WriteRaw("Protocol", MemoryRegistryKey::kBinary, {1, 0});
  s.LogFilename = "kept.log", s.Protocol = 2;
  EXPECT_EQ(SettingsStore::Load(s, user, devices), -1);
  EXPECT_EQ(s.MaxErrors, 9);
  EXPECT_EQ(s.UseModem, 1);
  EXPECT_EQ(s.LogFilename, "kept.log");
  EXPECT_EQ(s.Telephone, "#3");
  EXPECT_EQ(s.DefaultDir, std::string(260, 'd'));
  EXPECT_EQ(s.Overwrite, 5);
  EXPECT_EQ(s.Protocol, 2);

  // Without modems UseModem is not read: it becomes 0 and is not missed.
  DeviceLists bare;
  TransferSettings t;
  t.UseModem = 1;
  MemoryRegistryKey other;
  TransferSettings full;
  SettingsStore::Save(full, other, bare);
  other.Open(SettingsStore::kPath, true)->DeleteValue("UseModem");
  EXPECT_EQ(SettingsStore::Load(t, other, bare), 0);
  EXPECT_EQ(t.UseModem, 0);
  auto stored = other.Open(SettingsStore::kPath);
  std::string modem = "?";
  uint32_t port = 1;
  EXPECT_TRUE(stored->ReadString("ModemName", modem) && modem.empty());
  EXPECT_TRUE(stored->ReadDword("Port", port) && port == 0);
}
}  // namespace
