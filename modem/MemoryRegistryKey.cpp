// The in-memory registry. Views share nodes, so a key opened twice sees one set of values, and
// a deleted key fails every later operation, as a handle to a deleted system key does.
#include "modem/MemoryRegistryKey.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool Less(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

}  // namespace

MemoryRegistryKey::MemoryRegistryKey() : node(std::make_shared<Node>()) {}

MemoryRegistryKey::MemoryRegistryKey(std::shared_ptr<Node> at, bool canWrite)
    : node(std::move(at)), writable(canWrite) {}

std::shared_ptr<MemoryRegistryKey::Node> MemoryRegistryKey::Walk(const char* path, bool make) {
  if (node->deleted || path == nullptr) return nullptr;
  std::shared_ptr<Node> at = node;
  const char* p = path;
  while (*p) {
    const char* end = std::strchr(p, '\\');
    const std::string part(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
    p = end ? end + 1 : p + part.size();
    if (part.empty()) continue;
    auto found = std::find_if(at->children.begin(), at->children.end(),
                              [&](const std::shared_ptr<Node>& child) { return SameName(child->name, part); });
    if (found != at->children.end()) {
      at = *found;
    } else if (make) {
      auto child = std::make_shared<Node>();
      child->name = part;
      // The system hands sub-keys out in name order, whatever order they were made in.
      const auto place = std::find_if(at->children.begin(), at->children.end(),
                                      [&](const std::shared_ptr<Node>& other) { return Less(part, other->name); });
      at->children.insert(place, child);
      at = child;
    } else {
      return nullptr;
    }
  }
  return at;
}

MemoryRegistryKey::Value* MemoryRegistryKey::Find(const char* name) {
  if (node->deleted) return nullptr;
  const std::string wanted = name ? name : "";
  for (Value& v : node->values)
    if (SameName(v.name, wanted)) return &v;
  return nullptr;
}

std::unique_ptr<RegistryKey> MemoryRegistryKey::Open(const char* path, bool write) {
  std::shared_ptr<Node> at = Walk(path, false);
  if (!at) return nullptr;
  return std::unique_ptr<RegistryKey>(new (std::nothrow) MemoryRegistryKey(at, write));
}

std::unique_ptr<RegistryKey> MemoryRegistryKey::Create(const char* path) {
  if (!writable) return nullptr;
  std::shared_ptr<Node> at = Walk(path, true);
  if (!at) return nullptr;
  return std::unique_ptr<RegistryKey>(new (std::nothrow) MemoryRegistryKey(at, true));
}

bool MemoryRegistryKey::DeleteTree(const char* path) {
  if (!writable || node->deleted || path == nullptr || *path == '\0') return false;
  std::string parentPath(path);
  std::string leaf = parentPath;
  const size_t cut = parentPath.rfind('\\');
  if (cut == std::string::npos) {
    parentPath.clear();
  } else {
    leaf = parentPath.substr(cut + 1);
    parentPath.resize(cut);
  }
  std::shared_ptr<Node> parent = Walk(parentPath.c_str(), false);
  if (!parent) return false;
  auto found = std::find_if(parent->children.begin(), parent->children.end(),
                            [&](const std::shared_ptr<Node>& child) { return SameName(child->name, leaf); });
  if (found == parent->children.end()) return false;
  // Views of anything below keep their nodes alive; mark the whole subtree gone for them.
  std::vector<std::shared_ptr<Node>> pending{*found};
  while (!pending.empty()) {
    std::shared_ptr<Node> n = pending.back();
    pending.pop_back();
    n->deleted = true;
    pending.insert(pending.end(), n->children.begin(), n->children.end());
  }
  parent->children.erase(found);
  return true;
}

bool MemoryRegistryKey::ReadString(const char* name, std::string& text) {
  const Value* v = Find(name);
  if (!v || v->type != kText) return false;
  const auto end = std::find(v->data.begin(), v->data.end(), uint8_t{0});
  text.assign(v->data.begin(), end);
  return true;
}

bool MemoryRegistryKey::ReadDword(const char* name, uint32_t& value) {
  const Value* v = Find(name);
  if (!v || v->data.size() != 4) return false;
  value = static_cast<uint32_t>(v->data[0]) | static_cast<uint32_t>(v->data[1]) << 8 |
          static_cast<uint32_t>(v->data[2]) << 16 | static_cast<uint32_t>(v->data[3]) << 24;
  return true;
}

bool MemoryRegistryKey::WriteRaw(const char* name, uint32_t type, const std::vector<uint8_t>& data) {
  if (!writable || node->deleted || name == nullptr) return false;
  if (Value* v = Find(name)) {
    v->type = type;
    v->data = data;
  } else {
    node->values.push_back(Value{name, type, data});
  }
  return true;
}

bool MemoryRegistryKey::WriteString(const char* name, const char* text) {
  const char* t = text ? text : "";
  std::vector<uint8_t> data(t, t + std::strlen(t) + 1);
  return WriteRaw(name, kText, data);
}

bool MemoryRegistryKey::WriteDword(const char* name, uint32_t value) {
  return WriteRaw(name, kDword,
                  {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                   static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
}

bool MemoryRegistryKey::DeleteValue(const char* name) {
  Value* v = writable ? Find(name) : nullptr;
  if (!v) return false;
  node->values.erase(node->values.begin() + (v - node->values.data()));
  return true;
}

uint32_t MemoryRegistryKey::TypeOf(const char* name) {
  const Value* v = Find(name);
  return v ? v->type : 0;
}

bool MemoryRegistryKey::ValueAt(uint32_t index, std::string& name, std::string& text) {
  if (node->deleted || index >= node->values.size()) return false;
  const Value& v = node->values[index];
  name = v.name;
  text.clear();
  if (v.type == kText) text.assign(v.data.begin(), std::find(v.data.begin(), v.data.end(), uint8_t{0}));
  return true;
}

bool MemoryRegistryKey::SubkeyAt(uint32_t index, std::string& name) {
  if (node->deleted || index >= node->children.size()) return false;
  name = node->children[index]->name;
  return true;
}

uint32_t MemoryRegistryKey::ValueCount() {
  return node->deleted ? 0 : static_cast<uint32_t>(node->values.size());
}

uint32_t MemoryRegistryKey::SubkeyCount() {
  return node->deleted ? 0 : static_cast<uint32_t>(node->children.size());
}

uint32_t MemoryRegistryKey::LongestValue() {
  size_t longest = 0;
  if (!node->deleted)
    for (const Value& v : node->values) longest = std::max(longest, v.data.size());
  return static_cast<uint32_t>(longest);
}
