// A fixed delay that still yields and still honours a negative Idle result.
#pragma once
#include <cstdint>

class SerialPort;

// 0 after ms milliseconds, or the first negative result of the port's Yield.
int32_t Pause(SerialPort& port, int32_t ms);
