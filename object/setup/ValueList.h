// The drop-down lists of the setup pages: what each entry reads and the setting value it stands
// for, in the order shown.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct ValueEntry {
  const char* text;
  int32_t value;
};

class ValueList {
 public:
  ValueList(std::initializer_list<ValueEntry> list) : entries(list) {}

  int32_t Count() const { return static_cast<int32_t>(entries.size()); }
  const char* Text(int32_t index) const { return entries[static_cast<size_t>(index)].text; }
  int32_t Value(int32_t index) const { return entries[static_cast<size_t>(index)].value; }
  // The entry standing for value; -1 when none does.
  int32_t IndexOf(int32_t value) const;

  static const ValueList kProtocol;
  static const ValueList kCrashRecovery;
  static const ValueList kWindowSize;
  static const ValueList kFlowZModem;  // flow control while ZModem is selected
  static const ValueList kFlowOther;   // the other protocols: no XON/XOFF
  static const ValueList kBaudRate;
  static const ValueList kPathSwitch;
  static const ValueList kOverwrite;

 private:
  std::vector<ValueEntry> entries;
};
