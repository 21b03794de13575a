// Edit Receiver File Name: the name one file of "Send File As ..." gets at the receiver.
#pragma once
#include <cstdint>
#include <string>

class ReceiverNameDialog {
 public:
  std::string sender;    // shown only
  std::string receiver;  // edited; changed only by OK
  std::string helpFile;

  // Modal over the active window. Returns 1 (OK), 2 (Cancel) or -1 (not shown).
  int32_t Run();
};
