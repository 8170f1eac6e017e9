// The chunk compressor of VORQDATA files: a sliding window of 4080 bytes,
// filled with one chosen byte before each chunk, and 3-byte tokens
// (12-bit offset into the window, 4-bit copy length 0..15, one literal byte).
//
// Token bytes: [offset 11..4] [offset 3..0 | length] [literal]. Decoding starts
// from 4080 fill bytes; each token appends `length` bytes copied from
// S[k - 4080 + offset ...] one at a time (a copy may overlap what it appends),
// then the literal.
//
// The encoder has two searches that write the same format: the hash search
// (default: a table of three-byte strings plus tables of the latest byte pair
// and the latest byte) and the scan search (NO_HASH: a shift-table walk over
// the whole window). Both are deterministic; their exact output is part of
// what the converter produces, so neither may be "improved" in ways that
// change a single token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "bookfile/page_sizes.h"

namespace tolvex {

inline constexpr int MAX_MATCH = 15;
inline constexpr int TOKEN_BYTES = 3;
inline constexpr int MAX_TOKEN_BYTES = TOKEN_BYTES * CHUNK_BYTES;
// The compressor's buffer: the history, a full chunk and one look-ahead page
// that a caller may keep behind the chunk (it is never read while compressing).
inline constexpr int LOOKAHEAD_BYTES = PAGE_SIZE;
inline constexpr int COMPRESSOR_BUFFER_BYTES = WINDOW_SIZE + CHUNK_BYTES + LOOKAHEAD_BYTES;

// Slots of the hash search's table of three-byte strings.
inline constexpr int HASH_SLOTS = 20443;

// The hash search's key of the three bytes at each position x of b from
// `from` to `to` - 1, into out[x]: (((b[x] * 128 + b[x+1]) * 128 + b[x+2])
// * 128) % HASH_SLOTS. Reads b[from] .. b[to + 1].
void hash_keys(const std::uint8_t* b, std::uint32_t from, std::uint32_t to, std::uint16_t* out);

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

  // The buffer B (COMPRESSOR_BUFFER_BYTES): WINDOW_SIZE history bytes, then
  // room for a chunk and a look-ahead page.
  std::uint8_t* buffer();
  std::uint8_t* chunk() { return buffer() + WINDOW_SIZE; }

  // Compresses the n chunk bytes at chunk() (history already filled with the
  // fill byte) into `tokens` (at least 3 * n bytes); returns the byte count,
  // always 3 x the number of tokens. n = 0 or n > CHUNK_BYTES gives 0.
  std::size_t compress_chunk(std::size_t n, SearchKind search, std::uint8_t* tokens);

  // Hash slots not EMPTY after the last hash-search chunk (for diagnostics
  // and tests of the table's fill level).
  std::size_t used_slots() const;

 private:
  struct Tables;
  std::unique_ptr<Tables> tables_;
};

// The 12-bit offset of the token at t.
inline unsigned token_offset(const std::uint8_t* t) { return (unsigned{t[0]} << 4) | (t[1] >> 4); }
inline unsigned token_length(const std::uint8_t* t) { return t[1] & 0x0Fu; }

// Bytes a token stream decodes to (the sum of length + 1 over its whole
// tokens; a trailing partial token is not counted).
std::size_t decoded_length(std::span<const std::uint8_t> tokens);

// Decodes a token stream into `out` (the chunk without its history); false,
// with `out` empty, when it is malformed: a partial token, an offset above
// 4079, or output other than `expected_length` bytes.
bool decompress_chunk(std::uint8_t fill_byte, std::span<const std::uint8_t> tokens, std::size_t expected_length,
                      std::vector<std::uint8_t>& out);

}  // namespace tolvex
