// The setup property sheet: General, Transfer, Logging and Modem pages over a copy of the
// settings. Each page writes its controls into the copy on OK; when the sheet closes, by OK or
// Cancel, the copy of every page shown goes back into the settings.
#pragma once
#include <cstdint>

#include "object/setup/GeneralPageRules.h"
#include "object/setup/SetupCopy.h"
#include "object/setup/TelephoneListing.h"

class DeviceLists;
class RegistryKey;
struct TransferSettings;

class SetupSheet {
 public:
  // currentUser is where the telephone listing lives; the sheet reads it when the Modem page
  // first opens and writes it only on that page's OK.
  SetupSheet(TransferSettings& settings, const DeviceLists& devices, RegistryKey& currentUser);

  // Shows the pages asked for, modally over the active window, captioned "Setup " and MaxTitle;
  // the Modem page only when a modem is installed. Returns 1 when the sheet was shown and
  // closed (OK or Cancel), 0 when it could not be made (nothing is written back then).
  int32_t Run(const SetupPages& pages);

 private:
  friend struct SetupSheetPages;  // the page procedures

  TransferSettings& settings;
  const DeviceLists& devices;
  RegistryKey& currentUser;
  SetupCopy copy;
  GeneralPageRules::State general;
  TelephoneListing listing;
  bool filling = false;  // a page is setting its controls: their notifications are not edits
};
