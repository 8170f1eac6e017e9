#include "check.h"

#include <cstdio>

#include "components/data_file_reader.h"

namespace tolvex {

FileVerdict check_data_file(const std::string& path) {
  FileVerdict verdict;
  DataFile file;
  std::string error;
  if (!read_data_file(path, file, error)) {
    verdict.line = path + ": FAULT: " + error;
    return verdict;
  }
  char text[160];
  std::snprintf(text, sizeof text, ": code 0x%02X, %u chunks, %zu pages (%lu..%lu): OK", file.code,
                static_cast<unsigned>(file.chunk_count), file.page_count(),
                static_cast<unsigned long>(file.first_page), static_cast<unsigned long>(file.last_page));
  verdict.ok = true;
  verdict.line = path + text;
  return verdict;
}

int run_check(const std::vector<std::string>& args, std::string& out, std::string& err) {
  if (args.empty()) {
    err += "Usage: tolvex-check FILE...\n";
    return 2;
  }
  int status = 0;
  for (const std::string& path : args) {
    const FileVerdict verdict = check_data_file(path);
    out += verdict.line;
    out += '\n';
    if (!verdict.ok) status = 1;
  }
  return status;
}

}  // namespace tolvex
