#include "bookfile/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "zlib_oracle.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::zlib_inflate;

Bytes deflate_raw(const Bytes& data, int level, int strategy, std::size_t flush_every) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy), Z_OK);
  Bytes out(deflateBound(&z, data.size()) + 64 + data.size() / 8);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  for (std::size_t at = 0; at < data.size() || at == 0;) {
    const std::size_t n = std::min(flush_every, data.size() - at);
    z.next_in = const_cast<Bytef*>(data.data() + at);
    z.avail_in = static_cast<uInt>(n);
    at += n;
    EXPECT_NE(deflate(&z, at >= data.size() ? Z_FINISH : Z_FULL_FLUSH), Z_STREAM_ERROR);
    if (at >= data.size()) break;
  }
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

// Ours against zlib on one stream and output size: both refuse it, or both
// give the same bytes from the same input bytes.
long expect_like_zlib(const Bytes& in, std::size_t out_size, const std::string& what) {
  Bytes expected, got(out_size + 16, 0xEE);
  const long want = zlib_inflate(in, out_size, expected);
  const long taken = inflate_exact(in.data(), in.size(), got.data(), out_size);
  EXPECT_EQ(taken, want) << what;
  EXPECT_TRUE(std::all_of(got.begin() + static_cast<long>(out_size), got.end(), [](auto b) { return b == 0xEE; }))
      << what << ": wrote past the output";
  if (want >= 0) {
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin())) << what;
  }
  return want;
}

// Inputs that make every kind of block: dictionary-like text, incompressible
// bytes (stored blocks), a long run (258-byte matches at distance 1), short
// periods, a period of nearly 32 KiB, and skewed bytes whose codes run past
// the root tables' bits.
std::vector<std::pair<std::string, Bytes>> inputs() {
  std::mt19937 rng(7);
  std::vector<std::pair<std::string, Bytes>> v;
  Bytes text, noise(3000), skewed(40000), far(32700), periods;
  std::vector<Bytes> words(500);
  for (auto& w : words) {
    for (int n = 1 + static_cast<int>(rng() % 6); n > 0; --n) w.push_back(static_cast<std::uint8_t>(0x21 + rng() % 90));
  }
  std::geometric_distribution<int> zipf(0.02), skew(0.15);
  while (text.size() < 60000) {
    const Bytes& w = words[static_cast<std::size_t>(zipf(rng)) % words.size()];
    text.insert(text.end(), w.begin(), w.end());
    text.push_back(' ');
  }
  for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
  for (auto& b : skewed) b = static_cast<std::uint8_t>(std::min(skew(rng), 255));
  for (auto& b : far) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : 'x');
  far.insert(far.end(), far.begin(), far.end());
  for (std::size_t period = 2; period < 9; ++period) {
    for (std::size_t i = 0; i < 300; ++i) periods.push_back(static_cast<std::uint8_t>('a' + i % period));
  }
  v.push_back({"text", text});
  v.push_back({"slice of text", Bytes(text.begin(), text.begin() + 2048)});
  v.push_back({"noise", noise});
  v.push_back({"run", Bytes(70000, 'z')});
  v.push_back({"periods", periods});
  v.push_back({"far", far});
  v.push_back({"skewed", skewed});
  v.push_back({"one byte", Bytes(1, 'q')});
  v.push_back({"empty", Bytes()});
  return v;
}

