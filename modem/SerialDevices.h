// The serial ports of a POSIX system as its kernel lists them (Linux: /sys/class/tty), with
// what it knows of each device: the driver, and for a USB adapter its vendor and product ids,
// names and serial number.
#pragma once
#include <string>

class DeviceLists;

class SerialDevices {
 public:
  // Adds a PortEntry ("/dev/" + name, detail) for every terminal under classDir that has a
  // device behind it, in natural name order (ttyS2 before ttyS10). A ttyS port counts only with
  // a UART present (its "type" is not 0): the kernel lists every possible 8250 port.
  static void Find(const std::string& classDir, DeviceLists& lists);
};
