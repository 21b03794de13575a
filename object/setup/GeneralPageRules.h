// The General page's behaviour, apart from its controls: what each list holds and selects when
// the page opens, what a change of protocol does to the others, the Maximum Errors correction,
// and what OK takes into the copy. The page's dialog procedure only moves these values to and
// from its controls.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "object/setup/SetupCopy.h"
#include "object/setup/ValueList.h"

class DeviceLists;

class GeneralPageRules {
 public:
  static constexpr int16_t kMaxErrorsLimit = 50;

  // What the controls show. A selection of -1 is a list with nothing selected.
  struct State {
    std::vector<std::string> connections;  // the ports, then the modems
    int32_t portCount = 0;
    int32_t connection = -1;
    int32_t baudRate = -1;  // index into ValueList::kBaudRate
    int32_t protocol = -1;
    std::string maxErrors;
    const ValueList* flowList = &ValueList::kFlowOther;
    int32_t flowControl = -1;
    int32_t windowSize = -1;
    int32_t crashRecovery = -1;
    bool zmodemOptions = false;  // Window Size and Crash Recovery enabled
  };

  // The page as it opens over the copy. A BaudRate of 0 shows as 19200.
  static State Open(const SetupCopy& copy, const DeviceLists& devices);
  // A new Protocol selection: the ZModem options follow it and Flow Control is rebuilt for it,
  // None and RTS/CTS kept, XON/XOFF (ZModem's only) becoming None.
  static void SelectProtocol(State& state, int32_t protocol);
  // Maximum Errors after it loses the focus: a number below 0 reads 0, above 50 reads 50;
  // anything else stays as typed.
  static std::string CorrectMaxErrors(const std::string& text);
  // OK: the controls into the copy. A list with nothing selected leaves its setting as it was;
  // Maximum Errors is corrected first, so a value typed and confirmed with Enter is kept in
  // range too.
  static void Ok(const State& state, SetupCopy& copy);
};
