#include "object/setup/ValueList.h"

int32_t ValueList::IndexOf(int32_t value) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (Value(i) == value) return i;
  return -1;
}

const ValueList ValueList::kProtocol{{"XModem", 0}, {"ZModem", 1}, {"ACK/NAK", 2}, {"YModem", 3}, {"XModem-1K", 4}};
const ValueList ValueList::kCrashRecovery{{"Never", 1}, {"Follow sender", 2}, {"Always", 3}};
const ValueList ValueList::kWindowSize{{"Streaming", 0}, {"1024", 1024}, {"2048", 2048}, {"4096", 4096}};
const ValueList ValueList::kFlowZModem{{"None", 0}, {"XON/XOFF", 1}, {"RTS/CTS", 2}};
const ValueList ValueList::kFlowOther{{"None", 0}, {"RTS/CTS", 2}};
const ValueList ValueList::kBaudRate{
    {"9600", 9600}, {"19200", 19200}, {"38400", 38400}, {"57600", 57600}, {"115200", 115200}};
const ValueList ValueList::kPathSwitch{
    {"Strip Path", 0}, {"Send Path", 1}, {"Specify Receiver's File Path/Name", 2}};
const ValueList ValueList::kOverwrite{{"Source Longer or Newer", 1}, {"CRCs Don't Match", 2},
                                      {"Append", 3},          {"Always", 4},
                                      {"Source Newer", 5},    {"Date/Length Don't Match", 6},
                                      {"Never", 7}};
