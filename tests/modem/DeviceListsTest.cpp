// Port and modem discovery against machines built in memory: both modem branches, the room
// limits that end a list, and installations with pieces missing.
#include "modem/DeviceLists.h"

#include <gtest/gtest.h>

#include <memory>

#include "modem/MemoryRegistryKey.h"

namespace {
const char kClass[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\";

void AddSerial(MemoryRegistryKey& machine, const char* device, const char* name) {
  machine.Create("HARDWARE\\DEVICEMAP\\SERIALCOMM")->WriteString(device, name);
}

// An NT-family modem: its entry in the modem enumeration, its device instance and its driver key.
void AddNtModem(MemoryRegistryKey& machine, int index, const char* friendly, const char* driver,
                const char* attachedTo) {
  const std::string instance = "ROOT\\MODEM\\000" + std::to_string(index);
  auto modemEnum = machine.Create("SYSTEM\\CurrentControlSet\\Services\\Modem\\Enum");
  modemEnum->WriteString(std::to_string(index).c_str(), instance.c_str());
  modemEnum->WriteDword("Count", static_cast<uint32_t>(index + 1));
  auto device = machine.Create(("SYSTEM\\CurrentControlSet\\Enum\\" + instance).c_str());
  device->WriteString("FriendlyName", friendly);
  if (driver) {
    device->WriteString("Driver", driver);
    if (attachedTo) machine.Create((std::string(kClass) + driver).c_str())->WriteString("AttachedTo", attachedTo);
  }
}

TEST(DeviceListsTest, NtMachine) {
  MemoryRegistryKey machine;
  AddNtModem(machine, 0, "Optima 288 V.34", "{4D36E96D-E325-11CE-BFC1-08002BE10318}\\0000", "COM4");
  AddNtModem(machine, 1, "Null Modem", nullptr, nullptr);  // no "Driver": the bare class path
  AddNtModem(machine, 2, "Loose Modem", "{4D36E96D-E325-11CE-BFC1-08002BE10318}\\0002", "LPT");
  AddSerial(machine, "\\Device\\Serial0", "COM1");
  AddSerial(machine, "\\Device\\Serial1", "COM10");
  AddSerial(machine, "\\Device\\Serial2", "COM100");  // does not fit: the list ends here
  AddSerial(machine, "\\Device\\Serial3", "COM2");

  DeviceLists lists;
  lists.BuildFromRegistry(machine, true);
  ASSERT_EQ(lists.ModemCount(), 3);
  EXPECT_EQ(lists.Modem(0).name, "Optima 288 V.34");
  EXPECT_EQ(lists.Modem(0).driverKeyPath, std::string(kClass) + "{4D36E96D-E325-11CE-BFC1-08002BE10318}\\0000");
  EXPECT_EQ(lists.Modem(0).portIndex, 3);
  EXPECT_EQ(lists.Modem(1).driverKeyPath, kClass);
  EXPECT_EQ(lists.Modem(1).portIndex, -1);
  EXPECT_EQ(lists.Modem(2).portIndex, -1) << "AttachedTo without a number";
  ASSERT_EQ(lists.PortCount(), 2);
  EXPECT_EQ(lists.Port(0).name, "COM1");
  EXPECT_EQ(lists.Port(1).name, "COM10");

  // The same machine seen as the older family has none of its modems.
  lists.BuildFromRegistry(machine, false);
  EXPECT_EQ(lists.ModemCount(), 0);
  EXPECT_EQ(lists.PortCount(), 2);
}

TEST(DeviceListsTest, NtCountBeyondTheEnumerationStops) {
  MemoryRegistryKey machine;
  AddNtModem(machine, 0, "First", "{x}\\0000", "COM1");
  machine.Create("SYSTEM\\CurrentControlSet\\Services\\Modem\\Enum")->WriteDword("Count", 5);
  DeviceLists lists;
  lists.BuildFromRegistry(machine, true);
  EXPECT_EQ(lists.ModemCount(), 1);
  EXPECT_EQ(lists.Modem(0).portIndex, 0);
}

TEST(DeviceListsTest, OlderFamilyMachine) {
  MemoryRegistryKey machine;
  const std::string base = "System\\CurrentControlSet\\Services\\Class\\Modem";
  machine.Create((base + "\\0001").c_str())->WriteString("Model", "Sportster 33600");
  machine.Create((base + "\\0001").c_str())->WriteString("AttachedTo", "COM2");
  machine.Create((base + "\\0000").c_str())->WriteString("Model", std::string(300, 'M').c_str());

  DeviceLists lists;
  lists.BuildFromRegistry(machine, false);
  ASSERT_EQ(lists.ModemCount(), 2);
  EXPECT_EQ(lists.Modem(0).name, std::string(260, 'M')) << "a name is cut to its room";
  EXPECT_EQ(lists.Modem(1).name, "Sportster 33600");
  EXPECT_EQ(lists.Modem(1).driverKeyPath, base + "\\0001");
  EXPECT_EQ(lists.Modem(1).portIndex, 1);
  EXPECT_EQ(lists.PortCount(), 0);
}

TEST(DeviceListsTest, EmptyMachineAndPortNumbers) {
  MemoryRegistryKey machine;
  DeviceLists lists;
  lists.BuildFromRegistry(machine, true);
  EXPECT_EQ(lists.ModemCount(), 0);
  EXPECT_EQ(lists.PortCount(), 0);

  const struct {
    const char* name;
    int32_t index;
  } cases[] = {{"COM1", 0}, {"COM3", 2}, {"COM10", 9}, {"COM", -1}, {"COMx", -1}, {"", -1}, {nullptr, -1}};
  for (const auto& c : cases) EXPECT_EQ(DeviceLists::PortIndexOf(c.name), c.index) << (c.name ? c.name : "null");
}
}  // namespace
