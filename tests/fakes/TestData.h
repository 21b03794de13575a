// File contents for tests: whole files read and written in binary, seeded random bytes, and a
// scratch folder to work in.
#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

// Paths are UTF-8, as everywhere in the product.
inline std::string Slurp(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void Spit(const std::string& path, const std::string& data) {
  std::ofstream(std::filesystem::u8path(path), std::ios::binary) << data;
}

inline std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// A fresh folder under the temporary one (the clock keeps it unique where random_device repeats),
// the working folder while the object lives (the engines name files relative to it), removed
// with all it holds afterwards.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix)
      : path(std::filesystem::temp_directory_path() /
             (prefix + std::to_string(std::random_device()()) + "-" +
              std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))),
        home(std::filesystem::current_path()) {
    std::filesystem::create_directories(path);
    std::filesystem::current_path(path);
  }
  ~ScratchFolder() {
    std::filesystem::current_path(home);
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path path, home;
};
