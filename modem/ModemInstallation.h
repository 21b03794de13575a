// Where the modem command engine finds an installed modem: the driver key that holds its command
// strings (below HKEY_LOCAL_MACHINE) and the platform's default configuration for it. Windows
// reads the system registry and GetDefaultCommConfigA; tests and hosts without a modem registry
// give an installation held in memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

class RegistryKey;

// The part of the platform's modem settings record (MODEMSETTINGS) that the settings string is
// built from.
struct ModemDefaults {
  uint32_t callSetupFailTimer = 0;  // seconds
  uint32_t inactivityTimeout = 0;   // seconds
  uint32_t speakerVolume = 0;       // 0 low, 1 medium, 2 high
  uint32_t speakerMode = 0;         // 0 off, 1 while dialing, 2 on, 3 during call set-up
  uint32_t preferredOptions = 0;    // the platform's option bits (compression 0x1 ... tone 0x100)
};

class ModemInstallation {
 public:
  ModemInstallation() = default;
  virtual ~ModemInstallation() = default;
  ModemInstallation(const ModemInstallation&) = delete;
  ModemInstallation& operator=(const ModemInstallation&) = delete;

  // The driver key at path below HKEY_LOCAL_MACHINE, open for reading; null when missing.
  virtual std::unique_ptr<RegistryKey> OpenDriverKey(const char* path) = 0;
  // The platform's default configuration of the modem named; false when it has none.
  virtual bool DefaultConfiguration(const char* modemName, ModemDefaults& defaults) = 0;

  // This platform's installation: the system registry and the modem's default configuration on
  // Windows; elsewhere the built-in generic Hayes modem (GenericHayes).
  static ModemInstallation& System();

  // The modem settings record inside a COMMCONFIG block as GetDefaultCommConfigA fills it
  // (read by offsets, so it is checked on any platform): false unless the block describes a
  // modem and holds the whole record.
  static bool FromCommConfig(const uint8_t* config, size_t size, ModemDefaults& defaults);
};
