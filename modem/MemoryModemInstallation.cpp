#include "modem/MemoryModemInstallation.h"

std::unique_ptr<RegistryKey> MemoryModemInstallation::OpenDriverKey(const char* path) {
  return localMachine.Open(path);
}

bool MemoryModemInstallation::DefaultConfiguration(const char* modemName, ModemDefaults& defaults) {
  const ModemDefaults* found = Defaults(modemName ? modemName : "");
  if (found) defaults = *found;
  return found != nullptr;
}

void MemoryModemInstallation::SetDefaults(const std::string& modemName, const ModemDefaults& defaults) {
  configurations[modemName] = defaults;
}

ModemDefaults* MemoryModemInstallation::Defaults(const std::string& modemName) {
  auto it = configurations.find(modemName);
  return it == configurations.end() ? nullptr : &it->second;
}
