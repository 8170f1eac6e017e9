// Writing the package's small text files (DICPROF.INI, EXINFO.INI, the .REG
// script). Lines are collected in memory and end in CR LF on every platform;
// the file is then written in binary mode in one go, so a short write or a
// failed flush, close or rename is noticed and reported.
#pragma once

#include <string>
#include <string_view>

#include "platform/output_file.h"

namespace tolvex {

class TextLines {
 public:
  // Appends the pieces followed by CR LF.
  TextLines& line(std::string_view text);
  TextLines& line(std::string_view a, std::string_view b);
  TextLines& line(std::string_view a, std::string_view b, std::string_view c);
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Writes the lines to path (through a temporary file that replaces it when
// complete). Returns 0; -1 after "Can't create \"%s\"\n" when the file
// cannot be created, or "write() failed. (%s)\n" with the path, or a
// failed commit's message (commit_output); the previous file under that
// name, if any, is then left as it was.
int write_text_file(const std::string& path, const TextLines& lines);

// Commits a package file: 0, or -1 after "%s failed. (%s)\n" with the call
// that failed ("fsync()", "close()", "rename()") and the path.
int commit_output(platform::OutputFile& out);

}  // namespace tolvex
