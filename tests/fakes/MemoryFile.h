// An in-memory TransferFileBase for engine tests and fuzzing: a map of names to contents stands
// for the disk, a walk with wildcards hands out the names that exist, writes can be made to fall short,
// a replaced file changes only at Close, stamps are recorded, and files stay small so a hostile
// stream cannot grow one without bound.
#pragma once
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "transfer/TransferCodes.h"
#include "transfer/TransferFileBase.h"

using MemoryDisk = std::map<std::string, std::vector<uint8_t>>;

class MemoryFile : public TransferFileBase {
 public:
  static constexpr size_t kMaxSize = size_t{1} << 24;

  explicit MemoryFile(MemoryDisk& store) : disk(store) {}

  int32_t BeginList(char* list, int32_t) override {
    std::istringstream in(list ? list : "");
    specs.clear();
    for (std::string entry; std::getline(in, entry, ';');) specs.push_back(entry);
    return 0;
  }
  // Without wildcards an entry is handed out as it stands, as TransferFile does.
  int32_t NextFile(int32_t wildcards) override {
    while (!specs.empty()) {
      const std::string entry = specs.front();
      specs.pop_front();
      if (!wildcards || disk.count(entry)) return std::snprintf(name, sizeof name, "%s", entry.c_str()) > 0;
    }
    return 0;
  }
  int32_t Open(const char* path, const char* mode) override {
    if (open) return TransferCode::FileAlreadyOpen;
    current = path;
    replacing = std::strchr(mode, 'w') && !std::strchr(mode, 'a') && disk.count(path);
    data = replacing ? &replacement : &disk[path];  // every mode opens or creates
    lastMode = mode;
    if (std::strchr(mode, 'w')) data->clear();
    position = std::strchr(mode, 'a') ? data->size() : 0;
    open = true;
    return 0;
  }
  int32_t Close() override {
    if (!open) return TransferCode::FileNotOpen;
    if (replacing) disk[current] = replacement;
    return Discard();
  }
  int32_t Discard() override {
    if (!open) return TransferCode::FileNotOpen;
    open = replacing = false;
    data = &disk[current];
    return 0;
  }
  int32_t Seek(int64_t offset, int32_t origin) override {
    if (!open) return TransferCode::FileNotOpen;
    // The engines only seek to absolute offsets.
    if (origin != 0 || offset < 0 || offset > static_cast<int64_t>(kMaxSize)) return TransferCode::FileSeekFailed;
    position = static_cast<size_t>(offset);
    return 0;
  }
  int64_t Tell() override { return open ? static_cast<int64_t>(position) : TransferCode::FileNotOpen; }
  int32_t WriteBlock(const uint8_t* bytes, int32_t count) override {
    if (!open || count <= 0) return 0;
    if (writeRoom >= 0) count = static_cast<int32_t>(std::min<long>(count, writeRoom));
    if (writeRoom >= 0) writeRoom -= count;
    if (position + static_cast<size_t>(count) > kMaxSize) return 0;
    data->resize(std::max(data->size(), position + static_cast<size_t>(count)));
    std::copy(bytes, bytes + count, data->begin() + static_cast<long>(position));
    position += static_cast<size_t>(count);
    return count;
  }
  int32_t ReadBlock(uint8_t* bytes, int32_t count) override {
    if (!open || count <= 0 || position >= data->size()) return 0;
    const size_t n = std::min(static_cast<size_t>(count), data->size() - position);
    std::copy_n(data->begin() + static_cast<long>(position), n, bytes);
    position += n;
    return static_cast<int32_t>(n);
  }
  int32_t WriteChar(uint8_t byte) override { return WriteBlock(&byte, 1); }
  int32_t ReadChar(uint8_t* byte) override { return ReadBlock(byte, 1); }
  int64_t Size() override { return data ? static_cast<int64_t>(data->size()) : 0; }
  int32_t ApplyTime() override {
    if (!open) return TransferCode::FileNotOpen;
    stamped.insert(current);
    return 0;
  }
  // Every file carries the same fixed stamp, so date comparisons have something to compare.
  int32_t ReadTime() override {
    if (!open) return TransferCode::FileNotOpen;
    SetFromSeconds(1500000000);
    return 0;
  }
  int32_t Flush() override { return 0; }
  bool Exists(const char* path) override { return disk.count(path) != 0; }

  MemoryDisk& disk;
  std::deque<std::string> specs;
  std::vector<uint8_t>* data = nullptr;
  std::vector<uint8_t> replacement;  // a replaced file's new content until Close
  bool replacing = false;
  std::string current, lastMode;
  std::set<std::string> stamped;     // names that received a time stamp
  size_t position = 0;
  bool open = false;
  long writeRoom = -1;  // bytes writes may still store; -1 unlimited
};
