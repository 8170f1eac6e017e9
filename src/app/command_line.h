// The command line: option letters (only the second character counts, either
// case), then one to three positional parameters: catalog [subdir [newdir]].
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "components/run_options.h"

namespace tolvex {

// What the run does: convert one book (the command line of old), look at
// one book (--list, the same parameters), or convert every book below the
// folders given (--books DIR...).
enum class RunMode { CONVERT, LIST, BOOKS };

struct CommandLine {
  RunOptions options;
  RunMode mode = RunMode::CONVERT;
  std::vector<std::string> positional;  // 1..3 when valid; --books: the folders, at least one
};

// nullopt when the usage text must be shown.
std::optional<CommandLine> parse_command_line(int argc, const char* const* argv);

// Banner and usage text, console only.
void print_usage();
// "Options:" and one piece per flag set, through msg_printf.
void print_options(const RunOptions& options);
// "Time elapsed: %d:%02d\n" of end - start.
void print_elapsed(long long end, long long start);

}  // namespace tolvex
