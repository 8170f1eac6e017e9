#include "components/compressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Compresses `data` the way the data file writer does: fill byte from the
// first 4080 bytes (or all of them), history set to it.
struct Compressed {
  std::uint8_t fill = 0;
  Bytes tokens;
};

Compressed compress(ChunkCompressor& c, const Bytes& data, SearchKind search) {
  Compressed r;
  r.fill = choose_fill_byte(data.data(), std::min<std::size_t>(data.size(), WINDOW_SIZE));
  std::memset(c.buffer(), r.fill, WINDOW_SIZE);
  std::memcpy(c.chunk(), data.data(), data.size());
  r.tokens.resize(MAX_TOKEN_BYTES);
  r.tokens.resize(c.compress_chunk(data.size(), search, r.tokens.data()));
  return r;
}

// Japanese-like text: two-byte JIS codes (kana and kanji rows) drawn from a
// small vocabulary with a skewed distribution, with line and entry escapes.
Bytes text_like(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Bytes> words(300);
  for (auto& w : words) {
    const int chars = 1 + static_cast<int>(rng() % 5);
    for (int i = 0; i < chars; ++i) {
      const bool kana = rng() % 3 != 0;
      w.push_back(static_cast<std::uint8_t>(kana ? 0x24 + rng() % 2 : 0x30 + rng() % 0x20));
      w.push_back(static_cast<std::uint8_t>(0x21 + rng() % (kana ? 0x53 : 0x5E)));
    }
  }
  Bytes out;
  while (out.size() < n) {
    const std::size_t r = rng() % 1000;
    if (r < 20) {
      out.insert(out.end(), {0x1F, 0x0A});  // line end
    } else if (r < 25) {
      out.insert(out.end(), {0x1F, 0x41, 0x01, 0x00});  // entry start
    } else {
      const auto& w = words[(r * r) % words.size()];  // low indexes are more frequent
      out.insert(out.end(), w.begin(), w.end());
    }
  }
  out.resize(n);
  return out;
}

Bytes random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

Bytes periodic(std::size_t n, std::size_t period) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>((i % period) * 7 + 3);
  return out;
}

std::array<std::uint8_t, 3> token_at(const Bytes& tokens, std::size_t i) {
  return {tokens[3 * i], tokens[3 * i + 1], tokens[3 * i + 2]};
}

// The scan search exactly as the format's encoder describes it, with the
// shift table rebuilt for every length: the oracle for the compressor's
// incremental shift table.
Bytes reference_scan(const std::uint8_t* b, std::size_t n) {
  Bytes out;
  const std::size_t end = WINDOW_SIZE + n;
  std::size_t p = WINDOW_SIZE;
  while (p < end - 1) {
    const std::size_t m = p + MAX_MATCH < end ? MAX_MATCH : end - p - 1;
    std::size_t x = p - WINDOW_SIZE;
    while (x < p && b[x] != b[p]) ++x;
    std::size_t pos = 0, len = 0;
    if (x < p) {
      pos = x;
      len = 1;
      for (std::size_t i = 2; i <= m; ++i) {
        std::array<std::size_t, 256> t;
        t.fill(i);
        for (std::size_t k = 0; k + 2 <= i; ++k) t[b[p + k]] = i - 1 - k;
        bool found = false;
        while (x < p) {
          std::ptrdiff_t j = static_cast<std::ptrdiff_t>(i) - 1;
          while (j >= 0 && b[x + j] == b[p + j]) --j;
          if (j < 0) {
            found = true;
            break;
          }
          x += t[b[x + j]];
        }
        if (!found) break;
        pos = x;
        len = i;
      }
    }
    const std::size_t offset = len ? pos - (p - WINDOW_SIZE) : 0;
    out.insert(out.end(), {static_cast<std::uint8_t>(offset >> 4),
                           static_cast<std::uint8_t>(((offset & 15) << 4) | len), b[p + len]});
    p += len + 1;
  }
  if (p == end - 1) out.insert(out.end(), {0, 0, b[p]});
  return out;
}

