// The stored part of the settings record in the current user's registry: Load and Save of the
// automation object, and the key the telephone listings live in. Only called on request;
// nothing is read or written behind the host's back.
#pragma once
#include <cstdint>

#include "job/TransferSettings.h"

class DeviceLists;
class RegistryKey;

class SettingsStore {
 public:
  // Below the current user's root.
  static constexpr const char* kPath = "Software\\Harbwick\\Zandrel";
  static constexpr const char* kTelephonePath = "Software\\Harbwick\\Zandrel\\Telephone";

  // Reads every stored value that is there into the record: the modem by its name, the port by
  // its number, UseModem only when modems are installed, numbers as stored (not clamped).
  // Returns 0 when the key and every value were read, -1 otherwise (a missing key changes
  // nothing; what could be read is applied).
  static int16_t Load(TransferSettings& settings, RegistryKey& currentUser, const DeviceLists& devices);
  // Writes every stored value, the modem as its name and the port as its number. Returns 0;
  // failures of the registry are not reported.
  static int16_t Save(const TransferSettings& settings, RegistryKey& currentUser, const DeviceLists& devices);
};
