// The package checker: reads data files back and tells whether each is
// sound. One summary line per file; the exit status says whether any failed.
//
// run_check takes the command line without the program name. Today it knows
// one mode, a list of VORQDATA files; further modes (a whole package checked
// against its source book) come in as leading options handled here.
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

// Exit status: 0 when every file is sound, 1 when any is not, 2 for a bad
// command line. Summary lines go to `out`, the usage text to `err`.
int run_check(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace tolvex
