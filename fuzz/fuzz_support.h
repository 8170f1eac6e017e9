// The harness of the fuzz targets. TOLVEX_FUZZ_TARGET(tag) opens the
// target's body, which gets each input as `input`: before the first input a
// fresh directory under the system's temporary directory is entered (the
// converter writes Dic/ and tolvex.log into the current directory; removed
// when the fuzzer exits) and the console silenced; what a run wrote is
// removed after it. Corpus paths given to the fuzzer must therefore be
// absolute.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "files.h"
#include "messages/messages.h"

namespace tolvex::fuzz {

namespace fs = std::filesystem;
using testing_support::read_file_bytes;

inline void enter_scratch_dir(const char* tag) {
  static fs::path dir;
  std::string pattern = (fs::temp_directory_path() / (std::string("tolvex-") + tag + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  dir = pattern;
  fs::current_path(dir);
  std::atexit([] {
    std::error_code ec;
    fs::current_path(fs::temp_directory_path(), ec);
    fs::remove_all(dir, ec);
  });
  set_console_sink([](std::string_view) {});
}

inline void write_bytes(const fs::path& path, std::span<const std::uint8_t> bytes) {
  if (!testing_support::write_file_bytes(path, bytes)) std::abort();
}

// Ends the fuzzer with a visible message: a broken property is a finding.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what);
  std::abort();
}

// A run may write Dic/ and the log into the current directory, and nothing else.
inline void expect_only_outputs() {
  for (const auto& e : fs::directory_iterator(".")) {
    const std::string name = e.path().filename().string();
    if (name != "Dic" && name != "tolvex.log") fail("a file was written outside Dic/");
  }
}

}  // namespace tolvex::fuzz

#define TOLVEX_FUZZ_TARGET(tag)                                                       \
  static void fuzz_one(std::span<const std::uint8_t> input);                          \
  extern "C" int LLVMFuzzerInitialize(int*, char***) {                                \
    ::tolvex::fuzz::enter_scratch_dir(tag);                                           \
    return 0;                                                                         \
  }                                                                                   \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
    const std::span<const std::uint8_t> input(data, size);                            \
    fuzz_one(input);                                                                  \
    std::error_code ec;                                                               \
    std::filesystem::remove_all("Dic", ec);                                           \
    std::filesystem::remove("tolvex.log", ec);                                        \
    return 0;                                                                         \
  }                                                                                   \
  static void fuzz_one(std::span<const std::uint8_t> input)
