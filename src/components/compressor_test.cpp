// The chunk compressor: pinned token streams, both searches against literal
// oracles (the hash search against compressor_reference.h, the scan search
// against reference_scan below) and decoded back, and the decoder's refusals.
#include "components/compressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "components/compressor_reference.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Token = std::array<std::uint8_t, 3>;

struct Compressed {
  std::uint8_t fill = 0;
  Bytes tokens;
};

// As the data file writer does it: the fill byte of the first 4080 bytes fills the history.
Compressed compress(ChunkCompressor& c, const Bytes& data, SearchKind search) {
  Compressed r{choose_fill_byte(data.data(), std::min<std::size_t>(data.size(), WINDOW_SIZE)), Bytes(MAX_TOKEN_BYTES)};
  std::memset(c.buffer(), r.fill, WINDOW_SIZE);
  std::memcpy(c.chunk(), data.data(), data.size());
  r.tokens.resize(c.compress_chunk(data.size(), search, r.tokens.data()));
  return r;
}

Bytes decompressed(const Compressed& z, std::size_t n) {
  Bytes out;
  EXPECT_TRUE(decompress_chunk(z.fill, z.tokens, n, out));
  return out;
}

Token token_at(const Bytes& tokens, std::size_t i) { return {tokens[3 * i], tokens[3 * i + 1], tokens[3 * i + 2]}; }

// Japanese-like text: two-byte JIS codes from a skewed vocabulary, with line and entry escapes.
Bytes text_like(std::size_t n, std::mt19937& rng) {
  std::vector<Bytes> words(200 + rng() % 400);
  for (auto& w : words) {
    for (int i = 0, chars = 1 + static_cast<int>(rng() % 6); i < chars; ++i) {
      const bool kana = rng() % 3 != 0;
      w.push_back(static_cast<std::uint8_t>(kana ? 0x24 + rng() % 2 : 0x30 + rng() % 0x20));
      w.push_back(static_cast<std::uint8_t>(0x21 + rng() % (kana ? 0x53 : 0x5E)));
    }
  }
  Bytes out;
  while (out.size() < n) {
    const std::size_t r = rng() % 1000;
    const Bytes& w = r < 20 ? Bytes{0x1F, 0x0A}
        : r < 25            ? Bytes{0x1F, 0x41, 0x01, 0x00}
                            : words[(r * r) % words.size()];
    out.insert(out.end(), w.begin(), w.end());
  }
  out.resize(n);
  return out;
}

// Chunks of every kind the searches meet: text, periodic data (periods inside
// and just outside the window, so equal 15-byte strings replace each other and
// leave the window), random bytes, short runs, text repeating about a window back.
Bytes chunk_for(int i, std::mt19937& rng) {
  const std::size_t n = (i % 4 == 0 ? 16 : 1 + rng() % 16) * 2048;
  Bytes out = text_like(n, rng);
  const std::size_t periods[] = {1, 2, 3, 7, 15, 16, 100, 2047, 4079, 4080, 4081, 5000};
  Bytes unit(periods[rng() % std::size(periods)]);
  for (auto& b : unit) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : 0x41);
  for (std::size_t k = 0, v = 0; k < n; ++k) {
    if (i % 5 == 1) out[k] = unit[k % unit.size()];
    if (i % 5 == 2) out[k] = static_cast<std::uint8_t>(rng());
    if (i % 5 == 3) out[k] = static_cast<std::uint8_t>(v = rng() % 20 ? v : rng() % 3);
    if (i % 5 == 4 && k >= 4100 && rng() % 50 != 0) out[k] = out[k - 4000 - (k / 4096) % 160];
  }
  return out;
}

// hash3 as the format defines it.
unsigned key_of(unsigned b0, unsigned b1, unsigned b2) { return ((b0 * 128 + b1) * 128 + b2) * 128 % HASH_SLOTS; }

// Each byte chosen so that the new three-byte string hashes to a slot no
// earlier one did: every insertion opens a slot, the table is full after 12
// pages and every later probe ends for want of an EMPTY slot.
Bytes full_table_chunk() {
  std::vector<bool> home(HASH_SLOTS);
  Bytes data(CHUNK_BYTES);
  data[0] = 1;
  data[1] = 2;
  unsigned start = 12345;
  for (std::size_t x = 0; x + 2 < data.size(); ++x, start += 7) {
    data[x + 2] = static_cast<std::uint8_t>((start * 2654435761u) >> 24);
    for (unsigned k = 0; k < 256; ++k) {
      const unsigned v = (k * 37 + start) & 255;
      if (!home[key_of(data[x], data[x + 1], v)]) {
        home[key_of(data[x], data[x + 1], v)] = true;
        data[x + 2] = static_cast<std::uint8_t>(v);
        break;
      }
    }
  }
  return data;
}

