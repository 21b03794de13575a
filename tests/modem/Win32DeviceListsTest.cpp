// Discovery through the system registry under Wine: machines written as keys into the private
// prefix (below a scratch key standing in for HKEY_LOCAL_MACHINE), read back through the same
// algorithm that reads the real one.
#include "modem/DeviceLists.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "modem/RegistryKey.h"

namespace {
const char kScratch[] = "Software\\Zandrel Tests\\Discovery";
const char kClass[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96D-E325-11CE-BFC1-08002BE10318}\\";

class Win32DeviceLists : public ::testing::Test {
 protected:
  void SetUp() override {
    Registry::LocalMachine()->DeleteTree(kScratch);
    machine = Registry::LocalMachine()->Create(kScratch);
    ASSERT_NE(machine, nullptr);
    auto ports = machine->Create("HARDWARE\\DEVICEMAP\\SERIALCOMM");
    ports->WriteString("\\Device\\Serial0", "COM1");
    ports->WriteString("\\Device\\Serial1", "COM10");
    ports->WriteString("\\Device\\Serial2", "COM100");  // does not fit: the list ends here
    ports->WriteString("\\Device\\Serial3", "COM2");
  }
  void TearDown() override {
    machine.reset();
    Registry::LocalMachine()->DeleteTree(kScratch);
  }
  std::unique_ptr<RegistryKey> machine;
};

TEST_F(Win32DeviceLists, BothModemBranchesAndThePortsFromTheRegistry) {
  DeviceLists lists;
  lists.BuildFromRegistry(*machine, true);
  EXPECT_EQ(lists.ModemCount(), 0);  // a machine without modems
  ASSERT_EQ(lists.PortCount(), 2);
  EXPECT_EQ(lists.Port(0).name, "COM1");
  EXPECT_EQ(lists.Port(1).name, "COM10");

  auto modemEnum = machine->Create("SYSTEM\\CurrentControlSet\\Services\\Modem\\Enum");
  modemEnum->WriteDword("Count", 2);
  modemEnum->WriteString("0", "ROOT\\MODEM\\0000");
  modemEnum->WriteString("1", "ROOT\\MODEM\\0001");
  auto first = machine->Create("SYSTEM\\CurrentControlSet\\Enum\\ROOT\\MODEM\\0000");
  first->WriteString("FriendlyName", "Fieldline 33.6 Data Modem");
  first->WriteString("Driver", "{4D36E96D-E325-11CE-BFC1-08002BE10318}\\0000");
  machine->Create((std::string(kClass) + "0000").c_str())->WriteString("AttachedTo", "COM4");
  // No "Driver": the bare class path, which initialising it later refuses.
  machine->Create("SYSTEM\\CurrentControlSet\\Enum\\ROOT\\MODEM\\0001")->WriteString("FriendlyName", "Bare Modem");
  auto older = machine->Create("System\\CurrentControlSet\\Services\\Class\\Modem\\0001");
  older->WriteString("Model", "Older Modem");
  older->WriteString("AttachedTo", "COM2");

  lists.BuildFromRegistry(*machine, true);
  ASSERT_EQ(lists.ModemCount(), 2);
  EXPECT_EQ(lists.Modem(0).name, "Fieldline 33.6 Data Modem");
  EXPECT_EQ(lists.Modem(0).driverKeyPath, std::string(kClass) + "0000");
  EXPECT_EQ(lists.Modem(0).portIndex, 3);
  EXPECT_EQ(lists.Modem(1).name, "Bare Modem");
  EXPECT_EQ(lists.Modem(1).driverKeyPath, "SYSTEM\\CurrentControlSet\\Control\\Class\\");
  EXPECT_EQ(lists.Modem(1).portIndex, -1);

  lists.BuildFromRegistry(*machine, false);
  ASSERT_EQ(lists.ModemCount(), 1);
  EXPECT_EQ(lists.Modem(0).name, "Older Modem");
  EXPECT_EQ(lists.Modem(0).driverKeyPath, "System\\CurrentControlSet\\Services\\Class\\Modem\\0001");
  EXPECT_EQ(lists.Modem(0).portIndex, 1);
  EXPECT_EQ(lists.PortCount(), 2);
}
}  // namespace
