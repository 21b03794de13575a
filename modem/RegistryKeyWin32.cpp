// The system registry behind RegistryKey: one HKEY per object, closed with it; the roots are
// predefined keys and are never closed.
#include "modem/RegistryKey.h"

#include <windows.h>

#include <new>
#include <vector>

namespace {
class Win32RegistryKey : public RegistryKey {
 public:
  // view (KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0) goes with every key opened below this one.
  Win32RegistryKey(HKEY handle, bool closeAtEnd, REGSAM registryView = 0)
      : key(handle), owned(closeAtEnd), view(registryView) {}
  ~Win32RegistryKey() override {
    if (owned) RegCloseKey(key);
  }

  std::unique_ptr<RegistryKey> Open(const char* path, bool write) override {
    HKEY sub = nullptr;
    const REGSAM access = write ? KEY_READ | KEY_WRITE : KEY_READ;
    if (RegOpenKeyExA(key, path, 0, access | view, &sub) != ERROR_SUCCESS) return nullptr;
    return Wrap(sub, view);
  }

  std::unique_ptr<RegistryKey> Create(const char* path) override {
    HKEY sub = nullptr;
    if (RegCreateKeyExA(key, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view, nullptr, &sub,
                        nullptr) != ERROR_SUCCESS)
      return nullptr;
    return Wrap(sub, view);
  }

  bool DeleteTree(const char* path) override {
    if (path == nullptr || *path == '\0') return false;
    return RegDeleteTreeA(key, path) == ERROR_SUCCESS;
  }

  bool ReadString(const char* name, std::string& text) override {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
      return false;
    data[size] = '\0';  // a stored text need not carry its terminator
    text = data.data();
    return true;
  }

  bool ReadDword(const char* name, uint32_t& value) override {
    DWORD size = sizeof value;
    DWORD read = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value)
      return false;
    value = read;
    return true;
  }

  bool WriteString(const char* name, const char* text) override {
    const char* t = text ? text : "";
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(t),
                          static_cast<DWORD>(lstrlenA(t) + 1)) == ERROR_SUCCESS;
  }

  bool WriteDword(const char* name, uint32_t value) override {
    const DWORD v = value;
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v) ==
           ERROR_SUCCESS;
  }

  bool DeleteValue(const char* name) override { return RegDeleteValueA(key, name) == ERROR_SUCCESS; }

  bool ValueAt(uint32_t index, std::string& name, std::string& text) override {
    DWORD nameRoom = 0, dataRoom = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameRoom,
                         &dataRoom, nullptr, nullptr) != ERROR_SUCCESS)
      return false;
    std::vector<char> nameBuffer(nameRoom + 1, '\0');
    std::vector<BYTE> data(dataRoom + 1, 0);
    DWORD nameSize = nameRoom + 1, dataSize = dataRoom, type = 0;
    if (RegEnumValueA(key, index, nameBuffer.data(), &nameSize, nullptr, &type, data.data(), &dataSize) !=
        ERROR_SUCCESS)
      return false;
    name.assign(nameBuffer.data(), nameSize);
    text.clear();
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      data[dataSize] = 0;
      text = reinterpret_cast<const char*>(data.data());
    }
    return true;
  }

  bool SubkeyAt(uint32_t index, std::string& name) override {
    char buffer[256];
    DWORD size = sizeof buffer;
    if (RegEnumKeyExA(key, index, buffer, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return false;
    name.assign(buffer, size);
    return true;
  }

  uint32_t ValueCount() override { return Info().values; }
  uint32_t SubkeyCount() override { return Info().subkeys; }
  uint32_t LongestValue() override { return Info().longest; }

 private:
  struct Counts {
    DWORD subkeys = 0, values = 0, longest = 0;
  };
  Counts Info() {
    Counts c;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &c.subkeys, nullptr, nullptr, &c.values, nullptr,
                         &c.longest, nullptr, nullptr) != ERROR_SUCCESS)
      c = Counts{};
    return c;
  }
  static std::unique_ptr<RegistryKey> Wrap(HKEY sub, REGSAM view) {
    std::unique_ptr<RegistryKey> wrapped(new (std::nothrow) Win32RegistryKey(sub, true, view));
    if (!wrapped) RegCloseKey(sub);
    return wrapped;
  }

  HKEY key;
  bool owned;
  REGSAM view;
};

std::unique_ptr<RegistryKey> Root(HKEY root) {
  return std::unique_ptr<RegistryKey>(new (std::nothrow) Win32RegistryKey(root, false));
}

#ifdef _WIN64
const REGSAM kOtherView = KEY_WOW64_32KEY;
#else
const REGSAM kOtherView = KEY_WOW64_64KEY;  // ignored by a 32-bit Windows, which has one view
#endif
}  // namespace

namespace Registry {
std::unique_ptr<RegistryKey> LocalMachine() { return Root(HKEY_LOCAL_MACHINE); }
std::unique_ptr<RegistryKey> CurrentUser() { return Root(HKEY_CURRENT_USER); }
std::unique_ptr<RegistryKey> ClassesRoot() { return Root(HKEY_CLASSES_ROOT); }
std::unique_ptr<RegistryKey> UserClasses(bool otherView) {
  std::unique_ptr<RegistryKey> user(new (std::nothrow) Win32RegistryKey(HKEY_CURRENT_USER, false, otherView ? kOtherView : 0));
  return user ? user->Create("Software\\Classes") : nullptr;
}
}  // namespace Registry
