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
