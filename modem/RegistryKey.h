// The registry as the modem, settings and setup code see it: one open key with its values and
// sub-keys. Win32RegistryKey wraps the system's registry; MemoryRegistryKey holds a tree in
// memory, for tests and for hosts that have no registry.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class RegistryKey {
 public:
  RegistryKey() = default;
  virtual ~RegistryKey() = default;  // closes the key
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // A sub-key by relative path ("A\\B"); null when it is missing or cannot be opened. write asks
  // for write access as well.
  virtual std::unique_ptr<RegistryKey> Open(const char* path, bool write = false) = 0;
  // Opens the sub-key, creating it and the keys on its way when missing; writable. Null on
  // failure.
  virtual std::unique_ptr<RegistryKey> Create(const char* path) = 0;
  // Deletes the sub-key with everything below it; false when it was not there or stayed.
  virtual bool DeleteTree(const char* path) = 0;

  // A text value, whole (callers apply the room their field has). False when it is missing or
  // not text.
  virtual bool ReadString(const char* name, std::string& text) = 0;
  // A number value: four bytes, whatever type they are stored as. False when the value is
  // missing or its data is not four bytes long.
  virtual bool ReadDword(const char* name, uint32_t& value) = 0;
  virtual bool WriteString(const char* name, const char* text) = 0;
  virtual bool WriteDword(const char* name, uint32_t value) = 0;
  virtual bool DeleteValue(const char* name) = 0;

  // Enumeration in the registry's own order. ValueAt gives the value's name and, when it is
  // text, its text (empty otherwise); false past the last one.
  virtual bool ValueAt(uint32_t index, std::string& name, std::string& text) = 0;
  virtual bool SubkeyAt(uint32_t index, std::string& name) = 0;
  virtual uint32_t ValueCount() = 0;
  virtual uint32_t SubkeyCount() = 0;
  // Bytes of the longest value's data (a text's terminator included).
  virtual uint32_t LongestValue() = 0;
};

// The roots of the running system. On Windows the three system roots; elsewhere each call gives
// an empty in-memory key, so code that reads settings finds nothing stored.
namespace Registry {
std::unique_ptr<RegistryKey> LocalMachine();
std::unique_ptr<RegistryKey> CurrentUser();
std::unique_ptr<RegistryKey> ClassesRoot();
// HKEY_CURRENT_USER\Software\Classes, created when missing: the classes of the user alone, in
// this program's registry view or, with otherView, in the other one (64-bit Windows keeps
// "CLSID" and "Interface" apart for 32-bit and 64-bit programs).
std::unique_ptr<RegistryKey> UserClasses(bool otherView = false);
}  // namespace Registry