// Three-byte strings whose keys lie 30 slots apart: each one's 30 slots fill
// up, and together they make one run of taken slots 180 long. The chunk's
// last positions (fewer than 15 bytes left, no probe limit) with the first
// string's key are entered past that run, and the copy of the last of them
// comes from one entered so.
Bytes probing_far_chunk() {
  std::vector<Bytes> string_of_key(HASH_SLOTS);
  for (unsigned b0 = 0x21; b0 < 0x7F; ++b0) {
    for (unsigned b1 = 0x21; b1 < 0x7F; ++b1) {
      for (unsigned b2 = 0x21; b2 < 0x7F; ++b2) {
        Bytes& t = string_of_key[key_of(b0, b1, b2)];
        if (t.empty())
          t = {static_cast<std::uint8_t>(b0), static_cast<std::uint8_t>(b1), static_cast<std::uint8_t>(b2)};
      }
    }
  }
  std::vector<Bytes> strings;
  for (std::size_t h = 100; strings.empty() && h + 150 < HASH_SLOTS; ++h) {
    for (std::size_t j = 0; j < 6 && !string_of_key[h + 30 * j].empty(); ++j)
      strings.push_back(string_of_key[h + 30 * j]);
    if (strings.size() < 6) strings.clear();
  }
  // Each string followed by a counter, so that no two 15-byte strings are equal.
  Bytes data;
  for (std::uint32_t i = 0; data.size() < 20000; ++i) {
    const Bytes& t = strings[i % 6];
    data.insert(data.end(), t.begin(), t.end());
    for (std::uint32_t v = i, k = 0; k < 3; ++k, v /= 90) data.push_back(static_cast<std::uint8_t>(0x80 + v % 90));
  }
  // The tail: four times the first string and a byte found nowhere else.
  for (int k = 0; k < 4; ++k) {
    data.insert(data.end(), strings[0].begin(), strings[0].end());
    data.push_back(0x20);
  }
  return data;
}

// The scan search exactly as the format's encoder describes it, with the
// shift table rebuilt for every length: the oracle for the compressor's
// incremental shift table. b: 4080 history bytes, then the n chunk bytes.
Bytes reference_scan(const std::uint8_t* b, std::size_t n) {
  Bytes out;
  const std::size_t end = WINDOW_SIZE + n;
  std::size_t p = WINDOW_SIZE;
  while (p < end - 1) {
    const std::size_t m = p + MAX_MATCH < end ? MAX_MATCH : end - p - 1;
    std::size_t x = p - WINDOW_SIZE;
    while (x < p && b[x] != b[p]) ++x;
    std::size_t pos = x, len = x < p ? 1 : 0;
    for (std::size_t i = 2; len && i <= m; ++i) {
      std::array<std::size_t, 256> t;
      t.fill(i);
      for (std::size_t k = 0; k + 2 <= i; ++k) t[b[p + k]] = i - 1 - k;
      std::ptrdiff_t j = 0;
      for (; x < p; x += t[b[x + j]]) {
        for (j = static_cast<std::ptrdiff_t>(i) - 1; j >= 0 && b[x + j] == b[p + j];) --j;
        if (j < 0) break;
      }
      if (x >= p) break;
      pos = x;
      len = i;
    }
    const std::size_t offset = len ? pos - (p - WINDOW_SIZE) : 0;
    out.insert(
        out.end(),
        {static_cast<std::uint8_t>(offset >> 4), static_cast<std::uint8_t>(((offset & 15) << 4) | len), b[p + len]});
    p += len + 1;
  }
  if (p == end - 1) out.insert(out.end(), {0, 0, b[p]});
  return out;
}

TEST(ChooseFillByte, MostFrequentValueWinsAndTiesGoToTheLowest) {
  Bytes data(100, 0x20);
  std::fill_n(data.begin(), 50, 0x00);
  EXPECT_EQ(choose_fill_byte(data.data(), 100), 0x00);
  EXPECT_EQ(choose_fill_byte(data.data() + 1, 99), 0x20);
  EXPECT_EQ(choose_fill_byte(data.data() + 1, 49), 0x00);  // only the first m bytes count
  for (int i = 0; i < 100; ++i) data[i] = static_cast<std::uint8_t>(255 - i);
  EXPECT_EQ(choose_fill_byte(data.data(), 100), 156);
}