TEST(Inflate, GivesWhatZlibGivesForEveryLevelAndStrategy) {
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (const auto& [name, data] : inputs()) {
    for (int level = 0; level <= 9; ++level) {
      for (int strategy : strategies) {
        // Odd levels flush every 1000 bytes: many blocks, empty stored ones
        // among them.
        const Bytes z = deflate_raw(data, level, strategy, level % 2 == 1 ? 1000 : data.size() + 1);
        const std::string what = name + " level " + std::to_string(level) + " strategy " + std::to_string(strategy);
        Bytes out(data.size() + 1);
        ASSERT_EQ(inflate_exact(z.data(), z.size(), out.data(), data.size()), static_cast<long>(z.size())) << what;
        ASSERT_TRUE(std::equal(data.begin(), data.end(), out.begin())) << what;
        // A byte more or fewer than the stream gives, junk behind it, and
        // the stream cut short (every cut of the small ones).
        if (!data.empty()) expect_like_zlib(z, data.size() - 1, what + " short output");
        expect_like_zlib(z, data.size() + 1, what + " long output");
        Bytes junk = z;
        junk.insert(junk.end(), {0xFF, 0x00, 0x5A});
        expect_like_zlib(junk, data.size(), what + " junk behind");
        for (std::size_t cut = z.size() > 400 ? z.size() - 9 : 0; cut < z.size(); ++cut) {
          expect_like_zlib(Bytes(z.begin(), z.begin() + static_cast<long>(cut)), data.size(), what + " cut");
        }
      }
    }
  }
}

// Streams written bit by bit, least significant first; prefix codes go in
// with their first bit first.
struct BitWriter {
  Bytes bytes;
  unsigned used = 0;  // bits in the last byte
  BitWriter& put(std::uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
      if (used % 8 == 0) bytes.push_back(0), used = 0;
      bytes.back() |= static_cast<std::uint8_t>(((value >> i) & 1) << used++);
    }
    return *this;
  }
  BitWriter& code(std::uint32_t code, unsigned n) {
    for (unsigned i = n; i-- > 0;) put(code >> i, 1);
    return *this;
  }
  // The fixed code's literal/length and distance symbols.
  BitWriter& fixed(unsigned symbol) {
    return symbol < 144 ? code(0x30 + symbol, 8)
        : symbol < 256  ? code(0x190 + symbol - 144, 9)
        : symbol < 280  ? code(symbol - 256, 7)
                        : code(0xC0 + symbol - 280, 8);
  }
  BitWriter& distance(unsigned symbol) { return code(symbol, 5); }
  // A final dynamic block's header: the code length code gives symbol 8
  // one bit (0), 0 two (10), 16 three (110), 1 and 18 four (1110, 1111),
  // and `lengths` is coded with it as {symbol, extra bits}.
  BitWriter& dynamic(unsigned lit_count, unsigned dist_count, const std::vector<std::pair<int, int>>& lengths) {
    put(1, 1).put(2, 2).put(lit_count - 257, 5).put(dist_count - 1, 5).put(19 - 4, 4);
    // In the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1 15.
    for (unsigned n : {3, 0, 4, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0}) put(n, 3);
    for (auto [symbol, extra] : lengths) {
      if (symbol == 8) code(0, 1);
      if (symbol == 0) code(2, 2);
      if (symbol == 1) code(14, 4);
      if (symbol == 16) code(6, 3).put(static_cast<std::uint32_t>(extra), 2);
      if (symbol == 18) code(15, 4).put(static_cast<std::uint32_t>(extra), 7);
    }
    return *this;
  }
};

