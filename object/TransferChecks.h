// The checks TransferFiles makes before it starts anything, and its count of the files a host
// listed. Each gives 0 to go on or the result code the call returns.
#pragma once
#include <cstdint>

#include "object/TransferSettings.h"

class TransferChecks {
 public:
  // XON/XOFF flow control (1) and host mode (2) are for ZModem only.
  static int32_t CheckOptions(const TransferSettings& settings);
  // An empty list is refused (3) unless ZModem receives, which the sender names. A list the host
  // set (prompted false) is counted into Attempted: one file without ZModem, else one per
  // ";"-separated entry, or per pair of entries when the receiver's names are given, where an
  // odd count lacks a name (4). A list the file prompt made was counted by the prompt.
  static int32_t CountFiles(TransferSettings& settings, bool prompted);
};
