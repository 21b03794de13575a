// The process's lists without a registry: the kernel's serial ports, and the one modem this
// host knows how to drive, the built-in generic Hayes modem (on whatever port is chosen).
#include "modem/DeviceLists.h"

#include "modem/GenericHayes.h"
#include "modem/SerialDevices.h"

DeviceLists& DeviceLists::Process() {
  static DeviceLists lists = [] {
    DeviceLists found;
    SerialDevices::Find("/sys/class/tty", found);
    found.AddModem(ModemEntry{GenericHayes::kName, GenericHayes::kDriverKey, -1});
    return found;
  }();
  return lists;
}