TEST(ChooseFillByte, MostFrequentValueWinsAndTiesGoToTheLowest) {
  Bytes data(100, 0x20);
  std::fill(data.begin(), data.begin() + 50, 0x00);
  EXPECT_EQ(choose_fill_byte(data.data(), data.size()), 0x00);
  data[0] = 0x20;
  EXPECT_EQ(choose_fill_byte(data.data(), data.size()), 0x20);
  // Only the first m bytes count.
  EXPECT_EQ(choose_fill_byte(data.data() + 1, 49), 0x00);
  Bytes values(256);
  for (int i = 0; i < 256; ++i) values[i] = static_cast<std::uint8_t>(255 - i);
  EXPECT_EQ(choose_fill_byte(values.data(), values.size()), 0x00);
}

TEST(CompressChunk, ZeroPageGivesFullLengthCopies) {
  ChunkCompressor c;
  const Bytes zeros(2048, 0);
  const Compressed hash = compress(c, zeros, SearchKind::hash);
  EXPECT_EQ(hash.fill, 0);
  ASSERT_EQ(hash.tokens.size(), 128u * 3);
  for (std::size_t i = 0; i < 128; ++i) EXPECT_EQ(token_at(hash.tokens, i), (std::array<std::uint8_t, 3>{0xFE, 0xFF, 0x00}));
  // Every position with 15 bytes after it replaced the one before in a single
  // slot; only the 12 entered near the end (fewer than 15 bytes left) took
  // slots of their own.
  EXPECT_EQ(c.used_slots(), 13u);

  const Compressed scan = compress(c, zeros, SearchKind::scan);
  ASSERT_EQ(scan.tokens.size(), 128u * 3);
  for (std::size_t i = 0; i < 128; ++i) EXPECT_EQ(token_at(scan.tokens, i), (std::array<std::uint8_t, 3>{0x00, 0x0F, 0x00}));
}

TEST(CompressChunk, RampPageGivesTheDocumentedTokens) {
  ChunkCompressor c;
  Bytes ramp(2048);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(i);
  const Compressed hash = compress(c, ramp, SearchKind::hash);
  const Compressed scan = compress(c, ramp, SearchKind::scan);
  EXPECT_EQ(hash.fill, 0);
  EXPECT_EQ(hash.tokens.size(), 367u * 3);
  EXPECT_EQ(scan.tokens.size(), 367u * 3);
  // Hash: a 1-byte copy of the last history byte via the latest-byte table.
  EXPECT_EQ(token_at(hash.tokens, 0), (std::array<std::uint8_t, 3>{0xFE, 0xF1, 0x01}));
  // Scan: a 1-byte copy of the oldest history byte.
  EXPECT_EQ(token_at(scan.tokens, 0), (std::array<std::uint8_t, 3>{0x00, 0x01, 0x01}));
}

TEST(CompressChunk, RoundTripsWithBothSearchesAndKeepsTheTokenBounds) {
  ChunkCompressor c;
  std::vector<Bytes> inputs;
  for (std::size_t pages : {1u, 2u, 7u, 16u}) {
    inputs.push_back(random_bytes(pages * 2048, static_cast<unsigned>(pages)));
    inputs.push_back(text_like(pages * 2048, static_cast<unsigned>(pages)));
    inputs.push_back(periodic(pages * 2048, 3 + pages * 11));
  }
  inputs.push_back(periodic(32768, 4079));  // repeats just inside the window
  inputs.push_back(periodic(32768, 4081));  // repeats just outside it
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const Bytes& data = inputs[i];
    for (SearchKind search : {SearchKind::hash, SearchKind::scan}) {
      SCOPED_TRACE(testing::Message() << "input " << i << (search == SearchKind::hash ? " hash" : " scan"));
      const Compressed z = compress(c, data, search);
      ASSERT_EQ(z.tokens.size() % 3, 0u);
      EXPECT_LE(z.tokens.size() / 3, data.size());
      EXPECT_EQ(z.tokens.back(), data.back());
      Bytes out;
      ASSERT_TRUE(decompress_chunk(z.fill, z.tokens, data.size(), out));
      EXPECT_EQ(out, data);
    }
  }
}

TEST(CompressChunk, ScanSearchFollowsTheShiftTableWalk) {
  ChunkCompressor c;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    for (const Bytes& data : {text_like(8192, seed), periodic(6144, 5 * seed + 1)}) {
      const Compressed z = compress(c, data, SearchKind::scan);
      // The compressor's buffer still holds exactly what was compressed.
      EXPECT_EQ(z.tokens, reference_scan(c.buffer(), data.size()));
    }
  }
}

