// The Transfer and Logging pages apart from their controls: what they show when they open and
// what OK takes into the copy.
#pragma once
#include <cstdint>
#include <string>

#include "object/setup/SetupCopy.h"

class TransferPageRules {
 public:
  struct Transfer {
    std::string sendTimeout, recvTimeout, defaultDir;
    int32_t pathSwitch = -1;  // -1: nothing selected
    int32_t overwrite = -1;
  };
  struct Logging {
    bool logToFile = false, logToScreen = false, appendToLog = false;
    std::string logFilename;
    // The path, its browse button and Append To Log are usable only while logging to a file.
    bool FileControlsEnabled() const { return logToFile; }
  };

  // A stored Overwrite of 0 shows as "Never"; time-outs show unsigned.
  static Transfer OpenTransfer(const SetupCopy& copy);
  // Time-outs as unsigned numbers (not checked further), the folder cut to its room; a list
  // with nothing selected leaves its setting.
  static void OkTransfer(const Transfer& page, SetupCopy& copy);

  static Logging OpenLogging(const SetupCopy& copy);
  // The path is taken only while Log To File is checked: unchecking it keeps the old name.
  static void OkLogging(const Logging& page, SetupCopy& copy);
};
