// What registering zandrel.dll writes into the registry, and what unregistering takes away:
// the ProgIDs and the class key of Quelto below HKEY_CLASSES_ROOT, and the folder of the help
// file below HKEY_LOCAL_MACHINE. Written over the registry seam so that the whole table can be
// checked on any machine; the type library's own keys are the system's business.
#pragma once

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
};
