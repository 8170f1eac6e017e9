// Whole files for the tests and the fuzz targets (no GoogleTest here): read,
// written, every file of a tree, and a fingerprint of a tree that shows any
// change made to a book.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace tolvex::testing_support {

inline std::vector<std::uint8_t> read_file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string read_file_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool write_file_bytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

inline void write_file_text(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Every regular file below dir, by relative path, with its bytes.
inline std::map<std::string, std::vector<std::uint8_t>> read_tree(const std::filesystem::path& dir) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  if (!std::filesystem::exists(dir)) return files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) files[e.path().lexically_relative(dir).generic_string()] = read_file_bytes(e.path());
  }
  return files;
}

// Type, permissions and modification time of every entry below dir, with the
// size and an FNV-1a hash of each regular file and the target of each link
// (not followed: it may lead nowhere), by relative path.
inline std::map<std::string, std::string> fingerprint(const std::filesystem::path& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> result;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    std::ostringstream print;
    const fs::file_status status = fs::symlink_status(e.path());
    print << static_cast<int>(status.type()) << ' ' << static_cast<unsigned>(status.permissions()) << ' ';
    if (fs::is_symlink(status)) {
      print << fs::read_symlink(e.path()).string();
    } else {
      print << e.last_write_time().time_since_epoch().count();
    }
    if (fs::is_regular_file(status)) {
      std::uint64_t h = 1469598103934665603ull;
      for (std::uint8_t b : read_file_bytes(e.path())) h = (h ^ b) * 1099511628211ull;
      print << ' ' << fs::file_size(e.path()) << ' ' << std::hex << h;
    }
    result[e.path().lexically_relative(dir).generic_string()] = print.str();
  }
  return result;
}

}  // namespace tolvex::testing_support
