// The job's port on POSIX: the device path of the selected port list entry, opened as a
// PosixPort, and a reason a user can act on when it does not open.
#include "job/TransferJob.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "link/LinkCodes.h"
#include "link/PosixPort.h"

namespace {
std::string Reason(const PosixPort& port) {
  const int error = port.SystemError();
  if (port.Status() == LinkCode::PortInUse) return "in use by another program";
  if (error == ENOTTY || error == EINVAL) return "not a serial device";
  std::string reason = error ? std::strerror(error) : "cannot be opened";
  struct stat info {};
  if ((error == EACCES || error == EPERM) && stat(port.Path().c_str(), &info) == 0 && info.st_gid != 0 &&
      (info.st_mode & S_IRGRP) && (info.st_mode & S_IWGRP)) {
    // The usual cure on Linux: membership in the group the device lets read and write (dialout).
    if (const group* owner = getgrgid(info.st_gid))
      reason += std::string("\n(the device belongs to group '") + owner->gr_name +
                "': add yourself with 'sudo usermod -aG " + owner->gr_name +
                " $USER', then log in again)";
  }
  return reason;
}
}  // namespace

std::unique_ptr<ComLink> TransferJob::OpenPort() {
  // A modem's entry names the port list entry it is attached to.
  int32_t index = settings.Port;
  if (settings.UseModem != 0)
    index = settings.ModemName >= 0 && settings.ModemName < devices.ModemCount()
                ? devices.Modem(settings.ModemName).portIndex
                : -1;
  if (index < 0 || index >= devices.PortCount()) {
    portProblem = "no serial port is selected";
    return nullptr;
  }
  const std::string& path = devices.Port(index).name;
  std::unique_ptr<ComLink> named;
  if (OpenNamedPort(path, named)) return named;
  std::unique_ptr<PosixPort> port(new (std::nothrow) PosixPort(path, 4096, 2048));
  if (!port)
    portProblem = path + ": out of memory";
  else if (port->Status() != 0)
    portProblem = path + ": " + Reason(*port);
  return port;
}

int32_t TransferJob::ModemPortOf(const DeviceLists&, int32_t listIndex) { return listIndex; }
