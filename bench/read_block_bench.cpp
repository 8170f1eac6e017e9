// read_block throughput on compressed files of dictionary-like text.
//
// The pages are generated here: JIS X 0208 two-byte characters drawn from a
// Zipf-distributed vocabulary of short words, with the newline, keyword and
// reference escapes that body text carries. The frequency tables are counted
// from that text (pairs, and for kind 2 four-byte runs, at even positions) by
// the sample-book generator's compressor, which takes its codes from the
// reader's own tree. Throughput is decoded page bytes per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bookfile/book_file.h"
#include "bookfile/huffman.h"
#include "huffman_encoder.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kPages = 256;  // 512 KiB of text

std::vector<Bytes> text_pages() {
  std::mt19937 rng(20240611);
  // Vocabulary: 3000 words of 1 to 4 characters, mostly hiragana/katakana
  // rows (0x24, 0x25) and a spread of kanji rows.
  std::vector<Bytes> words(3000);
  std::uniform_int_distribution<int> len(1, 4), kana(0x21, 0x73), row(0x30, 0x4F), cell(0x21, 0x7E), pick(0, 9);
  for (auto& w : words) {
    const int n = len(rng);
    for (int i = 0; i < n; ++i) {
      const int p = pick(rng);
      if (p < 4) {
        w.insert(w.end(), {0x24, static_cast<std::uint8_t>(kana(rng))});
      } else if (p < 5) {
        w.insert(w.end(), {0x25, static_cast<std::uint8_t>(kana(rng))});
      } else {
        w.insert(w.end(), {static_cast<std::uint8_t>(row(rng)), static_cast<std::uint8_t>(cell(rng))});
      }
    }
  }
  std::vector<double> weights(words.size());
  for (std::size_t i = 0; i < weights.size(); ++i) weights[i] = 1.0 / std::pow(static_cast<double>(i + 1), 1.05);
  std::discrete_distribution<std::size_t> zipf(weights.begin(), weights.end());
  std::uniform_int_distribution<int> line(8, 40), digit(0x30, 0x39);

  Bytes text;
  text.reserve(static_cast<std::size_t>(kPages) * PAGE_SIZE + 64);
  while (text.size() < static_cast<std::size_t>(kPages) * PAGE_SIZE) {
    text.insert(text.end(), {0x1F, 0x41});  // keyword
    for (int i = 0; i < 2; ++i) {
      const Bytes& w = words[zipf(rng)];
      text.insert(text.end(), w.begin(), w.end());
    }
    text.insert(text.end(), {0x1F, 0x61, 0x1F, 0x0A});
    const int n = line(rng);
    for (int i = 0; i < n; ++i) {
      const Bytes& w = words[zipf(rng)];
      text.insert(text.end(), w.begin(), w.end());
      if (i % 9 == 8) text.insert(text.end(), {0x23, static_cast<std::uint8_t>(digit(rng))});
    }
    text.insert(text.end(), {0x21, 0x23, 0x1F, 0x0A});  // full stop, newline
  }
  std::vector<Bytes> pages;
  for (int p = 0; p < kPages; ++p) {
    pages.emplace_back(text.begin() + p * PAGE_SIZE, text.begin() + (p + 1) * PAGE_SIZE);
  }
  return pages;
}

struct BenchFile {
  std::string path;
  double stream_ratio = 0;  // compressed bytes (tables and raw pages included) per page byte
  int raw_pages = 0;
};

BenchFile make_file(int kind) {
  std::vector<testbook::Page> pages;
  for (const Bytes& p : text_pages()) std::copy(p.begin(), p.end(), pages.emplace_back().begin());
  testbook::HuffmanOptions options;
  options.max_pairs = 1500;
  options.max_quads = 2000;
  testbook::CompressedFile z;
  std::string error;
  if (!testbook::compress_pages(kind, pages, options, z, error)) return {};
  BenchFile f;
  f.raw_pages = static_cast<int>(std::count(z.raw_pages.begin(), z.raw_pages.end(), true));
  f.stream_ratio = static_cast<double>(z.bytes.size()) / (static_cast<double>(kPages) * PAGE_SIZE);
  f.path = (std::filesystem::temp_directory_path() / ("tolvex_read_block_bench_" + std::to_string(kind))).string();
  std::ofstream out(f.path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(z.bytes.data()), static_cast<std::streamsize>(z.bytes.size()));
  return f;
}

void BM_ReadBlock(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const BenchFile f = make_file(kind);
  BookFilePtr book = open_book_file(f.path, kind);
  if (!book) {
    state.SkipWithError("open_book_file failed");
    return;
  }
  Bytes page(PAGE_SIZE);
  PageReader reader;
  for (auto _ : state) {
    for (int p = 1; p <= kPages; ++p) {
      if (reader.read_block(page.data(), book.get(), p == 1 ? 1u : 0u) == nullptr) {
        state.SkipWithError("read_block failed");
        return;
      }
    }
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kPages * PAGE_SIZE);
  state.counters["stream_ratio"] = f.stream_ratio;
  state.counters["leaves"] = static_cast<double>(book->tree->nodes.size() + 1) / 2;
  close_book_file(book);
  std::filesystem::remove(f.path);
}
BENCHMARK(BM_ReadBlock)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Opening includes building the tree (quadratic in the leaf count).
void BM_OpenBookFile(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const BenchFile f = make_file(kind);
  for (auto _ : state) {
    BookFilePtr book = open_book_file(f.path, kind);
    benchmark::DoNotOptimize(book.get());
  }
  std::filesystem::remove(f.path);
}
BENCHMARK(BM_OpenBookFile)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvex
