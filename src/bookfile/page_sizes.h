// The units every layer counts in: the book's page, the chunk that a data
// file compresses at a time, and the compressor's sliding window.
#pragma once

namespace tolvex {

// A page of a source file, numbered from 1.
inline constexpr int PAGE_SIZE = 2048;
// A chunk of a data file: up to 16 pages, compressed (or copied) as one.
inline constexpr int PAGES_PER_CHUNK = 16;
inline constexpr int CHUNK_BYTES = PAGES_PER_CHUNK * PAGE_SIZE;
// The chunk compressor's window: tokens reach back at most this far (their
// 12-bit offsets run from 0 to WINDOW_SIZE - 1).
inline constexpr int WINDOW_SIZE = 4080;

}  // namespace tolvex
