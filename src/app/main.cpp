#include "app/run.h"

#ifdef _WIN32
#include <string>
#include <vector>

#include "platform/platform.h"

// Windows hands the command line over in UTF-16 (linked with -municode): a
// path in any script arrives whole, where the narrow argv would hold "?" for
// every character outside the ANSI code page.
int wmain(int argc, wchar_t** argv) {
  const std::vector<std::string> args = tolvex::platform::utf8_arguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& arg : args) pointers.push_back(arg.c_str());
  pointers.push_back(nullptr);
  return tolvex::run_tolvex(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return tolvex::run_tolvex(argc, argv); }
#endif
