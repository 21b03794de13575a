#include "object/PropertyRules.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "modem/DeviceLists.h"
#include "modem/RegistryKey.h"
#include "object/SettingsStore.h"

PropertyRules::PropertyRules(TransferSettings& record, const DeviceLists& lists)
    : settings(record), devices(lists) {}

int32_t PropertyRules::SnapBaudRate(int32_t value) {
  if (value < 19200) return 9600;
  if (value < 38400) return 19200;
  if (value < 57600) return 38400;
  if (value < 115200) return 57600;
  return 115200;
}

int16_t PropertyRules::SnapWindowSize(int16_t value) {
  if (value < 1024) return 0;
  if (value < 2048) return 1024;
  if (value < 4096) return 2048;
  return 4096;
}

int16_t PropertyRules::Clamp(int16_t value, int16_t low, int16_t high) {
  return value < low ? low : value > high ? high : value;
}

std::string PropertyRules::Cut(const char* text, size_t room) {
  return text == nullptr ? std::string() : TransferSettings::Cut(text, room);
}

void PropertyRules::PutUseModem(int32_t value) {
  if (devices.ModemCount() > 0) settings.UseModem = value;
}

std::string PropertyRules::GetModemName() const {
  const int32_t index = settings.ModemName;
  if (index < 0 || index >= devices.ModemCount()) return std::string();
  return devices.Modem(index).name;
}

void PropertyRules::PutModemName(const char* text) { settings.ModemName = ModemIndexOf(text, devices); }

int16_t PropertyRules::ModemIndexOf(const char* text, const DeviceLists& devices) {
  if (text == nullptr) return 0;
  const size_t length = std::strlen(text);
  for (int32_t i = 0; i < devices.ModemCount(); ++i)
    if (devices.Modem(i).name.compare(0, length, text) == 0) return static_cast<int16_t>(i);
  return 0;
}

int16_t PropertyRules::GetPort() const {
  const int32_t index = settings.Port;
  if (devices.PortCount() == 0) return 1;
  if (index < 0 || index >= devices.PortCount()) return 0;
  return static_cast<int16_t>(PortNumberOf(devices.Port(index).name));
}

void PropertyRules::PutPort(int16_t number) { settings.Port = PortIndexOf(number, devices); }

int16_t PropertyRules::PortIndexOf(int32_t number, const DeviceLists& devices) {
  const std::string wanted = std::to_string(number);
  for (int32_t i = 0; i < devices.PortCount(); ++i) {
    const std::string& name = devices.Port(i).name;
    if (name.size() > 3 && name.compare(3, std::string::npos, wanted) == 0) return static_cast<int16_t>(i);
  }
  return 0;
}

int32_t PropertyRules::PortNumberOf(const std::string& name) {
  return name.size() > 3 ? std::atoi(name.c_str() + 3) : 0;
}

void PropertyRules::PutTelephone(const char* text, RegistryKey& currentUser) {
  settings.Telephone.clear();
  if (text == nullptr || text[0] != '#') {
    settings.Telephone = Cut(text, TransferSettings::kShortRoom);
    return;
  }
  if (text[1] >= '0' && text[1] <= '9') listing = text[1];
  std::unique_ptr<RegistryKey> listings = currentUser.Open(SettingsStore::kTelephonePath);
  const char name[] = {listing, '.', 'P', 'h', 'o', 'n', 'e', '\0'};
  std::string number;
  if (listings && listings->ReadString(name, number))
    settings.Telephone = Cut(number.c_str(), TransferSettings::kShortRoom);
}
