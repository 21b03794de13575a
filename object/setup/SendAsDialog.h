// "Send File As ...": the files chosen for a ZModem send beside the names the receiver is to
// store them under, each editable.
#pragma once
#include <cstdint>
#include <string>

#include "job/FileSelection.h"

class SendAsDialog {
 public:
  FileSelection chosen;
  std::string helpFile;
  // After OK: sender and receiver of every row joined by ";", or empty when a receiver name is
  // missing; after Cancel: empty.
  std::string result;

  // Modal over the active window. Returns 1 (OK), 2 (Cancel) or -1 (not shown).
  int32_t Run();
};
