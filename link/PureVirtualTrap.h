// What happens when an operation that a base class leaves to its subclasses is reached
// without an override: a fixed message on stderr and exit status 1.
#pragma once

// source is the library's name for the file ("COMLINK", "TRANSFER"); never returns.
[[noreturn]] void PureVirtualTrap(const char* source, int line);
