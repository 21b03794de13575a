// zandrel.dll's exports, its load and unload, and its class table of one entry: Quelto. Beside
// the four of every component server, DllInstall registers the object for the current user
// alone (regsvr32 /n /i:user), for users who may not write the machine's classes.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <memory>
#include <new>
#include <string>

#include "link/WideText.h"
#include "modem/DeviceLists.h"
#include "modem/RegistryKey.h"
#include "object/ModuleLock.h"
#include "object/Quelto.h"
#include "server/ClassFactory.h"
#include "server/ServerRegistration.h"

namespace {
struct ClassEntry {
  const CLSID* classId;
  ClassFactory::Creator create;
  ClassFactory* factory;  // made on first request, released at unload
};

ClassEntry classes[] = {{&CLSID_Quelto, &Quelto::Create, nullptr}};

HMODULE module = nullptr;
CRITICAL_SECTION factoryLock;

#ifdef _WIN64
const SYSKIND kSystem = SYS_WIN64;
#else
const SYSKIND kSystem = SYS_WIN32;
#endif

std::wstring ModulePath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return length && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

// The module's path as the registry seam takes texts (UTF-8).
std::string ModulePathText() { return WideText::Narrow(ModulePath()); }

HRESULT RegisterTypeLibrary() {
  const std::wstring path = ModulePath();
  ITypeLib* library = nullptr;
  HRESULT result = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
  if (FAILED(result)) return result;
  std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  result = RegisterTypeLib(library, const_cast<wchar_t*>(path.c_str()), const_cast<wchar_t*>(folder.c_str()));
  library->Release();
  return result;
}

// Looked up when asked for: an old runtime without it leaves the library registered.
HRESULT UnregisterTypeLibrary() {
  using Unregister = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
  HMODULE runtime = GetModuleHandleW(L"oleaut32.dll");
  Unregister unregister =
      runtime ? reinterpret_cast<Unregister>(reinterpret_cast<void*>(GetProcAddress(runtime, "UnRegisterTypeLib")))
              : nullptr;
  if (unregister == nullptr) return S_OK;
  const HRESULT result = unregister(LIBID_ZANDRELLib, 1, 0, 0x409, kSystem);
  // Nothing registered is what unregistering wants.
  return result == TYPE_E_REGISTRYACCESS || result == TYPE_E_CANTLOADLIBRARY ? S_OK : result;
}
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    module = instance;
    InitializeCriticalSection(&factoryLock);
    DisableThreadLibraryCalls(instance);
    DeviceLists::Process();  // the ports and modems as they are at load, kept until unload
  } else if (reason == DLL_PROCESS_DETACH) {
    for (ClassEntry& entry : classes) {
      if (entry.factory) entry.factory->Release();
      entry.factory = nullptr;
    }
    DeleteCriticalSection(&factoryLock);
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() { return ModuleLock::Count() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (ClassEntry& entry : classes) {
    if (!IsEqualCLSID(classId, *entry.classId)) continue;
    if (entry.factory == nullptr) {
      EnterCriticalSection(&factoryLock);
      if (entry.factory == nullptr) entry.factory = new (std::nothrow) ClassFactory(entry.create);
      LeaveCriticalSection(&factoryLock);
      if (entry.factory == nullptr) return E_OUTOFMEMORY;
    }
    return entry.factory->QueryInterface(iid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer() {
  const std::string path = ModulePathText();
  std::unique_ptr<RegistryKey> classesRoot = Registry::ClassesRoot();
  if (path.empty() || !classesRoot || !ServerRegistration::WriteClassKeys(*classesRoot, path.c_str()))
    return SELFREG_E_CLASS;
  if (FAILED(RegisterTypeLibrary())) return SELFREG_E_TYPELIB;
  if (std::unique_ptr<RegistryKey> machine = Registry::LocalMachine())
    ServerRegistration::RecordHelpFolder(*machine, path.c_str());
  return S_OK;
}

namespace {
// The user's own rows: what machine registration writes below HKEY_CLASSES_ROOT, written below
// HKEY_CURRENT_USER\Software\Classes, the type library's keys included (the system's per-user
// library registration is not everywhere: Wine's writes the machine's). No help folder: its
// key is the machine's, and the object finds the help file beside the module anyway.
HRESULT RegisterForUser() {
  const std::string path = ModulePathText();
  std::unique_ptr<RegistryKey> user = Registry::UserClasses();
  std::unique_ptr<RegistryKey> other = Registry::UserClasses(true);
  if (path.empty() || !user || !ServerRegistration::WriteClassKeys(*user, path.c_str())) return SELFREG_E_CLASS;
  ServerRegistration::Library library;
  if (!ServerRegistration::ReadLibrary(path.c_str(), library)) return SELFREG_E_TYPELIB;
  const std::string folder = path.substr(0, path.find_last_of('\\'));
  if (!ServerRegistration::WriteLibraryKeys(*user, library, path.c_str(), folder.c_str()) || !other ||
      !ServerRegistration::WriteInterfaceKeys(*other, library))
    return SELFREG_E_TYPELIB;
  return S_OK;
}

HRESULT UnregisterForUser() {
  const std::string path = ModulePathText();
  std::unique_ptr<RegistryKey> user = Registry::UserClasses();
  std::unique_ptr<RegistryKey> other = Registry::UserClasses(true);
  if (!user || !ServerRegistration::DeleteClassKeys(*user)) return SELFREG_E_CLASS;
  ServerRegistration::Library library;
  if (!ServerRegistration::ReadLibrary(path.c_str(), library)) return SELFREG_E_TYPELIB;
  if (other) ServerRegistration::DeleteLibraryKeys(*other, library);
  ServerRegistration::DeleteLibraryKeys(*user, library);
  return S_OK;
}
}  // namespace

STDAPI DllUnregisterServer() {
  std::unique_ptr<RegistryKey> classesRoot = Registry::ClassesRoot();
  const bool classGone = classesRoot && ServerRegistration::DeleteClassKeys(*classesRoot);
  const HRESULT library = UnregisterTypeLibrary();
  if (std::unique_ptr<RegistryKey> machine = Registry::LocalMachine()) ServerRegistration::ForgetHelpFolder(*machine);
  if (!classGone) return SELFREG_E_CLASS;
  return FAILED(library) ? SELFREG_E_TYPELIB : S_OK;
}

// regsvr32 /i:user calls this with "user" (and /n keeps it from calling DllRegisterServer too):
// the current user's registration. Without a command line it is the machine's, as
// DllRegisterServer and DllUnregisterServer do it; anything else is refused with E_INVALIDARG.
STDAPI DllInstall(BOOL install, PCWSTR commandLine) {
  if (commandLine == nullptr || *commandLine == L'\0') return install ? DllRegisterServer() : DllUnregisterServer();
  if (lstrcmpiW(commandLine, L"user") != 0) return E_INVALIDARG;
  return install ? RegisterForUser() : UnregisterForUser();
}
