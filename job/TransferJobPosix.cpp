// The job's port on POSIX: the device path of the selected port list entry, opened as a
// PosixPort, or "-" for the standard input and output (StdioPort), and a reason a user can act
// on when it does not open.
#include "job/TransferJob.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "link/LinkCodes.h"
#include "link/PosixPort.h"
#include "link/StdioPort.h"

namespace {
std::string Reason(const PosixPort& port) {
  const int error = port.SystemError();
  // Inside a terminal program (its send and receive commands) or a pipeline, the port is what
  // the program was given, and reopening it by name cannot work.
  const std::string& path = port.Path();
  const char* given = path == "/dev/stdin" || path == "/dev/stdout" || path == "/dev/fd/0" || path == "/dev/fd/1"
                          ? "\n(the standard input and output as they are: --port -)"
                          : "";
  if (port.Status() == LinkCode::PortInUse) return std::string("in use by another program") + given;
  if (error == ENOTTY || error == EINVAL) return std::string("not a serial device") + given;
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
  if (path == StdioPort::kName) {
    std::unique_ptr<StdioPort> port(new (std::nothrow) StdioPort(rateChosen, flowChosen));
    if (!port)
      portProblem = "standard input and output: out of memory";
    else if (port->Status() != 0)
      portProblem = std::string("standard input and output: ") + std::strerror(port->SystemError());
    return port;
  }
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
