// Status codes of the serial link and the modem engine. 0 is success, every failure negative.
#pragma once
#include <cstdint>

namespace LinkCode {
constexpr int32_t Ok = 0;
constexpr int32_t Failure = -801;            // a device operation failed, bad argument, no link, unknown error
constexpr int32_t Timeout = -802;            // no byte in time; also GetByte with nothing waiting
constexpr int32_t NotSupported = -803;
constexpr int32_t ShortWrite = -805;         // fewer bytes accepted than asked
constexpr int32_t BreakFailed = -827;
constexpr int32_t NoHardware = -828;         // port hardware not present or not open
constexpr int32_t CloseFailed = -829;
constexpr int32_t BadInputHandshake = -830;
constexpr int32_t BadOutputHandshake = -832;
constexpr int32_t OutOfMemory = -836;
constexpr int32_t PortInUse = -838;
constexpr int32_t BadBaudRate = -839;
constexpr int32_t BadParity = -840;
constexpr int32_t BadStopBits = -841;
constexpr int32_t BadDataBits = -842;
constexpr int32_t ModemNoOk = -848;          // the modem did not answer "OK" in time
}  // namespace LinkCode
