// Hosts without a registry: every root is a fresh empty tree, so nothing is ever found stored
// and nothing written outlives the call that wrote it.
#include "modem/MemoryRegistryKey.h"

#include <new>

namespace Registry {
std::unique_ptr<RegistryKey> LocalMachine() { return std::unique_ptr<RegistryKey>(new (std::nothrow) MemoryRegistryKey); }
std::unique_ptr<RegistryKey> CurrentUser() { return std::unique_ptr<RegistryKey>(new (std::nothrow) MemoryRegistryKey); }
std::unique_ptr<RegistryKey> ClassesRoot() { return std::unique_ptr<RegistryKey>(new (std::nothrow) MemoryRegistryKey); }
std::unique_ptr<RegistryKey> UserClasses(bool) { return std::unique_ptr<RegistryKey>(new (std::nothrow) MemoryRegistryKey); }
}  // namespace Registry
