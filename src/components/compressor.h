// The chunk compressor of VORQDATA files: a sliding window of 4080 bytes,
// filled with one chosen byte before each chunk, and 3-byte tokens
// (12-bit offset into the window, 4-bit copy length 0..15, one literal byte).
//
// Token bytes: [offset 11..4] [offset 3..0 | length] [literal]. Decoding starts
// from 4080 fill bytes; each token appends `length` bytes copied from
// S[k - 4080 + offset ...] one at a time (a copy may overlap what it appends),
// then the literal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tolvex {

inline constexpr int WINDOW_SIZE = 4080;
inline constexpr int MAX_MATCH = 15;
inline constexpr int CHUNK_BYTES = 32768;
inline constexpr int MAX_TOKEN_BYTES = 3 * CHUNK_BYTES;

// The most frequent byte among the first m bytes; ties go to the lowest value.
std::uint8_t choose_fill_byte(const std::uint8_t* chunk, std::size_t m);

enum class SearchKind { hash, scan };

// One compressor owns its tables and buffers (allocated once, reused for
// every chunk, nothing allocated while compressing). Several compressors may
// work side by side on different chunks.
class ChunkCompressor {
 public:
  ChunkCompressor();
  ~ChunkCompressor();
  ChunkCompressor(const ChunkCompressor&) = delete;
  ChunkCompressor& operator=(const ChunkCompressor&) = delete;

  // The buffer B: WINDOW_SIZE history bytes followed by room for a chunk.
  std::uint8_t* buffer();
  std::uint8_t* chunk() { return buffer() + WINDOW_SIZE; }

  // Compresses the n chunk bytes at chunk() (history already filled with the
  // fill byte) into `tokens` (at least 3 * n bytes); returns the byte count,
  // always 3 x the number of tokens.
  std::size_t compress_chunk(std::size_t n, SearchKind search, std::uint8_t* tokens);

 private:
  struct Tables;
  std::unique_ptr<Tables> tables_;
};

// Decodes a token stream; false when it is malformed (an offset above 4079,
// or output other than `expected_length` bytes).
bool decompress_chunk(std::uint8_t fill_byte, std::span<const std::uint8_t> tokens, std::size_t expected_length,
                      std::vector<std::uint8_t>& out);

}  // namespace tolvex
