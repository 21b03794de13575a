// A modem installation held in memory: a registry tree standing in for HKEY_LOCAL_MACHINE and
// default configurations by modem name. Tests build the installations they need in it; hosts
// without a modem registry keep the generic Hayes modem in one.
#pragma once
#include <map>
#include <memory>
#include <string>

#include "modem/MemoryRegistryKey.h"
#include "modem/ModemInstallation.h"

class MemoryModemInstallation : public ModemInstallation {
 public:
  std::unique_ptr<RegistryKey> OpenDriverKey(const char* path) override;
  bool DefaultConfiguration(const char* modemName, ModemDefaults& defaults) override;

  // Gives the modem named a default configuration (replacing one it had).
  void SetDefaults(const std::string& modemName, const ModemDefaults& defaults);
  // The modem's default configuration to change in place; null when it has none.
  ModemDefaults* Defaults(const std::string& modemName);

  MemoryRegistryKey localMachine;

 private:
  std::map<std::string, ModemDefaults> configurations;
};
