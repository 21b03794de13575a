// Port discovery over a sysfs tree built in a temporary folder the way Linux lays it out.
#include "modem/SerialDevices.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fakes/TestData.h"
#include "modem/DeviceLists.h"

namespace {
TEST(SerialDevices, TerminalsWithDevicesInNaturalOrderWithWhatTheKernelKnows) {
  const ScratchFolder scratch("zandrel-sysfs.");
  const std::string root = scratch.path.string();
  // Two 8250 ports, one without a UART behind it; ttyS10 behind the serial core's own devices;
  // an FTDI adapter with its names and serial; an ACM modem without them; a virtual terminal.
  const std::string script = "cd " + root + " && mkdir -p class drivers/serial8250 drivers/port drivers/ftdi_sio " +
      "drivers/cdc_acm drivers/ctrl devices/serial8250/00:00:0/00:00:0.0 devices/usb1/1-1/1-1:1.0 " +
      "devices/usb1/1-2/1-2:1.0 class/ttyS0 class/ttyS1 class/ttyS10 class/ttyUSB0 class/ttyACM0 class/tty0 && " +
      "echo 4 > class/ttyS0/type && echo 0 > class/ttyS1/type && echo 4 > class/ttyS10/type && " +
      "ln -s ../../drivers/serial8250 devices/serial8250/driver && " +
      "ln -s ../../../drivers/ctrl devices/serial8250/00:00:0/driver && " +
      "ln -s ../../../../drivers/port devices/serial8250/00:00:0/00:00:0.0/driver && " +
      "ln -s ../../devices/serial8250 class/ttyS0/device && ln -s ../../devices/serial8250 class/ttyS1/device && " +
      "ln -s ../../devices/serial8250/00:00:0/00:00:0.0 class/ttyS10/device && " +
      "ln -s ../../../../drivers/ftdi_sio devices/usb1/1-1/1-1:1.0/driver && " +
      "ln -s ../../../../drivers/cdc_acm devices/usb1/1-2/1-2:1.0/driver && " +
      "ln -s ../../devices/usb1/1-1/1-1:1.0 class/ttyUSB0/device && " +
      "ln -s ../../devices/usb1/1-2/1-2:1.0 class/ttyACM0/device && " +
      "cd devices/usb1/1-1 && echo 0403 > idVendor && echo 6001 > idProduct && echo FTDI > manufacturer && " +
      "echo 'FT232R USB UART' > product && echo A50285BI > serial && " +
      "cd ../1-2 && echo 2341 > idVendor && echo 0043 > idProduct";
  ASSERT_EQ(std::system(script.c_str()), 0);
  DeviceLists lists;
  SerialDevices::Find(root + "/class", lists);
  const char* const expected[][2] = {
      {"/dev/ttyACM0", "cdc_acm, USB 2341:0043"},
      {"/dev/ttyS0", "serial8250"},
      {"/dev/ttyS10", "serial8250"},
      {"/dev/ttyUSB0", "ftdi_sio, USB 0403:6001 (FTDI FT232R USB UART), serial A50285BI"},
  };
  ASSERT_EQ(lists.PortCount(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(lists.Port(i).name, expected[i][0]);
    EXPECT_EQ(lists.Port(i).detail, expected[i][1]);
  }
  EXPECT_EQ(lists.ModemCount(), 0);
}
}  // namespace
