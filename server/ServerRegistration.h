// What registering zandrel.dll writes into the registry, and what unregistering takes away:
// the ProgIDs and the class key of Quelto below HKEY_CLASSES_ROOT, and the folder of the help
// file below HKEY_LOCAL_MACHINE. Written over the registry seam so that the whole table can be
// checked on any machine. The machine's type library keys are the system's business; a user's
// (who may not write the machine's) and an installer's rows are written here the same way, from
// what the library says of itself.
#pragma once
#include <string>
#include <vector>

class RegistryKey;

class ServerRegistration {
 public:
  // The identifiers in registry form, fixed for good: hosts, registries and scripts hold them.
  static constexpr const char* kClassId = "{A3A692C3-929B-4090-971E-2321CBAFE0B2}";
  static constexpr const char* kLibraryId = "{C13B0AB9-DC10-4C9E-B1D8-5889E798C169}";
  static constexpr const char* kProgId = "Zandrel.Quelto";
  static constexpr const char* kVersionedProgId = "Zandrel.Quelto.1";
  static constexpr const char* kDescription = "Quelto Class";
  // Below HKEY_LOCAL_MACHINE; opened, never created: a machine without it has no help viewer
  // that would look there.
  static constexpr const char* kHelpPath = "SOFTWARE\\Microsoft\\Windows\\HTML Help";
  static constexpr const char* kHelpValue = "zandrel.chm";

  // Writes the class's keys for the module at modulePath (its full file name). The class key is
  // deleted first, so registering again leaves one tree. False when a key could not be written.
  static bool WriteClassKeys(RegistryKey& classesRoot, const char* modulePath);
  // Deletes the two ProgID keys and the class key; "CLSID" itself stays. False when one of them
  // was there and stayed.
  static bool DeleteClassKeys(RegistryKey& classesRoot);
  // Records the module's folder (no trailing separator) as where the help file is. Nothing
  // happens when the help key is missing.
  static void RecordHelpFolder(RegistryKey& localMachine, const char* modulePath);
  static void ForgetHelpFolder(RegistryKey& localMachine);

  // A type library as its registration names it, every text as the system writes it.
  struct Library {
    struct Interface {
      std::string id, name;
    };
    std::string id;       // in braces
    std::string version;  // major.minor in hex: "1.0"
    std::string locale;   // in hex: "409"
    std::string system;   // "win32" or "win64"
    std::string flags;    // decimal
    std::string title;    // the library's help string
    std::vector<Interface> interfaces;  // those marshalled from the type library
  };
  // Reads what registration needs from the type library embedded in the module at modulePath
  // (Windows only). False when the module holds no library.
  static bool ReadLibrary(const char* modulePath, Library& library);
  // The keys the system writes when it registers the library of the module at modulePath with
  // its help files in helpFolder: "TypeLib" with the version's path, flags and help folder, and
  // "Interface" with each interface's marshaler. False when a key could not be written.
  static bool WriteLibraryKeys(RegistryKey& classes, const Library& library, const char* modulePath,
                               const char* helpFolder);
  // Only the "Interface" keys: the system writes them into both registry views of a 64-bit
  // Windows, so that programs of either kind marshal the interfaces.
  static bool WriteInterfaceKeys(RegistryKey& classes, const Library& library);
  // Deletes the library's version and interface keys, the library's key when nothing else is
  // left in it, and "CLSID", "TypeLib" and "Interface" when they are left empty (a user's
  // classes have none of them before the first registration).
  static void DeleteLibraryKeys(RegistryKey& classes, const Library& library);
};
