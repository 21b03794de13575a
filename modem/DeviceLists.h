// The serial ports and modems installed on the machine, found once and kept for the life of the
// process: the setup sheet lists them, the automation properties select them by position, and
// the job turns the selection into a port index (and, for a modem, its installation).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class RegistryKey;

struct PortEntry {
  std::string name;    // what the user selects: COM3 on Windows, /dev/ttyUSB0 elsewhere
  std::string detail;  // what the system knows of the device (driver, USB ids); may be empty
};

struct ModemEntry {
  std::string name;           // friendly name (or model), as shown and matched by ModemName
  std::string driverKeyPath;  // below HKEY_LOCAL_MACHINE: where its command strings are
  int32_t portIndex = -1;     // 0-based serial port it is attached to; -1 when not known
};

class DeviceLists {
 public:
  // Rooms of the registry texts, terminator included; a port name that does not fit ends the
  // port list (COM100 does not fit, COM10 does).
  static constexpr size_t kPortNameRoom = 6;
  static constexpr size_t kModemNameRoom = 261;
  static constexpr size_t kInstanceRoom = 256;
  static constexpr size_t kDriverRoom = 217;
  static constexpr size_t kAttachedRoom = 10;

  // Fills both lists from a machine's registry (the HKEY_LOCAL_MACHINE root): the modems from
  // the NT family's modem enumeration when nt is set, else from the older modem class key, then
  // the ports from the serial device map. Missing keys and values give shorter lists or empty
  // fields, never a failure. Replaces what the lists held.
  void BuildFromRegistry(RegistryKey& localMachine, bool nt);

  int32_t PortCount() const { return static_cast<int32_t>(ports.size()); }
  const PortEntry& Port(int32_t index) const { return ports[static_cast<size_t>(index)]; }
  int32_t ModemCount() const { return static_cast<int32_t>(modems.size()); }
  const ModemEntry& Modem(int32_t index) const { return modems[static_cast<size_t>(index)]; }

  // For hosts that find their devices otherwise.
  void AddPort(PortEntry entry) { ports.push_back(std::move(entry)); }
  void AddModem(ModemEntry entry) { modems.push_back(std::move(entry)); }
  void Clear();

  // The 0-based port index of a name such as COM3: its decimal number from the fourth
  // character on, minus one (COM3 gives 2). -1 when no number follows.
  static int32_t PortIndexOf(const char* name);

  // The lists of this process, found on first use (Windows: the system registry; elsewhere the
  // system's serial devices). Read-only afterwards, so any thread may read them.
  static DeviceLists& Process();

 private:
  void ReadNtModems(RegistryKey& localMachine);
  void Read9xModems(RegistryKey& localMachine);
  void ReadPorts(RegistryKey& localMachine);
  // The port the modem's installation says it is attached to.
  static int32_t AttachedPort(RegistryKey& localMachine, const std::string& driverKeyPath);

  std::vector<PortEntry> ports;
  std::vector<ModemEntry> modems;
};
