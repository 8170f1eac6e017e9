// The library run: every book below the folders given, converted in turn
// into one Dic/, in one log frame, with a summary at the end.
#pragma once

#include "app/command_line.h"

namespace tolvex {

// Exit status of a library run in which a subbook failed or was refused, or
// a folder or a book could not be read.
inline constexpr int LIBRARY_INCOMPLETE = 2;

// Converts the books; returns 0 when every subbook of every book was written
// without a failure, else LIBRARY_INCOMPLETE.
int run_library(const CommandLine& cl);

}  // namespace tolvex
