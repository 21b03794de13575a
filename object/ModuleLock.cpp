#include "object/ModuleLock.h"

#include <atomic>

namespace {
std::atomic<int32_t> locks{0};
}

void ModuleLock::Add() { locks.fetch_add(1); }
void ModuleLock::Release() { locks.fetch_sub(1); }
int32_t ModuleLock::Count() { return locks.load(); }
