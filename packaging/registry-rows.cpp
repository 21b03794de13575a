// Prints the registry rows of the Windows installer as rows of its Registry table (tab-separated,
// one a line): exactly what zandrel.dll's registration writes, made by the same code, with the
// module's folder given as installer text ("[ProgramFiles64Folder]Zandrel"), so that the
// installer's rows and the module's own registration cannot drift apart.
//   registry-rows <zandrel.dll> <folder>
// The classes go below the installer's "HKMU" root (the machine's or the user's classes, as the
// package is installed), the help folder below the machine's root; a 64-bit module also has its
// interfaces in the other registry view, a component of its own.
#include <cstdio>
#include <string>

#include "modem/MemoryRegistryKey.h"
#include "server/ServerRegistration.h"

namespace {
int rows = 0;

void Print(const std::string& root, const std::string& key, const std::string& name, const std::string& value,
           const char* component) {
  std::printf("reg%03d\t%s\t%s\t%s\t%s\t%s\n", ++rows, root.c_str(), key.c_str(), name.c_str(), value.c_str(),
              component);
}

void Rows(RegistryKey& key, const std::string& path, const char* root, const char* component) {
  std::string name, text;
  for (uint32_t i = 0; key.ValueAt(i, name, text); ++i) Print(root, path, name, text, component);
  // "*": the installer makes the empty key and removes it again.
  if (key.ValueCount() == 0 && key.SubkeyCount() == 0) Print(root, path, "*", "", component);
  for (uint32_t i = 0; key.SubkeyAt(i, name); ++i)
    if (std::unique_ptr<RegistryKey> sub = key.Open(name.c_str()))
      Rows(*sub, path.empty() ? name : path + "\\" + name, root, component);
}
}  // namespace

int main(int argc, char** argv) {
  ServerRegistration::Library library;
  if (argc != 3 || !ServerRegistration::ReadLibrary(argv[1], library)) {
    std::fprintf(stderr, "usage: registry-rows <zandrel.dll> <folder> (the DLL with its type library)\n");
    return 2;
  }
  const std::string folder = argv[2], module = folder + "\\zandrel.dll";
  MemoryRegistryKey classes, other, machine;
  machine.Create(ServerRegistration::kHelpPath);
  if (!ServerRegistration::WriteClassKeys(classes, module.c_str()) ||
      !ServerRegistration::WriteLibraryKeys(classes, library, module.c_str(), folder.c_str()) ||
      !ServerRegistration::WriteInterfaceKeys(other, library))
    return 1;
  ServerRegistration::RecordHelpFolder(machine, module.c_str());
  Rows(classes, "Software\\Classes", "-1", "Module");
  if (library.system == "win64") Rows(other, "Software\\Classes", "-1", "OtherView");
  Rows(machine, "", "2", "HelpFolder");
  return 0;
}
