// sysfs layout: /sys/class/tty/<name>/device links to the device (for a USB adapter, its
// interface, whose parent holds idVendor and the rest); device/driver links to the driver.
#include "modem/SerialDevices.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

#include "modem/DeviceLists.h"

namespace {
std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string LinkName(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  if (n <= 0) return std::string();
  const std::string text(target, static_cast<size_t>(n));
  return text.substr(text.find_last_of('/') + 1);
}

// ttyS2 before ttyS10: the letters, then the number.
bool NaturalLess(const std::string& a, const std::string& b) {
  const size_t da = a.find_first_of("0123456789"), db = b.find_first_of("0123456789");
  const std::string pa = a.substr(0, da), pb = b.substr(0, db);
  if (pa != pb) return pa < pb;
  const std::string na = da == std::string::npos ? "" : a.substr(da), nb = db == std::string::npos ? "" : b.substr(db);
  return na.size() != nb.size() ? na.size() < nb.size() : na < nb;
}

// "ftdi_sio, USB 0403:6001 (FTDI FT232R USB UART), serial A50285BI": on the way up from the
// tty's device, the first driver that is not the serial core's own ("port" and "ctrl": a newer
// kernel puts devices of its own between the tty and the hardware), and the first USB device.
std::string Detail(const std::string& devicePath) {
  char real[PATH_MAX];
  if (!realpath(devicePath.c_str(), real)) return std::string();
  std::string driver, usb;
  for (std::string dir = real; dir.size() > 1 && usb.empty(); dir = dir.substr(0, dir.find_last_of('/'))) {
    const std::string name = LinkName(dir + "/driver");
    if (driver.empty() && name != "port" && name != "ctrl") driver = name;
    const std::string vendor = FirstLine(dir + "/idVendor");
    if (vendor.empty()) continue;
    usb = "USB " + vendor + ":" + FirstLine(dir + "/idProduct");
    std::string names = FirstLine(dir + "/manufacturer");
    const std::string product = FirstLine(dir + "/product");
    if (!product.empty()) names += (names.empty() ? "" : " ") + product;
    if (!names.empty()) usb += " (" + names + ")";
    const std::string serial = FirstLine(dir + "/serial");
    if (!serial.empty()) usb += ", serial " + serial;
  }
  return driver.empty() || usb.empty() ? driver + usb : driver + ", " + usb;
}
}  // namespace

void SerialDevices::Find(const std::string& classDir, DeviceLists& lists) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(classDir.c_str())) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(dir);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  for (const std::string& name : names) {
    const std::string device = classDir + "/" + name + "/device";
    if (access(device.c_str(), F_OK) != 0) continue;  // a virtual terminal
    if (name.compare(0, 4, "ttyS") == 0 && name.size() > 4 && std::isdigit(static_cast<unsigned char>(name[4])) &&
        FirstLine(classDir + "/" + name + "/type") == "0")
      continue;
    lists.AddPort(PortEntry{"/dev/" + name, Detail(device)});
  }
}
