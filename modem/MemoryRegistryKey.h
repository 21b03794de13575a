// A registry tree held in memory: what tests install their fake machines and users into, and
// what a host without a registry reads (finding nothing stored). Key names match without regard
// to case, as the system's do; values enumerate in the order they were made, sub-keys in name
// order.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "modem/RegistryKey.h"

class MemoryRegistryKey : public RegistryKey {
 public:
  // Value types as the system numbers them.
  static constexpr uint32_t kText = 1, kBinary = 3, kDword = 4;

  // A new, empty root.
  MemoryRegistryKey();

  std::unique_ptr<RegistryKey> Open(const char* path, bool write = false) override;
  std::unique_ptr<RegistryKey> Create(const char* path) override;
  bool DeleteTree(const char* path) override;
  bool ReadString(const char* name, std::string& text) override;
  bool ReadDword(const char* name, uint32_t& value) override;
  bool WriteString(const char* name, const char* text) override;
  bool WriteDword(const char* name, uint32_t value) override;
  bool DeleteValue(const char* name) override;
  bool ValueAt(uint32_t index, std::string& name, std::string& text) override;
  bool SubkeyAt(uint32_t index, std::string& name) override;
  uint32_t ValueCount() override;
  uint32_t SubkeyCount() override;
  uint32_t LongestValue() override;

  // Stores raw data of any type (a number kept as text, a binary blob), as an installer might.
  bool WriteRaw(const char* name, uint32_t type, const std::vector<uint8_t>& data);
  // The type of a value, 0 when it is missing.
  uint32_t TypeOf(const char* name);

 private:
  struct Value {
    std::string name;
    uint32_t type;
    std::vector<uint8_t> data;
  };
  struct Node {
    std::string name;
    std::vector<Value> values;
    std::vector<std::shared_ptr<Node>> children;
    bool deleted = false;
  };

  MemoryRegistryKey(std::shared_ptr<Node> at, bool canWrite);
  // The node at path below this one; with make, missing nodes on the way are created.
  std::shared_ptr<Node> Walk(const char* path, bool make);
  Value* Find(const char* name);

  std::shared_ptr<Node> node;
  bool writable = true;  // a key opened for reading refuses changes, as the system's does
};
