// Test helpers for the package writers: every test runs in a fresh temporary
// directory (the writers use paths relative to the current directory) with
// the console captured, and the old directory is restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/messages.h"

namespace tolvex::testing_support {

class PackageDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           (std::string("tolvex_package_") + info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    set_console_sink([this](std::string_view s) { console_ += s; });
  }
  void TearDown() override {
    set_console_sink(nullptr);
    std::filesystem::current_path(old_cwd_);
    std::filesystem::remove_all(dir_);
  }

  static std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }
  static void make_package_dir(const std::string& out_name) {
    std::filesystem::create_directories("Dic/" + out_name);
  }
  // A symbolic link to /dev/full makes every write fail with "disk full".
  static bool link_to_dev_full(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists("/dev/full", ec)) return false;
    std::filesystem::create_symlink("/dev/full", path, ec);
    return !ec;
  }

  std::filesystem::path old_cwd_, dir_;
  std::string console_;
};

}  // namespace tolvex::testing_support
