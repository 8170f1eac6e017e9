// tolvex-check: checks VORQDATA data files, or a whole package against its
// source book (tolvex-check --help).
#include <cstdio>
#include <string>
#include <vector>

#include "check.h"
#include "platform/platform.h"

namespace {
int check_main(const std::vector<std::string>& args) {
  std::string out, err;
  const int status = tolvex::run_check(args, out, err);
  tolvex::platform::console_write(out.data(), out.size());
  std::fwrite(err.data(), 1, err.size(), stderr);
  return status;
}
}  // namespace

#ifdef _WIN32
// The command line in UTF-16 (-municode), so paths in any script arrive whole.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args = tolvex::platform::utf8_arguments(argc, argv);
  args.erase(args.begin());
  return check_main(args);
}
#else
int main(int argc, char** argv) { return check_main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
