// Test support shared by every suite: a scratch directory per test (unique
// across the parallel processes CTest starts, removed afterwards), and a
// fixture that runs the test inside one with the console captured, for code
// that writes relative to the current directory (the log, Dic/...); and the
// file helpers of files.h.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <string>

#include "files.h"
#include "messages/messages.h"

namespace tolvex::testing_support {

class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<int> counter{0};
    static const unsigned process_tag = std::random_device{}();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
        ("tolvex_" + std::string(info ? info->name() : "suite") + "_" + std::to_string(process_tag) + "_" +
         std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Runs each test in a fresh scratch directory with the console captured.
class ScratchCwdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(scratch_.path());
    set_console_sink([this](std::string_view s) { console_ += s; });
  }
  void TearDown() override {
    set_console_sink(nullptr);
    std::filesystem::current_path(old_cwd_);
  }
  // The log of this directory, CR LF and all.
  static std::string log_text() { return read_file_text(LOG_FILE_NAME); }

  ScratchDir scratch_;
  std::filesystem::path old_cwd_;
  std::string console_;
};

}  // namespace tolvex::testing_support
