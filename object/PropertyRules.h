// What the automation properties do with the values a host gives them, apart from converting
// strings: numbers clamped or snapped on the property's own width, texts cut to their rooms,
// the modem chosen by name, the port by number, the telephone number from a stored listing.
// Nothing here fails: values that match nothing select the first entry.
#pragma once
#include <cstdint>
#include <string>

#include "job/TransferSettings.h"

class DeviceLists;
class RegistryKey;

class PropertyRules {
 public:
  PropertyRules(TransferSettings& settings, const DeviceLists& devices);

  // Below 19200 gives 9600, below 38400 19200, below 57600 38400, below 115200 57600, else 115200.
  static int32_t SnapBaudRate(int32_t value);
  // Below 1024 gives 0 (streaming), below 2048 1024, below 4096 2048, else 4096.
  static int16_t SnapWindowSize(int16_t value);
  static int16_t Clamp(int16_t value, int16_t low, int16_t high);
  // The text cut to its room (TransferSettings::Cut); null gives the empty text.
  static std::string Cut(const char* text, size_t room);

  void PutBaudRate(int32_t value) { settings.BaudRate = SnapBaudRate(value); }
  void PutCrashRecovery(int16_t value) { settings.CrashRecovery = Clamp(value, 1, 3); }
  void PutFlowControl(int16_t value) { settings.FlowControl = Clamp(value, 0, 2); }
  void PutMaxErrors(int16_t value) { settings.MaxErrors = Clamp(value, 0, 50); }
  void PutOverwrite(int16_t value) { settings.Overwrite = Clamp(value, 1, 7); }
  void PutPathSwitch(int16_t value) { settings.PathSwitch = Clamp(value, 0, 2); }
  void PutProtocol(int16_t value) { settings.Protocol = Clamp(value, 0, 4); }
  void PutWindowSize(int16_t value) { settings.WindowSize = SnapWindowSize(value); }
  void PutDefaultDir(const char* text) { settings.DefaultDir = Cut(text, TransferSettings::kPathRoom); }
  void PutLogFilename(const char* text) { settings.LogFilename = Cut(text, TransferSettings::kPathRoom); }
  void PutMaxTitle(const char* text) { settings.MaxTitle = Cut(text, TransferSettings::kTitleRoom); }
  void PutMinTitle(const char* text) { settings.MinTitle = Cut(text, TransferSettings::kTitleRoom); }
  void PutModemCmd(const char* text) { settings.ModemCmd = Cut(text, TransferSettings::kShortRoom); }
  // Ignored (the setting stays) on a machine without modems.
  void PutUseModem(int32_t value);

  // The selected modem's name; empty without modems.
  std::string GetModemName() const;
  // Selects the first modem whose name begins with the text (case-sensitive); the first modem
  // when none does, when the text is null or when there are no modems.
  void PutModemName(const char* text);
  // The selected port's number (3 for COM3): what follows its first three characters; 1 when
  // no port is installed.
  int16_t GetPort() const;
  // Selects the first port whose name from the fourth character on is the number in decimal;
  // the first port when none is.
  void PutPort(int16_t number);
  // "#d" takes the number of stored listing d (a "#" without a digit the listing the last "#"
  // chose, 0 at first) from currentUser's listing key; any other text is the number itself. Cut
  // to its room; empty when the listing cannot be read.
  void PutTelephone(const char* text, RegistryKey& currentUser);

  // The modem and port rules by themselves, for loading stored settings.
  static int16_t ModemIndexOf(const char* text, const DeviceLists& devices);
  static int16_t PortIndexOf(int32_t number, const DeviceLists& devices);
  // The number of a port name (COM3 gives 3), 0 when none follows its first three characters.
  static int32_t PortNumberOf(const std::string& name);

 private:
  TransferSettings& settings;
  const DeviceLists& devices;
  char listing = '0';  // the telephone listing the last "#" text chose
};
