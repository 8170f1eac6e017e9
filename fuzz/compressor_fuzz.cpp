// Compressing any chunk with either search and decoding it again gives the
// chunk back exactly, in at most one token per byte; the hash search writes
// the tokens of the literal algorithm.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "components/compressor.h"
#include "components/compressor_reference.h"
#include "fuzz_support.h"

using namespace tolvex;

namespace {
const std::unique_ptr<ChunkCompressor> g_compressor = std::make_unique<ChunkCompressor>();
const std::unique_ptr<reference::LiteralHashCompressor> g_literal =
    std::make_unique<reference::LiteralHashCompressor>();
std::vector<std::uint8_t> g_tokens(MAX_TOKEN_BYTES + 3);

void round_trip(const std::uint8_t* chunk, std::size_t n, SearchKind search) {
  const std::uint8_t fill = choose_fill_byte(chunk, n < WINDOW_SIZE ? n : WINDOW_SIZE);
  std::memset(g_compressor->buffer(), fill, WINDOW_SIZE);
  std::memcpy(g_compressor->chunk(), chunk, n);
  // Bytes behind the chunk must not matter: fill the look-ahead room with noise.
  std::memset(g_compressor->chunk() + n, 0x5A, CHUNK_BYTES + LOOKAHEAD_BYTES - n);
  const std::uint8_t guard = 0xC3;
  g_tokens[3 * n] = guard;
  const std::size_t d = g_compressor->compress_chunk(n, search, g_tokens.data());
  if (d % 3 != 0) fuzz::fail("token bytes not a multiple of 3");
  if (d == 0 || d > 3 * n) fuzz::fail("token count outside 1..n");
  if (g_tokens[3 * n] != guard) fuzz::fail("tokens written past 3 * n bytes");
  std::span<const std::uint8_t> tokens(g_tokens.data(), d);
  if (decoded_length(tokens) != n) fuzz::fail("decoded length differs from the chunk");
  for (std::size_t t = 0; t < d; t += 3) {
    if (token_offset(&g_tokens[t]) >= static_cast<unsigned>(WINDOW_SIZE)) fuzz::fail("offset outside the window");
  }
  std::vector<std::uint8_t> out;
  if (!decompress_chunk(fill, tokens, n, out)) fuzz::fail("own tokens do not decode");
  if (out.size() != n || std::memcmp(out.data(), chunk, n) != 0) fuzz::fail("round trip changed the chunk");
  if (search == SearchKind::hash) {
    const std::vector<std::uint8_t> literal = g_literal->compress(g_compressor->buffer(), n);
    if (literal.size() != d || std::memcmp(literal.data(), g_tokens.data(), d) != 0) {
      fuzz::fail("hash search tokens differ from the literal algorithm's");
    }
  }
}
}  // namespace

// Byte 0 chooses the hash search, and the scan search too when bit 1 is set
// (the scan walks the whole window for every byte, so it takes the first
// 8192 bytes only: enough to slide the window past the fill bytes); the rest
// is the chunk. (Token streams of any bytes are decoded by the data-file
// target, inside the files it reads.)
TOLVEX_FUZZ_TARGET("compressor") {
  if (input.size() < 2) return;
  const std::size_t n = input.size() - 1 > CHUNK_BYTES ? CHUNK_BYTES : input.size() - 1;
  round_trip(input.data() + 1, n, SearchKind::hash);
  if ((input[0] & 2) != 0) round_trip(input.data() + 1, n < 8192 ? n : 8192, SearchKind::scan);
}
