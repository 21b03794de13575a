// Windows tick counter: GetTickCount, the millisecond count every wait of the link runs on.
#include "link/TickSource.h"

#include <windows.h>

uint32_t TickSource::PlatformNow() { return GetTickCount(); }
