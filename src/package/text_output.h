// Writing the package's small text files (DICPROF.INI, EXINFO.INI, the .REG
// script). Lines are collected in memory and end in CR LF on every platform;
// the file is then written in binary mode in one go, so a short write or a
// failed close is noticed and reported.
#pragma once

#include <string>
#include <string_view>

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

// Creates (or truncates) path and writes the lines. Returns 0; -1 when the
// file cannot be created (silently: the caller's progress line has named it)
// or when writing or closing fails ("write() failed. (%s)\n" or
// "close() failed. (%s)\n" with the path).
int write_text_file(const std::string& path, const TextLines& lines);

}  // namespace tolvex
