// Port and modem discovery over the registry seam, written once: the Windows build reads the
// system registry through it, the tests read machines they build in memory.
#include "modem/DeviceLists.h"

#include <cstdlib>
#include <memory>

#include "modem/RegistryKey.h"

namespace {
const char kModemEnum[] = "SYSTEM\\CurrentControlSet\\Services\\Modem\\Enum";
const char kDeviceEnum[] = "SYSTEM\\CurrentControlSet\\Enum";
const char kClassPath[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
const char kModemClass9x[] = "System\\CurrentControlSet\\Services\\Class\\Modem";
const char kSerialMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// A text value as a fixed buffer of that room would hold it: false when missing or too long.
bool ReadFitting(RegistryKey& key, const char* name, std::string& text, size_t room) {
  return key.ReadString(name, text) && text.size() < room;
}

// A text value cut to the room's characters; empty when missing.
std::string ReadCut(RegistryKey& key, const char* name, size_t room) {
  std::string text;
  if (!key.ReadString(name, text)) return std::string();
  if (text.size() >= room) text.resize(room - 1);
  return text;
}
}  // namespace

void DeviceLists::Clear() {
  ports.clear();
  modems.clear();
}

void DeviceLists::BuildFromRegistry(RegistryKey& localMachine, bool nt) {
  Clear();
  if (nt)
    ReadNtModems(localMachine);
  else
    Read9xModems(localMachine);
  ReadPorts(localMachine);
}

int32_t DeviceLists::PortIndexOf(const char* name) {
  if (name == nullptr) return -1;
  for (int i = 0; i < 3; ++i)
    if (name[i] == '\0') return -1;
  const char* digits = name + 3;
  if (*digits < '0' || *digits > '9') return -1;
  return static_cast<int32_t>(std::strtol(digits, nullptr, 10)) - 1;
}

int32_t DeviceLists::AttachedPort(RegistryKey& localMachine, const std::string& driverKeyPath) {
  std::unique_ptr<RegistryKey> driver = localMachine.Open(driverKeyPath.c_str());
  std::string attached;
  if (!driver || !ReadFitting(*driver, "AttachedTo", attached, kAttachedRoom)) return -1;
  return PortIndexOf(attached.c_str());
}

void DeviceLists::ReadNtModems(RegistryKey& localMachine) {
  std::unique_ptr<RegistryKey> modemEnum = localMachine.Open(kModemEnum);
  if (!modemEnum) return;
  uint32_t count = 0;
  if (!modemEnum->ReadDword("Count", count)) count = 0;
  std::unique_ptr<RegistryKey> deviceEnum = localMachine.Open(kDeviceEnum);
  if (!deviceEnum) return;
  for (uint32_t i = 0; i < count; ++i) {
    std::string instancePath;
    if (!ReadFitting(*modemEnum, std::to_string(i).c_str(), instancePath, kInstanceRoom)) break;
    std::unique_ptr<RegistryKey> instance = deviceEnum->Open(instancePath.c_str());
    if (!instance) break;
    ModemEntry entry;
    entry.name = ReadCut(*instance, "FriendlyName", kModemNameRoom);
    std::string driver;
    entry.driverKeyPath = kClassPath;
    // Without its "Driver" the modem keeps the bare class path, and initialising it fails later.
    if (ReadFitting(*instance, "Driver", driver, kDriverRoom)) entry.driverKeyPath += driver;
    instance.reset();
    entry.portIndex = AttachedPort(localMachine, entry.driverKeyPath);
    modems.push_back(std::move(entry));
  }
}

void DeviceLists::Read9xModems(RegistryKey& localMachine) {
  std::unique_ptr<RegistryKey> modemClass = localMachine.Open(kModemClass9x);
  if (!modemClass) return;
  for (uint32_t i = 0;; ++i) {
    std::string subkey;
    if (!modemClass->SubkeyAt(i, subkey) || subkey.size() >= kInstanceRoom) break;
    std::unique_ptr<RegistryKey> driver = modemClass->Open(subkey.c_str());
    if (!driver) break;
    ModemEntry entry;
    entry.driverKeyPath = std::string(kModemClass9x) + "\\" + subkey;
    entry.name = ReadCut(*driver, "Model", kModemNameRoom);
    driver.reset();
    entry.portIndex = AttachedPort(localMachine, entry.driverKeyPath);
    modems.push_back(std::move(entry));
  }
}

void DeviceLists::ReadPorts(RegistryKey& localMachine) {
  std::unique_ptr<RegistryKey> serialMap = localMachine.Open(kSerialMap);
  if (!serialMap) return;
  for (uint32_t i = 0;; ++i) {
    std::string name, device;
    if (!serialMap->ValueAt(i, name, device)) break;
    if (name.size() >= 256 || device.empty() || device.size() >= kPortNameRoom) break;
    ports.push_back(PortEntry{device, std::string()});
  }
}
