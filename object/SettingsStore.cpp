#include "object/SettingsStore.h"

#include <memory>
#include <string>

#include "modem/DeviceLists.h"
#include "modem/RegistryKey.h"
#include "object/PropertyRules.h"

namespace {
// Stored texts are read through a buffer of this many bytes: a longer one counts as unreadable.
constexpr size_t kReadRoom = 1024;

// Reading collects one outcome for the whole key: any value that is not there spoils it.
class Reader {
 public:
  explicit Reader(RegistryKey& k) : key(k) {}

  bool Number(const char* name, uint32_t& value) { return Note(key.ReadDword(name, value)); }
  void Number(const char* name, int32_t& field) {
    uint32_t value;
    if (Number(name, value)) field = static_cast<int32_t>(value);
  }
  void Number(const char* name, int16_t& field) {
    uint32_t value;
    if (Number(name, value)) field = static_cast<int16_t>(value & 0xFFFF);
  }
  bool Text(const char* name, std::string& text) {
    return Note(key.ReadString(name, text) && text.size() < kReadRoom);
  }
  void Text(const char* name, std::string& field, size_t room) {
    std::string text;
    if (Text(name, text)) field = PropertyRules::Cut(text.c_str(), room);
  }
  bool complete = true;

 private:
  bool Note(bool read) {
    if (!read) complete = false;
    return read;
  }
  RegistryKey& key;
};

uint32_t Widened(int16_t value) { return static_cast<uint16_t>(value); }
}  // namespace

int16_t SettingsStore::Load(TransferSettings& s, RegistryKey& currentUser, const DeviceLists& devices) {
  std::unique_ptr<RegistryKey> key = currentUser.Open(kPath);
  if (!key) return -1;
  Reader read(*key);
  read.Number("AppendToLog", s.AppendToLog);
  read.Number("BaudRate", s.BaudRate);
  read.Number("CrashRecovery", s.CrashRecovery);
  read.Text("DefaultDir", s.DefaultDir, TransferSettings::kPathRoom);
  read.Number("FlowControl", s.FlowControl);
  read.Text("LogFilename", s.LogFilename, TransferSettings::kPathRoom);
  read.Number("LogToFile", s.LogToFile);
  read.Number("LogToScreen", s.LogToScreen);
  read.Number("MaxErrors", s.MaxErrors);
  read.Text("ModemCmd", s.ModemCmd, TransferSettings::kShortRoom);
  std::string modem;
  if (read.Text("ModemName", modem)) s.ModemName = PropertyRules::ModemIndexOf(modem.c_str(), devices);
  read.Number("Overwrite", s.Overwrite);
  read.Number("PathSwitch", s.PathSwitch);
  uint32_t port;
  if (read.Number("Port", port)) s.Port = PropertyRules::PortIndexOf(static_cast<int32_t>(port), devices);
  read.Number("Protocol", s.Protocol);
  read.Number("RecvTimeout", s.RecvTimeout);
  read.Number("SendTimeout", s.SendTimeout);
  // The stored number itself: a "#" in it was resolved when it was saved.
  read.Text("Telephone", s.Telephone, TransferSettings::kShortRoom);
  if (devices.ModemCount() > 0)
    read.Number("UseModem", s.UseModem);
  else
    s.UseModem = 0;
  read.Number("WindowSize", s.WindowSize);
  return read.complete ? 0 : -1;
}

int16_t SettingsStore::Save(const TransferSettings& s, RegistryKey& currentUser, const DeviceLists& devices) {
  std::unique_ptr<RegistryKey> key = currentUser.Create(kPath);
  if (!key) return 0;
  const bool modemKnown = s.ModemName >= 0 && s.ModemName < devices.ModemCount();
  const bool portKnown = s.Port >= 0 && s.Port < devices.PortCount();
  key->WriteDword("AppendToLog", static_cast<uint32_t>(s.AppendToLog));
  key->WriteDword("BaudRate", static_cast<uint32_t>(s.BaudRate));
  key->WriteDword("CrashRecovery", Widened(s.CrashRecovery));
  key->WriteString("DefaultDir", s.DefaultDir.c_str());
  key->WriteDword("FlowControl", Widened(s.FlowControl));
  key->WriteString("LogFilename", s.LogFilename.c_str());
  key->WriteDword("LogToFile", static_cast<uint32_t>(s.LogToFile));
  key->WriteDword("LogToScreen", static_cast<uint32_t>(s.LogToScreen));
  key->WriteDword("MaxErrors", Widened(s.MaxErrors));
  key->WriteString("ModemCmd", s.ModemCmd.c_str());
  key->WriteString("ModemName", modemKnown ? devices.Modem(s.ModemName).name.c_str() : "");
  key->WriteDword("Overwrite", Widened(s.Overwrite));
  key->WriteDword("PathSwitch", Widened(s.PathSwitch));
  key->WriteDword("Port", portKnown ? static_cast<uint32_t>(PropertyRules::PortNumberOf(devices.Port(s.Port).name)) : 0);
  key->WriteDword("Protocol", Widened(s.Protocol));
  key->WriteDword("RecvTimeout", static_cast<uint32_t>(s.RecvTimeout));
  key->WriteDword("SendTimeout", static_cast<uint32_t>(s.SendTimeout));
  key->WriteString("Telephone", s.Telephone.c_str());
  key->WriteDword("UseModem", static_cast<uint32_t>(s.UseModem));
  key->WriteDword("WindowSize", Widened(s.WindowSize));
  return 0;
}
