// Support for end-to-end tests: running the real tolvex binary in a scratch
// directory, and the file names and pages a package must hold for a generated
// book (references moved by the merged numbering).
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

// Runs tolvex with the arguments in `cwd`. With `book` the run fails the test
// when it changes anything below that directory (the source is only read).
// With `seconds` (POSIX only) the run is killed after that time and may write
// no file over 64 MiB: a hang or an endless write fails the test instead of
// stalling it or filling the disk.
RunResult run_tolvex_in(const fs::path& cwd, const std::vector<std::string>& args, const fs::path& book = {},
                        int seconds = 0);

// Console or log text with the times of the run (Start:/Stop: lines, the
// elapsed time) replaced by T and E.
std::string without_times(std::string text);

using namespace testing_support;

// Where a subbook's components land in the package's single page space.
// A start of 0 leaves the component in the text file's numbering.
struct MergedNumbering {
  std::int32_t graphic_shift = 0, sound_shift = 0;
  std::uint32_t graphic_start = 0, sound_start = 0;
};
MergedNumbering merged_numbering(const testbook::GeneratedSubbook& subbook);

// The pages a component's data file must decompress to.
std::vector<std::uint8_t> expected_pages(const testbook::GeneratedSubbook& subbook,
                                         const testbook::Component& component, const MergedNumbering& numbering);

// The package file name of each component that `selection` (DO_* flags)
// writes, in index order ("" for components that are not written).
std::vector<std::string> package_names(const testbook::GeneratedSubbook& subbook, int selection);

}  // namespace tolvex::e2e
