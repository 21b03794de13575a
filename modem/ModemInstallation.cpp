// The COMMCONFIG layout: dwSize, wVersion, wReserved, a 28-byte DCB, dwProviderSubType,
// dwProviderOffset, dwProviderSize, then the provider data; a modem's is a MODEMSETTINGS, whose
// fifth to ninth 32-bit fields are the ones the settings string is built from.
#include "modem/ModemInstallation.h"

#include <cstring>

namespace {
constexpr size_t kSubTypeAt = 36, kOffsetAt = 40, kSizeAt = 44;
constexpr uint32_t kModemProvider = 6;  // PST_MODEM
constexpr size_t kFirstSetting = 16, kSettingsNeeded = 36;

uint32_t Dword(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
         static_cast<uint32_t>(at[3]) << 24;
}
}  // namespace

bool ModemInstallation::FromCommConfig(const uint8_t* config, size_t size, ModemDefaults& defaults) {
  if (config == nullptr || size < kSizeAt + 4 || Dword(config + kSubTypeAt) != kModemProvider) return false;
  const size_t offset = Dword(config + kOffsetAt), length = Dword(config + kSizeAt);
  if (length < kSettingsNeeded || offset < kSizeAt + 4 || offset > size || size - offset < kSettingsNeeded)
    return false;
  const uint8_t* s = config + offset + kFirstSetting;
  defaults.callSetupFailTimer = Dword(s);
  defaults.inactivityTimeout = Dword(s + 4);
  defaults.speakerVolume = Dword(s + 8);
  defaults.speakerMode = Dword(s + 12);
  defaults.preferredOptions = Dword(s + 16);
  return true;
}
