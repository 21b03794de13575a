// Where the installation leaves a choice the engine takes the one that sends nothing wrong: a
// value longer than its room is left out rather than cut, numbered commands go in the order of
// their numbers whatever gaps there are, a command that does not fit is not sent.
#include "modem/Modem.h"

#include <cstring>
#include <map>
#include <memory>

#include "link/LineControl.h"
#include "link/LinkCodes.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
#include "modem/RegistryKey.h"

namespace {
// Bits of the default configuration's preferred options.
constexpr uint32_t kCompression = 0x1, kErrorControl = 0x2, kForced = 0x4, kCellular = 0x8, kHardFlow = 0x10,
                   kSoftFlow = 0x20, kCcitt = 0x40, kSpeedAdjust = 0x80, kTone = 0x100, kBlind = 0x200,
                   kV23 = 0x400;

// "<cr>" (lower case only) stands for a carriage return in command strings.
void ConvertToken(std::string& text) {
  for (size_t at = text.find("<cr>"); at != std::string::npos; at = text.find("<cr>", at + 1))
    text.replace(at, 4, "\r");
}

// A text value as a field of that room holds it; empty when missing or longer.
std::string ReadValue(RegistryKey& key, const char* name, size_t room, bool convert) {
  std::string text;
  if (!key.ReadString(name, text) || text.size() >= room) return std::string();
  if (convert) ConvertToken(text);
  return text;
}

// The values "1", "2", ... of a sub-key as a multi-string in the order of their numbers; a gap
// or an empty value is passed over (an empty string would end the list). No values at all give
// one empty command. False when the sub-key is missing.
bool ReadNumbered(RegistryKey& driver, const char* subkey, std::string& multi) {
  std::unique_ptr<RegistryKey> key = driver.Open(subkey);
  if (!key) return false;
  std::map<unsigned long, std::string> byNumber;
  std::string name, text;
  for (uint32_t i = 0; key->ValueAt(i, name, text); ++i) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(name.c_str(), &end, 10);
    if (name.empty() || *end != '\0' || n == 0 || text.empty()) continue;
    ConvertToken(text);
    byNumber[n] = text;
  }
  multi.clear();
  for (const auto& entry : byNumber) multi.append(entry.second).push_back('\0');
  if (multi.empty()) multi.push_back('\0');
  multi.push_back('\0');
  return true;
}
}  // namespace

Modem::Modem(ModemInstallation& source) : installation(source) {}
Modem::~Modem() = default;

int32_t Modem::QueryAbort() { return 0; }

int32_t Modem::Init(SerialPort* serialPort, const char* modemName, const char* driverKeyPath) {
  port = serialPort;
  int32_t result = LinkCode::Failure;
  {
    std::unique_ptr<RegistryKey> driver = installation.OpenDriverKey(driverKeyPath ? driverKeyPath : "");
    if (!driver) return LinkCode::Failure;
    SendCommand(ReadValue(*driver, "Reset", kLongRoom, true).c_str(), false);
    std::string init;
    if (!ReadNumbered(*driver, "Init", init)) return LinkCode::Failure;
    SendMulti(init.data());
    std::unique_ptr<RegistryKey> settingsKey = driver->Open("Settings");
    if (!settingsKey) return LinkCode::Failure;
    prefix = ReadValue(*settingsKey, "Prefix", kShortRoom, true);
    terminator = ReadValue(*settingsKey, "Terminator", kShortRoom, true);
    dialPrefix = ReadValue(*settingsKey, "DialPrefix", kShortRoom, true);
    dialSuffix = ReadValue(*settingsKey, "DialSuffix", kShortRoom, true);
    BuildSettings(*settingsKey, modemName);
    userInit = ReadValue(*driver, "UserInit", kLongRoom, false);
    if (ReadNumbered(*driver, "Hangup", hangUpCommands)) result = 0;
  }
  if (result != 0) return result;
  if (int32_t r = Wait(250)) return r;
  port->ClearInput(0);
  return 0;
}

