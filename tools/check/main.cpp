// tolvex-check: checks VORQDATA data files, or a whole package against its
// source book (tolvex-check --help).
#include <cstdio>
#include <string>
#include <vector>

#include "check.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string out, err;
  const int status = tolvex::run_check(args, out, err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return status;
}
