// The run flags read by the writers: three selection bits, travelling as one
// integer, and the two switches that change how data files are written.
#pragma once

namespace tolvex {

inline constexpr int DO_OPTIONAL = 1;  // -o: optional search indexes
inline constexpr int DO_GRAPHICS = 2;  // -g: colour graphics
inline constexpr int DO_SOUND = 4;     // -s: sound

struct RunOptions {
  int selection = 0;     // sum of DO_OPTIONAL, DO_GRAPHICS, DO_SOUND
  bool NO_HASH = false;  // -n: compress with the window scan instead of the hash search
  bool DO_RAW = false;   // -r: store every chunk uncompressed
  // Threads that compress chunks; 0 = one per usable processor. Not on the command line.
  int threads = 0;
};

}  // namespace tolvex