// `n` code lengths of 8 (as 8 then runs of 16), or of 0 (runs of 18 and 0).
std::vector<std::pair<int, int>> eights(int n) {
  std::vector<std::pair<int, int>> v{{8, 0}};
  for (--n; n >= 3; n -= std::min(n, 6)) v.push_back({16, std::min(n, 6) - 3});
  for (; n > 0; --n) v.push_back({8, 0});
  return v;
}
std::vector<std::pair<int, int>> zeros(int n) {
  std::vector<std::pair<int, int>> v;
  for (; n >= 11; n -= std::min(n, 138)) v.push_back({18, std::min(n, 138) - 11});
  for (; n > 0; --n) v.push_back({0, 0});
  return v;
}
std::vector<std::pair<int, int>> operator+(std::vector<std::pair<int, int>> a,
                                           const std::vector<std::pair<int, int>>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Inflate, RefusesDamagedStreamsAndTakesTheOddValidOnes) {
  using Lengths = std::vector<std::pair<int, int>>;
  const Lengths one_bit_distance{{1, 0}};
  // Literals 0-253, the end of block (code 254) and length 3 (code 255), 8
  // bits each: complete. Half of them leave half the code space unused.
  const Lengths full = eights(254) + zeros(2) + eights(2);
  const Lengths half = eights(126) + zeros(130) + eights(2);
  auto fixed = [] { return BitWriter().put(1, 1).put(1, 2); };
  struct Case {
    std::string what;
    Bytes stream;
    std::size_t out_size;
    bool valid;
  };
  const Case cases[] = {
      {"no input", {}, 0, false},
      {"reserved block type", BitWriter().put(1, 1).put(3, 2).bytes, 0, false},
      {"stored length and complement disagree", {0x01, 0x02, 0x00, 0xFD, 0xFE, 'a', 'b'}, 2, false},
      {"stored bytes cut short", {0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b'}, 3, false},
      {"stored block not final, nothing after", {0x00, 0x01, 0x00, 0xFE, 0xFF, 'a'}, 1, false},
      {"distance before the output", fixed().fixed('a').fixed(257).distance(1).fixed(256).bytes, 4, false},
      {"distance back to the start", fixed().fixed('a').fixed('b').fixed(257).distance(1).fixed(256).bytes, 5, true},
      {"length symbol 286", fixed().fixed('a').fixed(286).distance(0).fixed(256).bytes, 4, false},
      {"distance symbol 30", fixed().fixed('a').fixed(257).distance(30).fixed(256).bytes, 4, false},
      {"match past the output", fixed().fixed('a').fixed(265).put(1, 1).distance(0).fixed(256).bytes, 12, false},
      {"literal past the output", fixed().fixed('a').fixed('b').fixed(256).bytes, 1, false},
      // Blocks whose only fault is the one named: each ends with its code.
      {"too many length codes", BitWriter().dynamic(287, 1, full + zeros(29) + one_bit_distance).code(254, 8).bytes, 0,
       false},
      {"too many distance codes", BitWriter().dynamic(258, 31, full + one_bit_distance + zeros(30)).code(254, 8).bytes,
       0, false},
      {"repeat with nothing before", BitWriter().dynamic(258, 1, Lengths{{16, 0}} + full).bytes, 0, false},
      {"zeros one past the last length",
       BitWriter().dynamic(258, 11, full + one_bit_distance + zeros(11)).code(254, 8).bytes, 0, false},
      {"zeros up to the last length",
       BitWriter().dynamic(258, 12, full + one_bit_distance + zeros(11)).code(254, 8).bytes, 0, true},
      {"no end-of-block code", BitWriter().dynamic(256 + 2, 1, eights(256) + zeros(2) + one_bit_distance).bytes, 0,
       false},
      {"too many codes of 8 bits", BitWriter().dynamic(258, 1, eights(258) + one_bit_distance).bytes, 0, false},
      {"length code with a gap", BitWriter().dynamic(258, 1, half + one_bit_distance).code(0x40, 8).bytes, 1, false},
      {"distance code of 8 bits alone", BitWriter().dynamic(258, 1, full + eights(1)).code(254, 8).bytes, 0, false},
      {"lone distance code of one bit",
       BitWriter()
           .dynamic(258, 1, full + one_bit_distance)
           .code('A', 8)
           .code('B', 8)
           .code(255, 8)
           .code(0, 1)
           .code(254, 8)
           .bytes,
       5, true},
      {"the other bit", BitWriter().dynamic(258, 1, full + one_bit_distance).code('A', 8).code(255, 8).code(1, 1).bytes,
       4, false},
  };
  for (const Case& c : cases) EXPECT_EQ(expect_like_zlib(c.stream, c.out_size, c.what) >= 0, c.valid) << c.what;
}

}  // namespace
}  // namespace tolvex
