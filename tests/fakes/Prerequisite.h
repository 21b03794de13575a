// What a test does when something it needs from outside the program is not there (a peer on
// PATH, the ports or modems its wrapper script sets up, a help file that needs fp-utils): under
// CI (CI=true) it fails; elsewhere it is skipped, which ctest shows as skipped (the
// SKIP_REGULAR_EXPRESSION that tests/CMakeLists.txt sets), never as passed. In a test body or
// SetUp; `what` says what is missing.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#define REQUIRE_PREREQUISITE(present, what)                                                  \
  do {                                                                                       \
    if (present) break;                                                                      \
    const char* underCi = std::getenv("CI");                                                 \
    if (underCi && std::string(underCi) == "true")                                           \
      FAIL() << what << " (under CI a missing prerequisite is a failure)";                   \
    GTEST_SKIP() << what;                                                                    \
  } while (0)
