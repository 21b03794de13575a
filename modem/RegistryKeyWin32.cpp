// The system registry behind RegistryKey: one HKEY per object, closed with it; the roots are
// predefined keys and are never closed. Names and texts go through the W functions: the registry
// keeps REG_SZ in UTF-16 whichever function wrote it, so values an ANSI program stored read the
// same, and no text passes through the ANSI code page.
#include "modem/RegistryKey.h"

#include <windows.h>

#include <algorithm>
#include <new>
#include <vector>

#include "link/WideText.h"

namespace {
// A name for the system; null stays null (the key's default value).
struct Name {
  explicit Name(const char* utf8) : wide(utf8 ? WideText::Widen(utf8) : std::wstring()), none(utf8 == nullptr) {}
  operator const wchar_t*() const { return none ? nullptr : wide.c_str(); }
  std::wstring wide;
  bool none;
};

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
    if (RegOpenKeyExW(key, Name(path), 0, access | view, &sub) != ERROR_SUCCESS) return nullptr;
    return Wrap(sub, view);
  }

  std::unique_ptr<RegistryKey> Create(const char* path) override {
    HKEY sub = nullptr;
    if (RegCreateKeyExW(key, Name(path), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view, nullptr, &sub,
                        nullptr) != ERROR_SUCCESS)
      return nullptr;
    return Wrap(sub, view);
  }

  bool DeleteTree(const char* path) override {
    if (path == nullptr || *path == '\0') return false;
    return RegDeleteTreeW(key, Name(path)) == ERROR_SUCCESS;
  }

  bool ReadString(const char* name, std::string& text) override {
    const Name wide(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, wide, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    // A stored text need not carry its terminator, nor be a whole number of characters.
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, wide, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
      return false;
    text = Text(data, size);
    return true;
  }

  bool ReadDword(const char* name, uint32_t& value) override {
    DWORD size = sizeof value;
    DWORD read = 0;
    if (RegQueryValueExW(key, Name(name), nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value)
      return false;
    value = read;
    return true;
  }

  bool WriteString(const char* name, const char* text) override {
    const std::wstring wide = WideText::Widen(text ? text : "");
    return RegSetValueExW(key, Name(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }

  bool WriteDword(const char* name, uint32_t value) override {
    const DWORD v = value;
    return RegSetValueExW(key, Name(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v) ==
           ERROR_SUCCESS;
  }

  bool DeleteValue(const char* name) override { return RegDeleteValueW(key, Name(name)) == ERROR_SUCCESS; }

  bool ValueAt(uint32_t index, std::string& name, std::string& text) override {
    DWORD nameRoom = 0, dataRoom = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameRoom,
                         &dataRoom, nullptr, nullptr) != ERROR_SUCCESS)
      return false;
    std::vector<wchar_t> nameBuffer(nameRoom + 1, L'\0');
    std::vector<wchar_t> data(dataRoom / sizeof(wchar_t) + 1, L'\0');
    DWORD nameSize = nameRoom + 1, dataSize = dataRoom, type = 0;
    if (RegEnumValueW(key, index, nameBuffer.data(), &nameSize, nullptr, &type,
                      reinterpret_cast<BYTE*>(data.data()), &dataSize) != ERROR_SUCCESS)
      return false;
    name = WideText::Narrow(std::wstring_view(nameBuffer.data(), nameSize));
    text.clear();
    if (type == REG_SZ || type == REG_EXPAND_SZ) text = Text(data, dataSize);
    return true;
  }

  bool SubkeyAt(uint32_t index, std::string& name) override {
    wchar_t buffer[256];  // the longest key name the registry allows, and its terminator
    DWORD size = 256;
    if (RegEnumKeyExW(key, index, buffer, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return false;
    name = WideText::Narrow(std::wstring_view(buffer, size));
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
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &c.subkeys, nullptr, nullptr, &c.values, nullptr,
                         &c.longest, nullptr, nullptr) != ERROR_SUCCESS)
      c = Counts{};
    return c;
  }
  // The text of size bytes of value data, up to its first terminator.
  static std::string Text(const std::vector<wchar_t>& data, DWORD size) {
    const std::wstring_view stored(data.data(), std::min<size_t>(size / sizeof(wchar_t), data.size()));
    return WideText::Narrow(stored.substr(0, stored.find(L'\0')));
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