void Modem::BuildSettings(RegistryKey& key, const char* modemName) {
  settings.clear();
  flowControl = 0;
  ModemDefaults d;
  // Without a default configuration the modem keeps what its init commands set, and dials by tone.
  const bool configured = installation.DefaultConfiguration(modemName ? modemName : "", d);
  if (configured) {
    static const char* const kVolume[] = {"_Low", "_Med", "_High"};
    static const char* const kMode[] = {"_Off", "_Dial", "_On", "_Setup"};
    const uint32_t o = d.preferredOptions;
    AppendSetting(key, "CallSetupFailTimer", true, d.callSetupFailTimer);
    AppendSetting(key, "InactivityTimeout", true, d.inactivityTimeout);
    AppendSetting(key, std::string("SpeakerVolume") + (d.speakerVolume < 3 ? kVolume[d.speakerVolume] : ""), false, 0);
    AppendSetting(key, std::string("SpeakerMode") + (d.speakerMode < 4 ? kMode[d.speakerMode] : ""), false, 0);
    AppendSetting(key, (o & kCompression) ? "Compression_On" : "Compression_Off", false, 0);
    std::string errorControl = "ErrorControl";
    if (!(o & kErrorControl)) errorControl += "_Off";
    else if (o & kCellular) errorControl += "_Cellular";
    else if (!(o & kForced)) errorControl += "_On";
    if ((o & kErrorControl) && (o & kForced)) errorControl += "_Forced";
    AppendSetting(key, errorControl, false, 0);
    flowControl = (o & kHardFlow) ? 2 : (o & kSoftFlow) ? 1 : 0;
    AppendSetting(key, flowControl == 2 ? "FlowControl_Hard" : flowControl == 1 ? "FlowControl_Soft" : "FlowControl_Off",
                  false, 0);
    AppendSetting(key, !(o & kCcitt) ? "Modulation_Bell" : (o & kV23) ? "Modulation_CCITT_V23" : "Modulation_CCITT",
                  false, 0);
    AppendSetting(key, (o & kSpeedAdjust) ? "SpeedNegotiation_On" : "SpeedNegotiation_Off", false, 0);
    AppendSetting(key, (o & kBlind) ? "Blind_On" : "Blind_Off", false, 0);
  }
  std::string dialing;
  if (key.ReadString((!configured || (d.preferredOptions & kTone)) ? "Tone" : "Pulse", dialing) &&
      dialPrefix.size() + dialing.size() < kShortRoom)
    dialPrefix += dialing;
}

void Modem::AppendSetting(RegistryKey& key, const std::string& name, bool timer, uint32_t value) {
  std::string text;
  if (!key.ReadString(name.c_str(), text)) return;
  // A timer template without "<" already holds the value its installer wanted.
  const size_t mark = text.find('<');
  if (timer && mark != std::string::npos) text = text.substr(0, mark) + std::to_string(value);
  if (settings.size() + text.size() < kLongRoom) settings += text;
}

int32_t Modem::SendCommand(const char* command, bool framed) { return Command(command, framed, false); }

int32_t Modem::Command(const char* command, bool framed, bool callResultEnds) {
  if (!port) return LinkCode::Failure;
  const std::string text = framed ? prefix + command + terminator : std::string(command);
  // A cut command would do something else than asked: send none.
  if (text.size() >= kCommandRoom) return LinkCode::Failure;
  const int32_t pacing = port->PacingDelay();
  port->SetPacingDelay(0);
  for (char c : text) {
    const int32_t r = port->PutChar(static_cast<uint8_t>(c));
    if (r < 0) {
      port->SetPacingDelay(pacing);
      return r;
    }
  }
  port->SetPacingDelay(pacing);
  char line[kReplyRoom];
  linesInRow = 0;
  for (int32_t budget = responseTimeoutMs;;) {
    budget = NextLine(line, sizeof line, budget);
    if (budget <= 0) return LinkCode::ModemNoOk;
    if (std::strcmp(line, "OK") == 0) return 0;
    // ERROR to a dial or answer command is that call's end: the modem refused it.
    if (callResultEnds && (IsCallResult(line) || std::strcmp(line, "ERROR") == 0)) {
      callResult = line;
      return LinkCode::ModemNoOk;
    }
  }
}