TEST(CompressChunk, PinnedTokensOfARampPageAndAZeroPage) {
  ChunkCompressor c;
  Bytes ramp(2048);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(i);
  const Compressed ramp_scan = compress(c, ramp, SearchKind::scan);
  const Compressed ramp_hash = compress(c, ramp, SearchKind::hash);
  EXPECT_EQ(ramp_hash.fill, 0);
  ASSERT_EQ(ramp_hash.tokens.size(), 367u * 3);
  ASSERT_EQ(ramp_scan.tokens.size(), 367u * 3);
  EXPECT_EQ(token_at(ramp_hash.tokens, 0), (Token{0xFE, 0xF1, 0x01}));  // the latest history byte
  EXPECT_EQ(token_at(ramp_scan.tokens, 0), (Token{0x00, 0x01, 0x01}));  // the oldest one

  const Bytes zeros(2048, 0);
  const Compressed hash = compress(c, zeros, SearchKind::hash);
  const Compressed scan = compress(c, zeros, SearchKind::scan);
  ASSERT_EQ(hash.tokens.size(), 128u * 3);
  ASSERT_EQ(scan.tokens.size(), 128u * 3);
  for (std::size_t i = 0; i < 128; ++i) {
    EXPECT_EQ(token_at(hash.tokens, i), (Token{0xFE, 0xFF, 0x00}));
    EXPECT_EQ(token_at(scan.tokens, i), (Token{0x00, 0x0F, 0x00}));
  }
  // Each position with 15 bytes after it replaced the one before in a single
  // slot, the last 12 took slots of their own; nothing is left of the ramp chunk.
  EXPECT_EQ(c.used_slots(), 13u);
}

TEST(CompressChunk, BothSearchesMatchTheirLiteralOraclesAndRoundTrip) {
  ChunkCompressor fast;
  reference::LiteralHashCompressor literal;
  std::mt19937 rng(2024);
  for (int i = 0; i < 122; ++i) {
    const Bytes data = i == 120 ? full_table_chunk() : i == 121 ? probing_far_chunk() : chunk_for(i, rng);
    SCOPED_TRACE(testing::Message() << "chunk " << i << " (" << data.size() << " bytes)");
    const Compressed hash = compress(fast, data, SearchKind::hash);
    ASSERT_EQ(hash.tokens, literal.compress(fast.buffer(), data.size()));
    EXPECT_EQ(decompressed(hash, data.size()), data);
    EXPECT_TRUE(i != 120 || fast.used_slots() == static_cast<std::size_t>(HASH_SLOTS));  // full
    // Now and then a scan chunk in between (the hash tables must not notice),
    // cut to 8 KiB: enough to slide the window past the fill bytes.
    if (i % 8 == 3 || i == 0) {
      const Bytes part(data.begin(),
                       data.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(data.size(), 8192)));
      const Compressed scan = compress(fast, part, SearchKind::scan);
      EXPECT_EQ(scan.tokens, reference_scan(fast.buffer(), part.size()));
      EXPECT_EQ(decompressed(scan, part.size()), part);
    }
  }
  // The corpus reaches the two quirks of the table.
  EXPECT_GT(literal.replacements, 1000u);
  EXPECT_GT(literal.deleted_newer, 100u);
}

TEST(CompressChunk, RefusesSizesOutsideOneChunk) {
  ChunkCompressor c;
  Bytes tokens(MAX_TOKEN_BYTES + 3);
  EXPECT_EQ(c.compress_chunk(0, SearchKind::hash, tokens.data()), 0u);
  EXPECT_EQ(c.compress_chunk(CHUNK_BYTES + 1, SearchKind::scan, tokens.data()), 0u);
  std::memset(c.buffer(), 0, WINDOW_SIZE);
  c.chunk()[0] = 0x5A;
  ASSERT_EQ(c.compress_chunk(1, SearchKind::hash, tokens.data()), 3u);  // one byte: a single literal
  EXPECT_EQ(token_at(tokens, 0), (Token{0x00, 0x00, 0x5A}));
}

TEST(DecompressChunk, CopiesMayOverlapWhatTheyAppendAndMalformedStreamsAreRefused) {
  Bytes out;
  ASSERT_TRUE(decompress_chunk(0x41, Bytes{0xFE, 0xF3, 0x42}, 4, out));
  EXPECT_EQ(out, (Bytes{0x41, 0x41, 0x41, 0x42}));
  EXPECT_FALSE(decompress_chunk(0, Bytes{0xFF, 0x03, 0x00}, 4, out));  // offset 4080
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(decompress_chunk(0, Bytes{0xFE, 0xF3, 0x42}, 5, out));        // decodes to 4, not 5
  EXPECT_FALSE(decompress_chunk(0, Bytes{0xFE, 0xF3, 0x42, 0x00}, 4, out));  // partial token
  EXPECT_TRUE(decompress_chunk(0, Bytes{}, 0, out));
  EXPECT_EQ(decoded_length(Bytes{0x00, 0x0F, 0x00, 0x00, 0x00, 0x01, 0x07}), 17u);
}

}  // namespace
}  // namespace tolvex
