#include "server/ServerRegistration.h"

#include <memory>
#include <string>

#include "modem/RegistryKey.h"

namespace {
// Default values ("") of a key and its sub-keys, created on the way.
bool WriteDefault(RegistryKey& root, const std::string& path, const char* text) {
  std::unique_ptr<RegistryKey> key = root.Create(path.c_str());
  return key && key->WriteString("", text);
}

bool Gone(RegistryKey& root, const std::string& path) {
  return root.DeleteTree(path.c_str()) || !root.Open(path.c_str());
}

std::string ClassPath() { return std::string("CLSID\\") + ServerRegistration::kClassId; }

// The type library marshaler: oleaut32's proxy for interfaces described by a type library.
const char* const kMarshaler = "{00020424-0000-0000-C000-000000000046}";

void DeleteIfEmpty(RegistryKey& root, const std::string& path) {
  std::unique_ptr<RegistryKey> key = root.Open(path.c_str());
  if (key && key->SubkeyCount() == 0 && key->ValueCount() == 0) {
    key.reset();
    root.DeleteTree(path.c_str());
  }
}
}  // namespace

bool ServerRegistration::WriteClassKeys(RegistryKey& root, const char* modulePath) {
  const std::string clsid = ClassPath();
  const std::string versioned = kVersionedProgId, independent = kProgId;
  root.DeleteTree(clsid.c_str());
  bool ok = WriteDefault(root, versioned, kDescription) && WriteDefault(root, versioned + "\\CLSID", kClassId) &&
            WriteDefault(root, independent, kDescription) && WriteDefault(root, independent + "\\CLSID", kClassId) &&
            WriteDefault(root, independent + "\\CurVer", kVersionedProgId) &&
            WriteDefault(root, clsid, kDescription) && WriteDefault(root, clsid + "\\ProgID", kVersionedProgId) &&
            WriteDefault(root, clsid + "\\VersionIndependentProgID", kProgId) &&
            root.Create((clsid + "\\Programmable").c_str()) != nullptr &&
            WriteDefault(root, clsid + "\\InprocServer32", modulePath) &&
            WriteDefault(root, clsid + "\\TypeLib", kLibraryId);
  if (!ok) return false;
  std::unique_ptr<RegistryKey> server = root.Open((clsid + "\\InprocServer32").c_str(), true);
  return server && server->WriteString("ThreadingModel", "Apartment");
}

bool ServerRegistration::DeleteClassKeys(RegistryKey& root) {
  const bool versioned = Gone(root, kVersionedProgId);
  const bool independent = Gone(root, kProgId);
  return Gone(root, ClassPath()) && versioned && independent;
}

void ServerRegistration::RecordHelpFolder(RegistryKey& localMachine, const char* modulePath) {
  std::unique_ptr<RegistryKey> help = localMachine.Open(kHelpPath, true);
  if (!help) return;
  std::string folder = std::string(modulePath).substr(0, 260);
  const size_t slash = folder.find_last_of('\\');
  if (slash != std::string::npos) folder.resize(slash);
  help->WriteString(kHelpValue, folder.c_str());
}

void ServerRegistration::ForgetHelpFolder(RegistryKey& localMachine) {
  if (std::unique_ptr<RegistryKey> help = localMachine.Open(kHelpPath, true)) help->DeleteValue(kHelpValue);
}

bool ServerRegistration::WriteLibraryKeys(RegistryKey& root, const Library& library, const char* modulePath,
                                          const char* helpFolder) {
  const std::string version = "TypeLib\\" + library.id + "\\" + library.version;
  return WriteDefault(root, version, library.title.c_str()) &&
         WriteDefault(root, version + "\\" + library.locale + "\\" + library.system, modulePath) &&
         WriteDefault(root, version + "\\FLAGS", library.flags.c_str()) &&
         WriteDefault(root, version + "\\HELPDIR", helpFolder) && WriteInterfaceKeys(root, library);
}

bool ServerRegistration::WriteInterfaceKeys(RegistryKey& root, const Library& library) {
  for (const Library::Interface& i : library.interfaces) {
    const std::string key = "Interface\\" + i.id;
    if (!WriteDefault(root, key, i.name.c_str()) || !WriteDefault(root, key + "\\ProxyStubClsid", kMarshaler) ||
        !WriteDefault(root, key + "\\ProxyStubClsid32", kMarshaler) ||
        !WriteDefault(root, key + "\\TypeLib", library.id.c_str()))
      return false;
    std::unique_ptr<RegistryKey> lib = root.Open((key + "\\TypeLib").c_str(), true);
    if (!lib || !lib->WriteString("Version", library.version.c_str())) return false;
  }
  return true;
}

void ServerRegistration::DeleteLibraryKeys(RegistryKey& root, const Library& library) {
  for (const Library::Interface& i : library.interfaces) root.DeleteTree(("Interface\\" + i.id).c_str());
  const std::string id = "TypeLib\\" + library.id;
  root.DeleteTree((id + "\\" + library.version).c_str());
  for (const char* path : {id.c_str(), "TypeLib", "Interface", "CLSID"}) DeleteIfEmpty(root, path);
}
