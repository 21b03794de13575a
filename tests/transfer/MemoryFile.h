// An in-memory TransferFileBase for engine tests: a map of names to contents stands for the
// disk, the list walk hands out names that exist, and writes can be made to fall short.
#pragma once
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "transfer/TransferCodes.h"
#include "transfer/TransferFileBase.h"

using MemoryDisk = std::map<std::string, std::vector<uint8_t>>;

class MemoryFile : public TransferFileBase {
 public:
  explicit MemoryFile(MemoryDisk& store) : disk(store) {}

  int32_t BeginList(char* list, int32_t) override {
    specs.clear();
    std::string all = list ? list : "";
    size_t start = 0;
    while (start <= all.size()) {
      size_t end = all.find(';', start);
      if (end == std::string::npos) end = all.size();
      if (end > start) specs.push_back(all.substr(start, end - start));
      start = end + 1;
    }
    return 0;
  }
  int32_t Open(const char* path, const char* mode) override {
    if (open) return TransferCode::FileAlreadyOpen;
    current = path;
    ++opens;
    lastMode = mode;
    auto& data = disk[current];
    if (std::strchr(mode, 'w')) data.clear();
    position = std::strchr(mode, 'a') ? data.size() : 0;
    open = true;
    return 0;
  }
  int32_t Close() override {
    if (!open) return TransferCode::FileNotOpen;
    open = false;
    ++closes;
    return 0;
  }
  int32_t Seek(int32_t offset, int32_t origin) override {
    auto& data = disk[current];
    position = static_cast<size_t>((origin == 0 ? 0 : origin == 1 ? static_cast<int32_t>(position)
                                                                  : static_cast<int32_t>(data.size())) + offset);
    return 0;
  }
  int32_t Tell() override { return static_cast<int32_t>(position); }
  int32_t ApplyTime() override { return 0; }
  int32_t ReadTime() override { return 0; }
  int32_t Size() override { return static_cast<int32_t>(disk[current].size()); }
  int32_t NextFile(int32_t) override {
    while (!specs.empty()) {
      std::string entry = specs.front();
      specs.erase(specs.begin());
      if (disk.count(entry)) {
        std::snprintf(name, sizeof name, "%s", entry.c_str());
        return 1;
      }
    }
    return 0;
  }
  int32_t WriteBlock(const uint8_t* data, int32_t count) override {
    if (!open || count <= 0) return 0;
    if (writeRoom >= 0) {
      if (count > writeRoom) count = static_cast<int32_t>(writeRoom);
      writeRoom -= count;
    }
    auto& d = disk[current];
    if (d.size() < position + static_cast<size_t>(count)) d.resize(position + static_cast<size_t>(count));
    std::memcpy(d.data() + position, data, static_cast<size_t>(count));
    position += static_cast<size_t>(count);
    ++writes;
    return count;
  }
  int32_t ReadBlock(uint8_t* data, int32_t count) override {
    if (!open || count <= 0) return 0;
    auto& d = disk[current];
    size_t n = std::min(static_cast<size_t>(count), d.size() > position ? d.size() - position : 0);
    std::memcpy(data, d.data() + position, n);
    position += n;
    return static_cast<int32_t>(n);
  }
  int32_t WriteChar(uint8_t byte) override { return WriteBlock(&byte, 1); }
  int32_t ReadChar(uint8_t* byte) override { return ReadBlock(byte, 1); }
  int32_t Flush() override { return 0; }
  bool Exists(const char* path) override { return disk.count(path) != 0; }

  MemoryDisk& disk;
  std::vector<std::string> specs;
  std::string current;
  std::string lastMode;
  size_t position = 0;
  bool open = false;
  long writeRoom = -1;  // bytes writes may still store; -1 unlimited
  int opens = 0, closes = 0, writes = 0;
};
