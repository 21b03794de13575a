// The generic modem's strings are the common Hayes subset (the V.250 basics): what any
// Hayes-compatible modem accepts, so that nothing vendor-specific is sent.
#include "modem/GenericHayes.h"

#include <cctype>
#include <memory>

#include "modem/MemoryModemInstallation.h"

namespace {
constexpr uint32_t kCcitt = 0x40, kTone = 0x100, kHardFlow = 0x10, kSoftFlow = 0x20;

const char* const kSettings[][2] = {
    {"Prefix", "AT"},          {"Terminator", "<cr>"},    {"DialPrefix", "D"},          {"DialSuffix", ""},
    {"Tone", "T"},             {"Pulse", "P"},            {"CallSetupFailTimer", "S7=<#>"}, {"InactivityTimeout", ""},
    {"SpeakerVolume_Low", "L1"}, {"SpeakerVolume_Med", "L2"}, {"SpeakerVolume_High", "L3"},
    {"SpeakerMode_Off", "M0"}, {"SpeakerMode_Dial", "M1"}, {"SpeakerMode_On", "M2"},   {"SpeakerMode_Setup", "M3"},
    {"Compression_On", ""},    {"Compression_Off", ""},   {"ErrorControl_On", ""},     {"ErrorControl_Off", ""},
    {"ErrorControl_Forced", ""}, {"ErrorControl_Cellular", ""}, {"ErrorControl_Cellular_Forced", ""},
    {"FlowControl_Hard", "&K3"}, {"FlowControl_Soft", "&K4"}, {"FlowControl_Off", "&K0"},
    {"Modulation_CCITT", "B0"}, {"Modulation_CCITT_V23", ""}, {"Modulation_Bell", "B1"},
    {"SpeedNegotiation_On", ""}, {"SpeedNegotiation_Off", ""}, {"Blind_On", "X3"}, {"Blind_Off", "X4"},
};

bool Numeral(const std::string& text) {
  if (text.empty() || text[0] == '0') return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}
}  // namespace

void GenericHayes::Install(MemoryModemInstallation& installation) {
  std::unique_ptr<RegistryKey> driver = installation.localMachine.Create(kDriverKey);
  driver->WriteString("Reset", "ATZ<cr>");
  std::unique_ptr<RegistryKey> init = driver->Create("Init");
  init->WriteString("1", "AT&F<cr>");
  init->WriteString("2", "ATE0V1&C1&D2S0=0<cr>");
  driver->Create("Hangup")->WriteString("1", "ATH0<cr>");
  std::unique_ptr<RegistryKey> settings = driver->Create("Settings");
  for (const auto& s : kSettings)
    if (*s[1]) settings->WriteString(s[0], s[1]);
  ModemDefaults defaults;
  defaults.callSetupFailTimer = 60;
  defaults.speakerVolume = 1;
  defaults.speakerMode = 1;
  defaults.preferredOptions = kCcitt | kTone;
  installation.SetDefaults(kName, defaults);
}

void GenericHayes::Configure(MemoryModemInstallation& installation, bool pulse, int32_t flowControl) {
  ModemDefaults* d = installation.Defaults(kName);
  if (!d) return;
  d->preferredOptions &= ~(kTone | kHardFlow | kSoftFlow);
  if (!pulse) d->preferredOptions |= kTone;
  if (flowControl == 2) d->preferredOptions |= kHardFlow;
  if (flowControl == 1) d->preferredOptions |= kSoftFlow;
}

bool GenericHayes::Override(MemoryModemInstallation& installation, const std::string& assignment, std::string& error) {
  const size_t eq = assignment.find('=');
  const std::string name = assignment.substr(0, eq);
  std::string path = kDriverKey, value = name;
  const size_t slash = name.find('/');
  bool known = name == "Reset" || name == "UserInit";
  if (slash != std::string::npos) {
    const std::string list = name.substr(0, slash);
    value = name.substr(slash + 1);
    known = (list == "Init" || list == "Hangup") && Numeral(value);
    path += "\\" + list;
  } else if (!known) {
    for (const auto& s : kSettings) known = known || name == s[0];
    path += "\\Settings";
  }
  if (eq == std::string::npos || !known) {
    error = (eq == std::string::npos ? "'" + name + "' is not NAME=TEXT" : "the modem has no value '" + name + "'") +
            " (NAME is Reset, UserInit, Init/N, Hangup/N, Prefix, Terminator, DialPrefix, DialSuffix, Tone, "
            "Pulse or another value of its settings)";
    return false;
  }
  std::unique_ptr<RegistryKey> key = installation.localMachine.Create(path.c_str());
  const std::string text = assignment.substr(eq + 1);
  if (text.empty()) key->DeleteValue(value.c_str());
  else key->WriteString(value.c_str(), text.c_str());
  return true;
}

MemoryModemInstallation& GenericHayes::Process() {
  static MemoryModemInstallation* const installation = [] {
    auto* made = new MemoryModemInstallation;
    Install(*made);
    return made;
  }();
  return *installation;
}
