// The system's modem installations: driver keys in the registry, default configurations from
// the modem's provider through GetDefaultCommConfigW.
#include "modem/ModemInstallation.h"

#include <windows.h>

#include "link/WideText.h"
#include "modem/RegistryKey.h"

namespace {
class SystemInstallation : public ModemInstallation {
 public:
  std::unique_ptr<RegistryKey> OpenDriverKey(const char* path) override {
    std::unique_ptr<RegistryKey> root = Registry::LocalMachine();
    return root ? root->Open(path) : nullptr;
  }
  bool DefaultConfiguration(const char* modemName, ModemDefaults& defaults) override {
    // Room for 100 bytes, as much as the fixed part and a modem's settings record need.
    alignas(COMMCONFIG) uint8_t config[100] = {};
    DWORD size = sizeof config;
    // The name as the registry gave it: the modem's friendly name, in any language.
    if (!GetDefaultCommConfigW(WideText::Widen(modemName ? modemName : "").c_str(), reinterpret_cast<COMMCONFIG*>(config),
                               &size))
      return false;
    return FromCommConfig(config, size < sizeof config ? size : sizeof config, defaults);
  }
};
}  // namespace

ModemInstallation& ModemInstallation::System() {
  static SystemInstallation installation;
  return installation;
}
