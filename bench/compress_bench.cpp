// Chunk compression throughput (MB/s of input) and output size for both
// searches on text-like chunks of 16 pages.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "components/compressor.h"

namespace {

using tolvex::ChunkCompressor;
using tolvex::SearchKind;

// Japanese-like body text: two-byte JIS codes from a skewed vocabulary, with
// line-end and entry-start escapes, as in a dictionary's HONMON.
std::vector<std::uint8_t> text_like(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::vector<std::uint8_t>> words(300);
  for (auto& w : words) {
    const int chars = 1 + static_cast<int>(rng() % 5);
    for (int i = 0; i < chars; ++i) {
      const bool kana = rng() % 3 != 0;
      w.push_back(static_cast<std::uint8_t>(kana ? 0x24 + rng() % 2 : 0x30 + rng() % 0x20));
      w.push_back(static_cast<std::uint8_t>(0x21 + rng() % (kana ? 0x53 : 0x5E)));
    }
  }
  std::vector<std::uint8_t> out;
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

void compress_text(benchmark::State& state, SearchKind search) {
  const std::size_t n = tolvex::CHUNK_BYTES;
  const auto text = text_like(n, 2024);
  ChunkCompressor compressor;
  std::vector<std::uint8_t> tokens(tolvex::MAX_TOKEN_BYTES);
  const std::uint8_t fill = tolvex::choose_fill_byte(text.data(), tolvex::WINDOW_SIZE);
  std::size_t out_bytes = 0;
  for (auto _ : state) {
    std::memset(compressor.buffer(), fill, tolvex::WINDOW_SIZE);
    std::memcpy(compressor.chunk(), text.data(), n);
    out_bytes = compressor.compress_chunk(n, search, tokens.data());
    benchmark::DoNotOptimize(tokens.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
  // Record head included, as stored in the file.
  state.counters["ratio"] = static_cast<double>(out_bytes + 5) / static_cast<double>(n);
}

void BM_CompressHash(benchmark::State& state) { compress_text(state, SearchKind::hash); }
void BM_CompressScan(benchmark::State& state) { compress_text(state, SearchKind::scan); }

void BM_Decompress(benchmark::State& state) {
  const auto text = text_like(tolvex::CHUNK_BYTES, 2024);
  ChunkCompressor compressor;
  std::vector<std::uint8_t> tokens(tolvex::MAX_TOKEN_BYTES);
  const std::uint8_t fill = tolvex::choose_fill_byte(text.data(), tolvex::WINDOW_SIZE);
  std::memset(compressor.buffer(), fill, tolvex::WINDOW_SIZE);
  std::memcpy(compressor.chunk(), text.data(), text.size());
  tokens.resize(compressor.compress_chunk(text.size(), SearchKind::hash, tokens.data()));
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tolvex::decompress_chunk(fill, tokens, text.size(), out));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(BM_CompressHash);
BENCHMARK(BM_CompressScan);
BENCHMARK(BM_Decompress);
