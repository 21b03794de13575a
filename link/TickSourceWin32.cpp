// Windows tick counter: GetTickCount, as every wait of the link was designed around.
#include "link/TickSource.h"

#include <windows.h>

uint32_t TickSource::PlatformNow() { return GetTickCount(); }
