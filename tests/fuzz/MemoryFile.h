// An in-memory TransferFileBase for fuzzing: files live in a small map, so a hostile stream can
// exercise every open, append, resume and management path without touching the disk.
#pragma once
#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "transfer/TransferFileBase.h"

class MemoryFile : public TransferFileBase {
 public:
  std::map<std::string, std::string> files;

  int32_t BeginList(char*, int32_t) override { return 0; }
  int32_t Open(const char* path, const char* mode) override {
    if (open) return -950;
    current = path;
    if (mode[0] == 'w') files[current].clear();
    else files[current];  // "a" and "r" open or create
    append = mode[0] == 'a';
    position = append ? files[current].size() : 0;
    open = true;
    return 0;
  }
  int32_t Close() override {
    if (!open) return -953;
    open = false;
    return 0;
  }
  int32_t Seek(int32_t offset, int32_t origin) override {
    if (!open) return -953;
    const long base = origin == 0 ? 0 : origin == 1 ? static_cast<long>(position) : static_cast<long>(Data().size());
    const long target = base + offset;
    if (target < 0 || target > (1L << 24)) return -954;
    position = static_cast<size_t>(target);
    return 0;
  }
  int32_t Tell() override { return open ? static_cast<int32_t>(position) : -953; }
  int32_t ApplyTime() override { return open ? 0 : -953; }
  int32_t ReadTime() override {
    if (!open) return -953;
    SetFromSeconds(1500000000);
    return 0;
  }
  int32_t Size() override { return open ? static_cast<int32_t>(Data().size()) : -953; }
  int32_t NextFile(int32_t) override { return 0; }
  int32_t WriteBlock(const uint8_t* data, int32_t count) override {
    if (!open || count < 0) return 0;
    std::string& d = Data();
    if (append) position = d.size();
    if (position + static_cast<size_t>(count) > (1u << 24)) return 0;  // keep runs small
    if (d.size() < position + static_cast<size_t>(count)) d.resize(position + static_cast<size_t>(count));
    std::memcpy(&d[position], data, static_cast<size_t>(count));
    position += static_cast<size_t>(count);
    return count;
  }
  int32_t ReadBlock(uint8_t* data, int32_t count) override {
    if (!open || count <= 0) return 0;
    const std::string& d = Data();
    if (position >= d.size()) return 0;
    const size_t n = std::min(static_cast<size_t>(count), d.size() - position);
    std::memcpy(data, d.data() + position, n);
    position += n;
    return static_cast<int32_t>(n);
  }
  int32_t WriteChar(uint8_t byte) override { return WriteBlock(&byte, 1); }
  int32_t ReadChar(uint8_t* byte) override { return ReadBlock(byte, 1); }
  int32_t Flush() override { return 0; }
  bool Exists(const char* path) override { return files.count(path) != 0; }

 private:
  std::string& Data() { return files[current]; }
  std::string current;
  size_t position = 0;
  bool open = false;
  bool append = false;
};
