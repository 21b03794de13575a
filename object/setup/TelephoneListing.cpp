#include "object/setup/TelephoneListing.h"

#include "modem/RegistryKey.h"
#include "object/setup/DialogText.h"

namespace {
std::string ValueName(int32_t row, const char* suffix) { return std::to_string(row) + suffix; }
}  // namespace

void TelephoneListing::Load(RegistryKey& currentUser) {
  rows = {};
  auto key = currentUser.Open(kKeyPath);
  if (!key) return;
  for (int32_t i = 0; i < kRows; ++i) {
    Row& row = rows[static_cast<size_t>(i)];
    if (!key->ReadString(ValueName(i, ".Desc").c_str(), row.description)) row.description.clear();
    if (!key->ReadString(ValueName(i, ".Phone").c_str(), row.number)) row.number.clear();
    row.description = DialogText::Cut(row.description, kStoredChars);
    row.number = DialogText::Cut(row.number, kStoredChars);
  }
}

void TelephoneListing::Save(RegistryKey& currentUser) const {
  currentUser.DeleteTree(kKeyPath);
  auto key = currentUser.Create(kKeyPath);
  if (!key) return;
  for (int32_t i = 0; i < kRows; ++i) {
    const Row& row = rows[static_cast<size_t>(i)];
    if (!row.description.empty()) key->WriteString(ValueName(i, ".Desc").c_str(), row.description.c_str());
    if (!row.number.empty()) key->WriteString(ValueName(i, ".Phone").c_str(), row.number.c_str());
  }
}

int32_t TelephoneListing::RowOf(const std::string& number) const {
  for (int32_t i = 0; i < kRows; ++i)
    if (rows[static_cast<size_t>(i)].number == number) return i;
  return 0;
}

void TelephoneListing::ApplyEdit(int32_t row, const std::string& description, const std::string& number) {
  Row& target = rows[static_cast<size_t>(row)];
  if (!description.empty()) target.description = description;
  if (!number.empty()) target.number = number;
}

void TelephoneListing::Ok(int32_t selectedRow, const std::string& modemCmd, SetupCopy& copy,
                          RegistryKey& currentUser) const {
  if (selectedRow >= 0 && selectedRow < kRows)
    copy.Telephone = DialogText::Cut(At(selectedRow).number, SetupCopy::kShortChars);
  Save(currentUser);
  copy.ModemCmd = DialogText::Cut(modemCmd, SetupCopy::kShortChars);
}
