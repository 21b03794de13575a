// The ten telephone listings of the Modem page: read from the current user's registry the
// first time the page opens in a sheet, edited in the page, and written back only by its OK.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "object/setup/SetupCopy.h"

class RegistryKey;

class TelephoneListing {
 public:
  static constexpr int32_t kRows = 10;
  static constexpr size_t kStoredChars = 80;       // each stored text, as read
  static constexpr size_t kDescriptionChars = 79;  // what Edit Telephone Listing takes back
  static constexpr size_t kNumberChars = 39;
  // Below the current user's root.
  static constexpr const char* kKeyPath = "Software\\Harbwick\\Zandrel\\Telephone";

  struct Row {
    std::string description, number;
  };

  // Row d from the values "d.Desc" and "d.Phone"; a missing key or value gives empty texts.
  void Load(RegistryKey& currentUser);
  // Deletes the listing key, makes it anew and writes each non-empty text of the ten rows.
  void Save(RegistryKey& currentUser) const;

  const Row& At(int32_t row) const { return rows[static_cast<size_t>(row)]; }
  // The row whose number is the text; row 0 when none is.
  int32_t RowOf(const std::string& number) const;
  // What Edit Telephone Listing gave back: each text replaces the row's only when it is not
  // empty (Clear is the way to empty a row).
  void ApplyEdit(int32_t row, const std::string& description, const std::string& number);
  void Clear(int32_t row) { rows[static_cast<size_t>(row)] = Row(); }

  // The page's OK: the selected row's number becomes Telephone (none selected: it stays), the
  // listing is saved, and the override text becomes ModemCmd.
  void Ok(int32_t selectedRow, const std::string& modemCmd, SetupCopy& copy, RegistryKey& currentUser) const;

 private:
  std::array<Row, kRows> rows;
};
