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
#include "scratch_dir.h"

namespace tolvex::testing_support {

class PackageDirTest : public ScratchCwdTest {
 protected:
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
};

}  // namespace tolvex::testing_support
