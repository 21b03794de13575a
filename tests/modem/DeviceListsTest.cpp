// Port and modem discovery against a machine written as registry keys below a scratch key of the
// system's HKEY_LOCAL_MACHINE (natively an in-memory tree; under Wine the private prefix's
// registry, read through the same algorithm that reads the real one): both modem branches, the
// room limits that end a list, and installations with pieces missing.
#include "modem/DeviceLists.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "modem/RegistryKey.h"

namespace {
const char kScratch[] = "Software\\Zandrel Tests\\Discovery";
const std::string kClass = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
const std::string kModemClass = kClass + "{4D36E96D-E325-11CE-BFC1-08002BE10318}\\";
const std::string kOlder = "System\\CurrentControlSet\\Services\\Class\\Modem\\";

class DeviceListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = Registry::LocalMachine();
    root->DeleteTree(kScratch);
    machine = root->Create(kScratch);
    ASSERT_NE(machine, nullptr);
  }
  void TearDown() override {
    machine.reset();
    root->DeleteTree(kScratch);
  }
  // An NT-family modem: its entry in the modem enumeration, its device instance and its driver key.
  void AddNtModem(int index, const char* friendly, const char* driver, const char* attachedTo) {
    const std::string instance = "ROOT\\MODEM\\000" + std::to_string(index);
    machine->Create("SYSTEM\\CurrentControlSet\\Services\\Modem\\Enum")->WriteString(std::to_string(index).c_str(), instance.c_str());
    auto device = machine->Create(("SYSTEM\\CurrentControlSet\\Enum\\" + instance).c_str());
    device->WriteString("FriendlyName", friendly);
    if (!driver) return;
    device->WriteString("Driver", ("{4D36E96D-E325-11CE-BFC1-08002BE10318}\\" + std::string(driver)).c_str());
    machine->Create((kModemClass + driver).c_str())->WriteString("AttachedTo", attachedTo);
  }
  std::unique_ptr<RegistryKey> root, machine;
};

TEST_F(DeviceListsTest, BothModemBranchesAndThePorts) {
  DeviceLists lists;
  lists.BuildFromRegistry(*machine, true);
  EXPECT_EQ(lists.ModemCount() + lists.PortCount(), 0);  // a machine without modems or ports

  auto ports = machine->Create("HARDWARE\\DEVICEMAP\\SERIALCOMM");
  ports->WriteString("\\Device\\Serial0", "COM1");
  ports->WriteString("\\Device\\Serial1", "COM10");
  ports->WriteString("\\Device\\Serial2", "COM100");  // does not fit: the list ends here
  ports->WriteString("\\Device\\Serial3", "COM2");
  AddNtModem(0, "Fieldline 33.6 Data Modem", "0000", "COM4");
  AddNtModem(1, "Bare Modem", nullptr, nullptr);  // no "Driver": the bare class path
  AddNtModem(2, "Loose Modem", "0002", "LPT");
  machine->Create("SYSTEM\\CurrentControlSet\\Services\\Modem\\Enum")->WriteDword("Count", 5);  // more than listed
  auto older = machine->Create((kOlder + "0001").c_str());
  older->WriteString("Model", "Older Modem");
  older->WriteString("AttachedTo", "COM2");
  machine->Create((kOlder + "0000").c_str())->WriteString("Model", std::string(300, 'M').c_str());

  const struct {
    bool nt;
    std::vector<ModemEntry> modems;
  } branches[] = {
      {true,
       {{"Fieldline 33.6 Data Modem", kModemClass + "0000", 3}, {"Bare Modem", kClass, -1}, {"Loose Modem", kModemClass + "0002", -1}}},
      {false, {{std::string(260, 'M'), kOlder + "0000", -1}, {"Older Modem", kOlder + "0001", 1}}},
  };
  for (const auto& branch : branches) {
    lists.BuildFromRegistry(*machine, branch.nt);
    ASSERT_EQ(lists.ModemCount(), static_cast<int32_t>(branch.modems.size())) << branch.nt;
    for (int32_t i = 0; i < lists.ModemCount(); ++i) {
      EXPECT_EQ(lists.Modem(i).name, branch.modems[i].name);
      EXPECT_EQ(lists.Modem(i).driverKeyPath, branch.modems[i].driverKeyPath);
      EXPECT_EQ(lists.Modem(i).portIndex, branch.modems[i].portIndex) << lists.Modem(i).name;
    }
    ASSERT_EQ(lists.PortCount(), 2);
    EXPECT_EQ(lists.Port(0).name + lists.Port(1).name, "COM1COM10");
  }
}

TEST(DeviceListsPortIndex, NumberAfterCom) {
  const struct {
    const char* name;
    int32_t index;
  } cases[] = {{"COM1", 0}, {"COM3", 2}, {"COM10", 9}, {"COM", -1}, {"COMx", -1}, {"", -1}, {nullptr, -1}};
  for (const auto& c : cases) EXPECT_EQ(DeviceLists::PortIndexOf(c.name), c.index) << (c.name ? c.name : "null");
}
}  // namespace
