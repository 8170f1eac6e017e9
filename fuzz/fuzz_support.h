// Shared helpers of the fuzz targets: a private working directory (the
// converter writes Dic/ and tolvex.log into the current directory), a silent
// console, and small file helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "messages/messages.h"

namespace tolvex::fuzz {

namespace fs = std::filesystem;

inline fs::path& scratch_dir() {
  static fs::path dir;
  return dir;
}

// Makes a fresh directory under the system's temporary directory, enters it
// and silences the console; the directory is removed when the fuzzer exits.
// Called once from LLVMFuzzerInitialize, so corpus paths given to the fuzzer
// must be absolute.
inline fs::path enter_scratch_dir(const char* target) {
  std::string pattern = (fs::temp_directory_path() / (std::string("tolvex-") + target + "-XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) std::abort();
  fs::path dir(buffer.data());
  fs::current_path(dir);
  scratch_dir() = dir;
  std::atexit([] {
    std::error_code ec;
    fs::current_path(fs::temp_directory_path(), ec);
    fs::remove_all(scratch_dir(), ec);
  });
  set_console_sink([](std::string_view) {});
  return dir;
}

inline void write_bytes(const fs::path& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

inline void write_bytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  write_bytes(path, bytes.data(), bytes.size());
}

inline std::vector<std::uint8_t> read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Removes what a run wrote (Dic/ and the log) so the directory stays small.
inline void clean_outputs() {
  std::error_code ec;
  fs::remove_all("Dic", ec);
  fs::remove("tolvex.log", ec);
}

// Ends the fuzzer with a visible message: a broken property is a finding.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what);
  std::abort();
}

}  // namespace tolvex::fuzz
