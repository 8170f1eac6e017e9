// Support for end-to-end tests: a scratch directory per test, running the
// real tolvex binary in it, reading files back, and the pages a package must
// hold for a generated book (references moved by the merged numbering).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "scratch_dir.h"
#include "testbook.h"

namespace tolvex::e2e {

namespace fs = std::filesystem;

struct RunResult {
  int status = -1;
  std::string output;  // standard output and standard error
};

// Runs tolvex with the arguments in `cwd`. With `seconds` (POSIX only) the
// run is killed after that time and may write no file over 64 MiB: a hang
// or an endless write fails the test instead of stalling it or filling the disk.
RunResult run_tolvex_in(const fs::path& cwd, const std::vector<std::string>& args, int seconds = 0);

std::vector<std::uint8_t> read_file(const fs::path& path);
std::string read_text(const fs::path& path);
// Every regular file below dir, by relative path, with its bytes.
std::map<std::string, std::vector<std::uint8_t>> read_tree(const fs::path& dir);

using testing_support::ScratchDir;

// Where a subbook's components land in the package's single page space.
struct MergedNumbering {
  std::int32_t graphic_shift = 0;
  std::int32_t sound_shift = 0;
  std::uint32_t graphic_start = 0;
  std::uint32_t sound_start = 0;
  bool graphic_merged = false;
  bool sound_merged = false;
};
MergedNumbering merged_numbering(const testbook::GeneratedSubbook& subbook);

// The pages a component's data file must decompress to.
std::vector<std::uint8_t> expected_pages(const testbook::GeneratedSubbook& subbook,
                                         const testbook::Component& component, const MergedNumbering& numbering);

// The package file name of each component that `selection` writes, in index
// order ("" for components that are not written).
std::vector<std::string> package_names(const testbook::GeneratedSubbook& subbook, int selection);

}  // namespace tolvex::e2e
