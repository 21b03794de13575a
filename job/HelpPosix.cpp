// No help viewer on POSIX hosts: the command line has its --help.
#include "job/Help.h"

bool Help::PlatformShow(const char*, int32_t, void*) { return false; }
