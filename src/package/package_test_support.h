// Fixture of the package writers' tests: each test runs in a fresh scratch
// directory (the writers use paths relative to it) with the console captured.
#pragma once

#include <filesystem>
#include <string>

#include "components/package_description.h"
#include "scratch_dir.h"

namespace tolvex::testing_support {

class PackageDirTest : public ScratchCwdTest {
 protected:
  static std::string read_file(const std::string& path) { return read_file_text(path); }
  static void write_file(const std::string& path, const std::string& bytes) { write_file_text(path, bytes); }
  static void make_package_dir(const std::string& out_name) { std::filesystem::create_directories("Dic/" + out_name); }
  // The description the pipeline would make for the package Dic/<out_name>.
  static PackageDescription package(const std::string& out_name, const std::string& title = "T",
                                    std::uint32_t dic_id = 1) {
    PackageDescription package;
    package.out_name = out_name;
    package.dir = "Dic/" + out_name;
    package.reg_path = package.dir + ".REG";
    package.title = title;
    package.dic_id = dic_id;
    return package;
  }
};

}  // namespace tolvex::testing_support
