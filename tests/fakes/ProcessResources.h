// What a process holds, for tests that run for many passes and must end as lean as they began:
// its open descriptors (POSIX) or handles (Windows) and its private memory in bytes (resident
// set on POSIX, private usage on Windows). ProcessResourcesPosix.cpp and ...Win32.cpp supply it.
#pragma once
#include <cstdint>

struct ProcessResources {
  int64_t handles = 0;
  int64_t privateBytes = 0;

  static ProcessResources Now();
};
