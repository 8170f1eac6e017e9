// The run sequence: command line, log framing, catalog, pipeline, "Done.".
#pragma once

namespace tolvex {

// Runs the converter in the current directory; returns the exit status (0 or 1).
int run_tolvex(int argc, const char* const* argv);

}  // namespace tolvex