int32_t Modem::SendMulti(const char* multi) {
  for (const char* s = multi;;) {
    if (int32_t r = SendCommand(s, false)) return r;
    s += std::strlen(s) + 1;
    if (*s == '\0') return 0;
  }
}

int32_t Modem::ReadLine(char* buffer, size_t room, int32_t budgetMs) {
  if (int32_t r = QueryAbort(); r < 0) return r;
  size_t n = 0;
  for (;;) {
    const int32_t c = port ? port->GetChar(0) : LinkCode::Failure;
    if (c == LinkCode::Timeout) {
      if (int32_t r = Wait(kStepMs); r < 0) return r;
      linesInRow = 0;
      budgetMs -= kStepMs;
      if (budgetMs <= 0) {
        budgetMs = 0;
        break;
      }
    } else if (c < 0) {
      return c;
    } else if (c == '\r') {
      break;
    } else if (c != '\n') {
      buffer[n++] = static_cast<char>(c);
      if (n + 1 >= room) break;
    }
    if (int32_t r = QueryAbort(); r < 0) return r;
  }
  buffer[n] = '\0';
  return budgetMs;
}

int32_t Modem::NextLine(char* buffer, size_t room, int32_t budgetMs) {
  const int32_t left = ReadLine(buffer, room, budgetMs);
  if (left > 0 && ++linesInRow >= kFloodLines) {
    linesInRow = 0;
    return 0;
  }
  return left;
}

int32_t Modem::Wait(int32_t ms) {
  if (!port) return LinkCode::Failure;
  const uint32_t deadline = TickSource::Now() + static_cast<uint32_t>(ms);
  if (int32_t r = QueryAbort(); r < 0) return r;
  for (;;) {
    const int32_t left = static_cast<int32_t>(deadline - TickSource::Now());
    if (int32_t r = port->Yield(left > 0 ? left : 0); r < 0) return r;
    if (TickSource::Passed(deadline)) return 0;
    if (int32_t r = QueryAbort(); r < 0) return r;
  }
}

void Modem::ResetSettings() {
  if (SendCommand(settings.c_str(), true) == 0 && !userInit.empty()) SendCommand(userInit.c_str(), true);
}

int32_t Modem::Answer() { return Command("S0=1", true, true); }

bool Modem::DialFits(const char* number) const {
  return prefix.size() + dialPrefix.size() + std::strlen(number) + dialSuffix.size() + terminator.size() <
         kCommandRoom;
}

int32_t Modem::Dial(const char* number) {
  if (!DialFits(number)) return LinkCode::Failure;
  return Command((dialPrefix + number + dialSuffix).c_str(), true, true);
}

int32_t Modem::HangUp() {
  if (int32_t r = Wait(1000)) return r;
  if (int32_t r = Command("+++", false, true)) return r;
  if (int32_t r = Wait(1000)) return r;
  static const char kNone[2] = {'\0', '\0'};  // before Init: one empty command
  if (int32_t r = SendMulti(hangUpCommands.empty() ? kNone : hangUpCommands.data())) return r;
  if (int32_t r = Wait(100)) return r;
  LineControl lines(port);
  return lines.CarrierDetect() == 1 ? LinkCode::Failure : 0;
}

std::string Modem::TakeCallResult() {
  std::string line;
  line.swap(callResult);
  return line;
}

bool Modem::IsCallResult(const char* line) {
  static const char* const kResults[] = {"CONNECT", "NO CARRIER", "BUSY", "NO DIALTONE", "NO DIAL TONE", "NO ANSWER"};
  for (const char* result : kResults)
    if (std::strstr(line, result)) return true;
  return false;
}
