// Edit Telephone Listing: one row of the Modem page's telephone listing.
#pragma once
#include <cstdint>
#include <string>

class PhoneEntryDialog {
 public:
  std::string description;  // in: the row's texts; out after OK: what the edits held
  std::string number;
  std::string helpFile;

  // Modal over the active window. Returns the button that closed it (1 OK, 2 Cancel), -1 when
  // the dialog could not be made.
  int32_t Run();
};
