// The optimized hash search against the literal one (compressor_reference.h):
// the same tokens, byte for byte, chunk after chunk on one compressor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "components/compressor.h"
#include "components/compressor_reference.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes text_like(std::size_t n, std::mt19937& rng) {
  std::vector<Bytes> words(200 + rng() % 400);
  for (auto& w : words) {
    const int chars = 1 + static_cast<int>(rng() % 6);
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
      out.insert(out.end(), {0x1F, 0x0A});
    } else if (r < 25) {
      out.insert(out.end(), {0x1F, 0x41, 0x01, 0x00});
    } else {
      const auto& w = words[(r * r) % words.size()];
      out.insert(out.end(), w.begin(), w.end());
    }
  }
  out.resize(n);
  return out;
}

// Chunks of every kind the search meets: text, periodic data (periods inside
// and just outside the window, so equal 15-byte strings replace each other and
// leave the window), runs, random bytes, and mixtures of them.
Bytes chunk_for(int i, std::mt19937& rng) {
  const std::size_t pages = i % 5 == 0 ? 16 : 1 + rng() % 16;
  const std::size_t n = pages * 2048;
  Bytes out(n);
  switch (i % 6) {
    case 0: return text_like(n, rng);
    case 1: {
      const std::size_t periods[] = {1, 2, 3, 7, 15, 16, 100, 2047, 4079, 4080, 4081, 5000};
      const std::size_t period = periods[rng() % std::size(periods)];
      Bytes unit(period);
      for (auto& b : unit) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : 0x41);
      for (std::size_t k = 0; k < n; ++k) out[k] = unit[k % period];
      return out;
    }
    case 2:
      for (auto& b : out) b = static_cast<std::uint8_t>(rng());
      return out;
    case 3:
      for (std::size_t k = 0; k < n;) {
        const std::size_t run = 1 + rng() % 40;
        const auto v = static_cast<std::uint8_t>(rng() % 3);
        for (std::size_t j = 0; j < run && k < n; ++j) out[k++] = v;
      }
      return out;
    case 4: {
      // Text with pages repeated at distances around the window size.
      Bytes text = text_like(n, rng);
      for (std::size_t k = 4000 + rng() % 200; k < n; ++k) {
        if (rng() % 50 != 0) text[k] = text[k - 4000 - (k / 4096) % 160];
      }
      return text;
    }
    default: {
      Bytes text = text_like(n, rng);
      for (std::size_t k = 0; k < n; k += 1 + rng() % 3000) {
        const std::size_t len = std::min<std::size_t>(n - k, rng() % 600);
        std::fill(text.begin() + static_cast<std::ptrdiff_t>(k), text.begin() + static_cast<std::ptrdiff_t>(k + len),
                  static_cast<std::uint8_t>(rng() % 2 ? 0 : 0x20));
        k += len;
      }
      return text;
    }
  }
}

TEST(HashSearch, GivesTheLiteralTokensChunkAfterChunk) {
  ChunkCompressor fast;
  reference::LiteralHashCompressor literal;
  std::mt19937 rng(2024);
  Bytes tokens(MAX_TOKEN_BYTES);
  for (int i = 0; i < 120; ++i) {
    const Bytes data = chunk_for(i, rng);
    const std::uint8_t fill = choose_fill_byte(data.data(), std::min<std::size_t>(data.size(), WINDOW_SIZE));
    std::memset(fast.buffer(), fill, WINDOW_SIZE);
    std::memcpy(fast.chunk(), data.data(), data.size());
    // Now and then a scan chunk in between: the hash tables must not notice.
    if (i % 7 == 3) fast.compress_chunk(data.size(), SearchKind::scan, tokens.data());
    const std::size_t d = fast.compress_chunk(data.size(), SearchKind::hash, tokens.data());
    const Bytes expected = literal.compress(fast.buffer(), data.size());
    ASSERT_EQ(Bytes(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(d)), expected)
        << "chunk " << i << " (" << data.size() << " bytes)";
  }
  // The corpus reaches the two quirks of the table.
  EXPECT_GT(literal.replacements, 1000u);
  EXPECT_GT(literal.deleted_newer, 100u);
}

TEST(HashSearch, UsedSlotsCountsWhatTheChunkFilled) {
  ChunkCompressor c;
  Bytes tokens(MAX_TOKEN_BYTES);
  std::mt19937 rng(3);
  const Bytes data = text_like(32768, rng);
  std::memset(c.buffer(), 0, WINDOW_SIZE);
  std::memcpy(c.chunk(), data.data(), data.size());
  c.compress_chunk(data.size(), SearchKind::hash, tokens.data());
  const std::size_t first = c.used_slots();
  EXPECT_GT(first, 1000u);
  // A chunk of zeros after it: only its own 13 slots.
  std::memset(c.chunk(), 0, 2048);
  c.compress_chunk(2048, SearchKind::hash, tokens.data());
  EXPECT_EQ(c.used_slots(), 13u);
}

}  // namespace
}  // namespace tolvex
