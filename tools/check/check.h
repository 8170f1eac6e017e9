// The package checker: reads data files back and tells whether each is
// sound. One summary line per file; the exit status says whether any failed.
//
// run_check takes the command line without the program name: a list of
// VORQDATA files, or --book CATALOG [--subbook DIR] PACKAGE_DIR for a whole
// package checked against its source book (book_check.h), or --help.
#pragma once

#include <string>
#include <vector>

namespace tolvex {

struct FileVerdict {
  bool ok = false;
  std::string line;  // the summary line, without its line end
};

// "NAME: code 0x01, 3 chunks, 35 pages (12..46): OK" or "NAME: FAULT: ...".
FileVerdict check_data_file(const std::string& path);

// The usage text printed by --help and after a bad command line.
extern const char* const CHECK_USAGE;

// Exit status: 0 when every file is sound, 1 when any is not, 2 for a bad
// command line. Summary lines (and --help) go to `out`, the usage text after
// a bad command line to `err`.
int run_check(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace tolvex