TEST(CompressChunk, OutputIsIndependentOfEarlierChunks) {
  ChunkCompressor used, fresh;
  const Bytes text = text_like(32768, 9);
  compress(used, random_bytes(32768, 4), SearchKind::hash);
  compress(used, text_like(4096, 5), SearchKind::scan);
  for (SearchKind search : {SearchKind::hash, SearchKind::scan}) {
    EXPECT_EQ(compress(used, text, search).tokens, compress(fresh, text, search).tokens);
  }
}

// Chooses each byte so that the new three-byte string hashes to a slot no
// earlier string hashed to: every insertion then opens a slot, and the table
// runs out of EMPTY slots well inside one chunk.
Bytes distinct_trigrams(std::size_t n) {
  std::vector<bool> home(HASH_SLOTS);
  Bytes b(n);
  b[0] = 1;
  b[1] = 2;
  unsigned start = 12345;
  for (std::size_t x = 0; x + 2 < n; ++x, start += 7) {
    int chosen = -1;
    for (unsigned k = 0; k < 256 && chosen < 0; ++k) {
      const unsigned v = (k * 37 + start) & 255;
      const unsigned h = (((b[x] * 128u + b[x + 1]) * 128u + v) * 128u) % HASH_SLOTS;
      if (!home[h]) {
        home[h] = true;
        chosen = static_cast<int>(v);
      }
    }
    b[x + 2] = static_cast<std::uint8_t>(chosen >= 0 ? chosen : (start * 2654435761u) >> 24);
  }
  return b;
}

TEST(CompressChunk, FullHashTableEndsTheProbeAndStillRoundTrips) {
  ChunkCompressor c;
  const Bytes data = distinct_trigrams(32768);
  // After 12 pages no slot is EMPTY; every later search probes a full table.
  compress(c, Bytes(data.begin(), data.begin() + 12 * 2048), SearchKind::hash);
  EXPECT_EQ(c.used_slots(), static_cast<std::size_t>(HASH_SLOTS));
  const Compressed z = compress(c, data, SearchKind::hash);
  EXPECT_EQ(c.used_slots(), static_cast<std::size_t>(HASH_SLOTS));
  Bytes out;
  ASSERT_TRUE(decompress_chunk(z.fill, z.tokens, data.size(), out));
  EXPECT_EQ(out, data);
}

// The length of the first token that starts at or after `at` (chunk offset),
// or -1.
int copy_length_of_token_starting_from(const Bytes& tokens, std::size_t at) {
  std::size_t q = 0;
  for (std::size_t i = 0; i < tokens.size(); i += 3) {
    if (q >= at) return static_cast<int>(token_length(&tokens[i]));
    q += token_length(&tokens[i]) + 1;
  }
  return -1;
}

TEST(CompressChunk, ReplacedPositionLeavesTheTableWhenTheOlderOneDoes) {
  // A 30-byte string at chunk offsets 100 (only in some inputs), 2000 and
  // 5000, in random filler. At 2000 the newer copies take the slots of the
  // older ones; when the older ones leave the window (at 4180 on), their
  // slots are marked DELETED although they hold the newer positions. So at
  // 5000 the hash search finds no copy of 3 or more bytes, although the
  // string at 2000 is still inside the window.
  Bytes s = random_bytes(30, 77);
  auto build = [&](bool first_copy) {
    Bytes data = random_bytes(8192, 78);
    if (first_copy) std::copy(s.begin(), s.end(), data.begin() + 100);
    std::copy(s.begin(), s.end(), data.begin() + 2000);
    std::copy(s.begin(), s.end(), data.begin() + 5000);
    return data;
  };
  ChunkCompressor c;
  const Bytes with_replacement = build(true);
  const Bytes without_replacement = build(false);
  const Compressed quirk = compress(c, with_replacement, SearchKind::hash);
  const Compressed plain = compress(c, without_replacement, SearchKind::hash);
  const Compressed scan = compress(c, with_replacement, SearchKind::scan);
  // Random filler gives short tokens, so one starts within the string's first bytes.
  EXPECT_LE(copy_length_of_token_starting_from(quirk.tokens, 5000), 2);
  EXPECT_EQ(copy_length_of_token_starting_from(plain.tokens, 5000), 15);
  EXPECT_EQ(copy_length_of_token_starting_from(scan.tokens, 5000), 15);
  Bytes out;
  ASSERT_TRUE(decompress_chunk(quirk.fill, quirk.tokens, with_replacement.size(), out));
  EXPECT_EQ(out, with_replacement);
}

