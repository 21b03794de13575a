// The keys that registering and unregistering zandrel.dll write and take away, on registries
// built in memory (the Wine tests run regsvr32 on the real one).
#include "server/ServerRegistration.h"

#include <gtest/gtest.h>

#include <string>

#include "modem/MemoryRegistryKey.h"

namespace {
const char kModule[] = "C:\\Program Files\\Zandrel\\zandrel.dll";
const std::string kClass = std::string("CLSID\\") + ServerRegistration::kClassId;

std::string Default(RegistryKey& root, const std::string& path, const char* name = "") {
  auto key = root.Open(path.c_str());
  std::string text = "(missing)";
  if (key) key->ReadString(name, text);
  return key ? text : "(no key)";
}

TEST(ServerRegistrationTest, RegisterTwiceThenUnregister) {
  MemoryRegistryKey root;
  root.Create("CLSID\\{00000000-0000-0000-0000-000000000001}");  // someone else's class
  root.Create((kClass + "\\Stale").c_str());                     // left by an older build
  for (int round = 0; round < 2; ++round) ASSERT_TRUE(ServerRegistration::WriteClassKeys(root, kModule));

  const struct {
    std::string path;
    const char* name;
    const char* value;
  } expected[] = {
      {"Zandrel.Quelto.1", "", "Quelto Class"},
      {"Zandrel.Quelto.1\\CLSID", "", ServerRegistration::kClassId},
      {"Zandrel.Quelto", "", "Quelto Class"},
      {"Zandrel.Quelto\\CLSID", "", ServerRegistration::kClassId},
      {"Zandrel.Quelto\\CurVer", "", "Zandrel.Quelto.1"},
      {kClass, "", "Quelto Class"},
      {kClass + "\\ProgID", "", "Zandrel.Quelto.1"},
      {kClass + "\\VersionIndependentProgID", "", "Zandrel.Quelto"},
      {kClass + "\\InprocServer32", "", kModule},
      {kClass + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {kClass + "\\TypeLib", "", ServerRegistration::kLibraryId},
  };
  for (const auto& e : expected) EXPECT_EQ(Default(root, e.path, e.name), e.value) << e.path;
  auto classKey = root.Open(kClass.c_str());
  EXPECT_EQ(classKey->SubkeyCount(), 5u);  // Stale went with the first registration
  EXPECT_TRUE(root.Open((kClass + "\\Programmable").c_str()));

  EXPECT_TRUE(ServerRegistration::DeleteClassKeys(root));
  for (const char* gone : {"Zandrel.Quelto.1", "Zandrel.Quelto", kClass.c_str()}) EXPECT_FALSE(root.Open(gone)) << gone;
  EXPECT_TRUE(root.Open("CLSID\\{00000000-0000-0000-0000-000000000001}"));
  EXPECT_TRUE(ServerRegistration::DeleteClassKeys(root));  // nothing left to take is no failure
}

TEST(ServerRegistrationTest, HelpFolderOnlyWhereTheKeyExists) {
  MemoryRegistryKey machine;
  ServerRegistration::RecordHelpFolder(machine, kModule);
  EXPECT_FALSE(machine.Open(ServerRegistration::kHelpPath));  // never created

  machine.Create(ServerRegistration::kHelpPath)->WriteString("other.chm", "C:\\Other");
  ServerRegistration::RecordHelpFolder(machine, kModule);
  EXPECT_EQ(Default(machine, ServerRegistration::kHelpPath, "zandrel.chm"), "C:\\Program Files\\Zandrel");
  ServerRegistration::ForgetHelpFolder(machine);
  EXPECT_EQ(Default(machine, ServerRegistration::kHelpPath, "zandrel.chm"), "(missing)");
  EXPECT_EQ(Default(machine, ServerRegistration::kHelpPath, "other.chm"), "C:\\Other");
}
}  // namespace
