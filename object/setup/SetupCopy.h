// What the setup sheet edits: a copy of the settings its pages show. The pages change only the
// copy, and only when the user presses OK; after the sheet closes, the copy of every page that
// was shown goes back into the settings, so Cancel writes back what the sheet started with.
#pragma once
#include <cstdint>
#include <string>

#include "job/TransferSettings.h"

// Which pages a sheet shows.
struct SetupPages {
  bool general = true, transfer = true, logging = true, modem = true;
};

struct SetupCopy {
  // Rooms of the sheet's text edits, in characters.
  static constexpr size_t kPathChars = 259;  // DefaultDir, LogFilename
  static constexpr size_t kShortChars = 40;  // ModemCmd, Telephone

  // General page.
  int32_t BaudRate = 0;
  int16_t CrashRecovery = 1, FlowControl = 0, MaxErrors = 0;
  int16_t ModemName = 0;  // index into the installed modems
  int16_t Port = 0;       // index into the installed ports
  int16_t Protocol = 0;
  int32_t UseModem = 0;
  int16_t WindowSize = 0;
  // Transfer page.
  int16_t Overwrite = 7;
  int32_t RecvTimeout = 0, SendTimeout = 0;
  int16_t PathSwitch = 0;
  std::string DefaultDir;
  // Logging page.
  int32_t AppendToLog = 0;
  std::string LogFilename;
  int32_t LogToFile = 0, LogToScreen = 0;
  // Modem page.
  std::string ModemCmd, Telephone;
  bool listingLoaded = false;  // the telephone listing is read once per sheet

  void CopyIn(const TransferSettings& settings);
  // The fields of the pages shown, back into the settings.
  void CopyBack(TransferSettings& settings, const SetupPages& shown) const;
};