TEST(CompressChunk, PinnedOutputForTextLikeChunks) {
  // The exact token streams are part of what the converter produces: a
  // change here changes every package. FNV-1a of the streams.
  auto fnv = [](const Bytes& b) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t v : b) h = (h ^ v) * 1099511628211ull;
    return h;
  };
  ChunkCompressor c;
  const Bytes text = text_like(32768, 2024);
  const Compressed hash = compress(c, text, SearchKind::hash);
  const Compressed scan = compress(c, text, SearchKind::scan);
  EXPECT_EQ(hash.tokens.size(), 12120u);
  EXPECT_EQ(fnv(hash.tokens), 3221650601448668346ull);
  EXPECT_EQ(scan.tokens.size(), 11976u);
  EXPECT_EQ(fnv(scan.tokens), 6154528965779670163ull);
}

TEST(CompressChunk, RejectsSizesOutsideOneChunk) {
  ChunkCompressor c;
  Bytes tokens(MAX_TOKEN_BYTES + 3);
  EXPECT_EQ(c.compress_chunk(0, SearchKind::hash, tokens.data()), 0u);
  EXPECT_EQ(c.compress_chunk(CHUNK_BYTES + 1, SearchKind::scan, tokens.data()), 0u);
  // One byte: a single literal.
  std::memset(c.buffer(), 0, WINDOW_SIZE);
  c.chunk()[0] = 0x5A;
  ASSERT_EQ(c.compress_chunk(1, SearchKind::hash, tokens.data()), 3u);
  EXPECT_EQ(token_at(tokens, 0), (std::array<std::uint8_t, 3>{0x00, 0x00, 0x5A}));
}

TEST(DecompressChunk, CopyMayRunIntoTheBytesItAppends) {
  const Bytes tokens = {0xFE, 0xF3, 0x42};
  Bytes out;
  ASSERT_TRUE(decompress_chunk(0x41, tokens, 4, out));
  EXPECT_EQ(out, (Bytes{0x41, 0x41, 0x41, 0x42}));
}

TEST(DecompressChunk, RejectsMalformedStreams) {
  Bytes out{1, 2, 3};
  EXPECT_FALSE(decompress_chunk(0, Bytes{0xFF, 0x03, 0x00}, 4, out));  // offset 4080
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(decompress_chunk(0, Bytes{0xFE, 0xF3, 0x42}, 5, out));  // decodes to 4, not 5
  EXPECT_FALSE(decompress_chunk(0, Bytes{0xFE, 0xF3, 0x42, 0x00}, 4, out));  // partial token
  EXPECT_TRUE(decompress_chunk(0, Bytes{}, 0, out));
  EXPECT_EQ(decoded_length(Bytes{0x00, 0x0F, 0x00, 0x00, 0x00, 0x01, 0x07}), 17u);
}

TEST(DecompressChunk, ArbitraryTokensNeverLeaveTheBuffer) {
  // Under the sanitizers this catches any out-of-bounds access.
  std::mt19937 rng(5);
  Bytes out;
  for (int round = 0; round < 200; ++round) {
    Bytes tokens = random_bytes(3 * (1 + rng() % 3000), rng());
    for (std::size_t i = 0; i < tokens.size(); i += 3) tokens[i] &= 0xFE;  // offsets mostly valid
    const std::size_t length = decoded_length(tokens);
    const bool ok = decompress_chunk(static_cast<std::uint8_t>(round), tokens, length, out);
    bool offsets_valid = true;
    for (std::size_t i = 0; i < tokens.size(); i += 3) offsets_valid &= token_offset(&tokens[i]) < 4080;
    EXPECT_EQ(ok, offsets_valid);
    if (ok) {
      EXPECT_EQ(out.size(), length);
    }
  }
}

}  // namespace
}  // namespace tolvex
