// Inflating ebzip slices: zlib against the converter's own inflater.
//
// The slices come from the .ebz file named by TOLVEX_EBZ (e.g. the
// whole-EDICT book's HONMON.ebz, made by `ebzip --level 0`); without it,
// from 8 MiB of generated dictionary-like text cut into 2 KiB slices and
// compressed with zlib's default level, as ebzip does. Every slice is
// inflated once per iteration; throughput is inflated bytes per second of
// the benchmark thread's CPU time. Before timing, both inflaters' output is
// compared for every slice.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "bookfile/inflate.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Slices {
  std::size_t slice_size = 2048;
  std::vector<Bytes> raw;  // the deflate data of each compressed slice
};

std::uint64_t big_endian(const std::uint8_t* p, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

Slices from_ebz(const char* path) {
  std::ifstream file(path, std::ios::binary);
  const Bytes ebz((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  Slices s;
  if (ebz.size() < 22) return s;
  s.slice_size = std::size_t{2048} << (ebz[5] & 0x0F);
  const std::uint64_t size = big_endian(&ebz[10], 4);
  const int width = size < (1 << 16) ? 2 : size < (1 << 24) ? 3 : 4;
  const std::uint64_t count = (size + s.slice_size - 1) / s.slice_size;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t start = big_endian(&ebz[22 + i * width], width);
    const std::uint64_t end = big_endian(&ebz[22 + (i + 1) * width], width);
    if (end - start == s.slice_size || end - start < 6) continue;  // stored as it is
    s.raw.emplace_back(ebz.begin() + static_cast<long>(start) + 2, ebz.begin() + static_cast<long>(end) - 4);
  }
  return s;
}

Slices generated() {
  std::mt19937 rng(20261207);
  std::vector<Bytes> words(4000);
  std::uniform_int_distribution<int> len(1, 4), row(0x24, 0x4F), cell(0x21, 0x7E);
  for (auto& w : words) {
    for (int n = len(rng); n > 0; --n)
      w.insert(w.end(), {static_cast<std::uint8_t>(row(rng)), static_cast<std::uint8_t>(cell(rng))});
  }
  std::geometric_distribution<std::size_t> pick(0.01);
  Bytes text;
  while (text.size() < (8u << 20)) {
    const std::size_t i = pick(rng) % words.size();
    text.insert(text.end(), words[i].begin(), words[i].end());
    if (i % 7 == 0) text.insert(text.end(), {0x1F, 0x0A});
  }
  Slices s;
  for (std::size_t at = 0; at < text.size(); at += s.slice_size) {
    Bytes z(compressBound(s.slice_size));
    uLongf z_size = z.size();
    compress2(z.data(), &z_size, text.data() + at, s.slice_size, Z_DEFAULT_COMPRESSION);
    if (z_size >= s.slice_size) continue;
    s.raw.emplace_back(z.begin() + 2, z.begin() + static_cast<long>(z_size) - 4);
  }
  return s;
}

struct Zlib {
  z_stream stream{};
  Zlib() { inflateInit2(&stream, -MAX_WBITS); }
  ~Zlib() { inflateEnd(&stream); }
  bool inflate_slice(const Bytes& in, Bytes& out) {
    inflateReset(&stream);
    stream.next_in = const_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    return inflate(&stream, Z_FINISH) == Z_STREAM_END && stream.avail_out == 0;
  }
};

const Slices& slices() {
  static const Slices s = [] {
    const char* path = std::getenv("TOLVEX_EBZ");
    Slices made = path != nullptr ? from_ebz(path) : generated();
    Zlib zlib;
    Bytes a(made.slice_size), b(made.slice_size);
    for (const Bytes& raw : made.raw) {
      if (!zlib.inflate_slice(raw, a) || inflate_exact(raw.data(), raw.size(), b.data(), b.size()) < 0 || a != b) {
        std::fprintf(stderr, "inflate_bench: the inflaters disagree on a slice\n");
        std::exit(1);
      }
    }
    return made;
  }();
  return s;
}

void BM_InflateZlib(benchmark::State& state) {
  const Slices& s = slices();
  Zlib zlib;
  Bytes out(s.slice_size);
  for (auto _ : state) {
    for (const Bytes& raw : s.raw) benchmark::DoNotOptimize(zlib.inflate_slice(raw, out));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.raw.size() * s.slice_size));
}
BENCHMARK(BM_InflateZlib)->Unit(benchmark::kMillisecond);

void BM_InflateOwn(benchmark::State& state) {
  const Slices& s = slices();
  Bytes out(s.slice_size);
  for (auto _ : state) {
    for (const Bytes& raw : s.raw)
      benchmark::DoNotOptimize(inflate_exact(raw.data(), raw.size(), out.data(), out.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.raw.size() * s.slice_size));
}
BENCHMARK(BM_InflateOwn)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvex
