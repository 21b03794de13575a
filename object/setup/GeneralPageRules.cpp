#include "object/setup/GeneralPageRules.h"

#include "modem/DeviceLists.h"
#include "object/setup/DialogText.h"

namespace {
constexpr int16_t kZModem = 1;

int32_t WindowIndex(int16_t windowSize) {
  if (windowSize < 1024) return 0;  // negative sizes, as a stored value may hold, too
  return windowSize / 1024 > 3 ? 3 : windowSize / 1024;
}
}  // namespace

GeneralPageRules::State GeneralPageRules::Open(const SetupCopy& copy, const DeviceLists& devices) {
  State state;
  state.crashRecovery = ValueList::kCrashRecovery.IndexOf(copy.CrashRecovery);
  state.windowSize = WindowIndex(copy.WindowSize);
  // A rate of 0 shows as 19200 (and is stored so by OK); Cancel leaves the 0.
  state.baudRate = ValueList::kBaudRate.IndexOf(copy.BaudRate == 0 ? 19200 : copy.BaudRate);
  state.protocol = ValueList::kProtocol.IndexOf(copy.Protocol);
  state.zmodemOptions = copy.Protocol == kZModem;

  state.portCount = devices.PortCount();
  for (int32_t i = 0; i < devices.PortCount(); ++i) state.connections.push_back(devices.Port(i).name);
  for (int32_t i = 0; i < devices.ModemCount(); ++i) state.connections.push_back(devices.Modem(i).name);
  const int32_t wanted = copy.UseModem ? copy.ModemName + state.portCount : copy.Port;
  state.connection = wanted >= 0 && wanted < static_cast<int32_t>(state.connections.size()) ? wanted : -1;

  state.maxErrors = DialogText::Number(static_cast<uint16_t>(copy.MaxErrors));
  if (copy.Protocol == kZModem) {
    state.flowList = &ValueList::kFlowZModem;
    state.flowControl = copy.FlowControl >= 0 && copy.FlowControl <= 2 ? copy.FlowControl : -1;
  } else {
    state.flowList = &ValueList::kFlowOther;
    state.flowControl = copy.FlowControl >= 2 ? 1 : 0;
  }
  return state;
}

void GeneralPageRules::SelectProtocol(State& state, int32_t protocol) {
  state.protocol = protocol;
  state.zmodemOptions = protocol == kZModem;
  // The flow control keeps its meaning where the new list has it (None, RTS/CTS); XON/XOFF,
  // which only ZModem offers, falls back to None.
  const ValueList* list = protocol == kZModem ? &ValueList::kFlowZModem : &ValueList::kFlowOther;
  if (state.flowControl >= 0) {
    const int32_t kept = list->IndexOf(state.flowList->Value(state.flowControl));
    state.flowControl = kept >= 0 ? kept : 0;
  }
  state.flowList = list;
}

std::string GeneralPageRules::CorrectMaxErrors(const std::string& text) {
  int32_t value;
  if (!DialogText::Signed(text, value)) return text;
  if (value < 0) return "0";
  if (value > kMaxErrorsLimit) return DialogText::Number(kMaxErrorsLimit);
  return text;
}

void GeneralPageRules::Ok(const State& state, SetupCopy& copy) {
  copy.MaxErrors = static_cast<int16_t>(DialogText::Unsigned(CorrectMaxErrors(state.maxErrors)));
  if (state.connection >= 0) {
    if (state.connection < state.portCount) {
      copy.Port = static_cast<int16_t>(state.connection);
      copy.UseModem = 0;
    } else {
      copy.UseModem = 1;
      copy.ModemName = static_cast<int16_t>(state.connection - state.portCount);
    }
  }
  if (state.baudRate >= 0) copy.BaudRate = ValueList::kBaudRate.Value(state.baudRate);
  if (state.protocol >= 0) copy.Protocol = static_cast<int16_t>(state.protocol);
  if (state.flowControl >= 0) {
    const bool zmodem = copy.Protocol == kZModem;
    copy.FlowControl = static_cast<int16_t>(!zmodem && state.flowControl == 1 ? 2 : state.flowControl);
  }
  if (copy.Protocol == kZModem) {
    if (state.crashRecovery >= 0) copy.CrashRecovery = static_cast<int16_t>(state.crashRecovery + 1);
    if (state.windowSize >= 0) copy.WindowSize = static_cast<int16_t>(ValueList::kWindowSize.Value(state.windowSize));
  }
}
