// Support for end-to-end tests: running the real tolvex binary in a scratch
// directory, and its console or log without the times of the run.
#pragma once

#include <filesystem>
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

}  // namespace tolvex::e2e
