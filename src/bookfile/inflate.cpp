#include "bookfile/inflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tolvex {

namespace {

// Deflate data is a series of blocks, each stored as it is or coded with
// prefix codes over literal bytes, match lengths and distances (RFC 1951).
// Codes are read least significant bit first, so a table indexed by the next
// ROOT bits of the stream gives the symbol whose code those bits start with;
// codes longer than ROOT bits lead from the root entry to a subtable indexed
// by the bits after them.
//
// A table entry, 32 bits:
//   bits 0-4    stream bits the entry takes: its code and the extra bits
//               after it (lengths, distances); for a link, the root bits
//   bits 8-11   bits of the code, where the extra bits start; for a link,
//               the bits that index its subtable
//   bits 12-15  kind
//   bits 16-31  literal byte, base length or distance, or subtable start
// Bits 5-7 are clear, so the low byte is the shift for the bit buffer.
enum Kind : std::uint32_t { kLiteral = 0, kBase = 1, kEnd = 2, kLink = 3, kInvalid = 4 };

// An entry without its code's bits, which the table adds: `extra` bits to
// take after them.
constexpr std::uint32_t make_entry(std::uint32_t kind, std::uint32_t extra, std::uint32_t value) {
  return value << 16 | kind << 12 | extra;
}
// The same with a code of `bits` bits.
constexpr std::uint32_t with_code(std::uint32_t e, std::uint32_t bits) { return e + (bits << 8) + bits; }
constexpr std::uint32_t kind_of(std::uint32_t e) { return (e >> 12) & 15; }
constexpr std::uint32_t taken_of(std::uint32_t e) { return e & 0xFF; }
constexpr std::uint32_t code_bits_of(std::uint32_t e) { return (e >> 8) & 15; }
constexpr std::uint32_t value_of(std::uint32_t e) { return e >> 16; }
constexpr std::uint32_t kInvalidEntry = make_entry(kInvalid, 0, 0);

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kLitRoot = 10;
constexpr unsigned kDistRoot = 8;
constexpr unsigned kCodeLenRoot = 7;  // code length codes are at most 7 bits
constexpr unsigned kLitSymbols = 288, kDistSymbols = 32, kCodeLenSymbols = 19;
// Root entries plus room for a full subtable per symbol: more than any code
// can use, so building never runs out of room.
constexpr std::size_t kLitCapacity = (1u << kLitRoot) + kLitSymbols * (1u << (kMaxCodeBits - kLitRoot));
constexpr std::size_t kDistCapacity = (1u << kDistRoot) + kDistSymbols * (1u << (kMaxCodeBits - kDistRoot));

// What each symbol stands for, without its code's bits.
struct SymbolEntries {
  std::array<std::uint32_t, kLitSymbols> lit{};
  std::array<std::uint32_t, kDistSymbols> dist{};
  std::array<std::uint32_t, kCodeLenSymbols> code_len{};
  constexpr SymbolEntries() {
    constexpr std::uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    constexpr std::uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    constexpr std::uint16_t dist_base[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                             33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    for (unsigned s = 0; s < 256; ++s) lit[s] = make_entry(kLiteral, 0, s);
    lit[256] = make_entry(kEnd, 0, 0);
    for (unsigned s = 257; s < 286; ++s) lit[s] = make_entry(kBase, length_extra[s - 257], length_base[s - 257]);
    lit[286] = lit[287] = kInvalidEntry;  // in the fixed code, but never valid
    for (unsigned s = 0; s < 30; ++s) dist[s] = make_entry(kBase, s < 4 ? 0 : s / 2 - 1, dist_base[s]);
    dist[30] = dist[31] = kInvalidEntry;
    for (unsigned s = 0; s < kCodeLenSymbols; ++s) code_len[s] = make_entry(kLiteral, 0, s);
  }
};
constexpr SymbolEntries kSymbols;

constexpr std::array<std::uint8_t, 256> kReversedBytes = [] {
  std::array<std::uint8_t, 256> r{};
  for (unsigned b = 0; b < 256; ++b) {
    for (unsigned i = 0; i < 8; ++i) r[b] |= ((b >> i) & 1) << (7 - i);
  }
  return r;
}();

// A code of `length` bits (at most 15) with its bits in the other order.
inline std::uint32_t reverse_bits(std::uint32_t code, unsigned length) {
  return (std::uint32_t{kReversedBytes[code & 0xFF]} << 8 | kReversedBytes[code >> 8]) >> (16 - length);
}

// A canonical prefix code: how many codes each length has, and the symbols
// in code order (by length, then by value), after those with no code.
struct SortedCode {
  unsigned count[kMaxCodeBits + 1];
  std::uint16_t sorted[kLitSymbols];
  unsigned next;  // in `sorted`: the first symbol with a code
  unsigned max;   // the longest code, 0: no code at all
};

void sort_code(const std::uint8_t* lengths, unsigned n, SortedCode& c) {
  // The symbols are counted and sorted in two halves side by side, so that
  // runs of one length do not wait on each other's increments.
  unsigned* count = c.count;
  const unsigned half = n / 2;
  unsigned second[kMaxCodeBits + 1] = {};
  std::fill(count, count + kMaxCodeBits + 1, 0u);
  for (unsigned s = 0; s < half; ++s) {
    ++count[lengths[s]];
    ++second[lengths[half + s]];
  }
  if (n % 2 != 0) ++second[lengths[n - 1]];
  unsigned offset[kMaxCodeBits + 1], second_offset[kMaxCodeBits + 1];
  for (unsigned len = 0, at = 0; len <= kMaxCodeBits; ++len) {
    offset[len] = at;
    second_offset[len] = at + count[len];
    count[len] += second[len];
    at += count[len];
  }
  for (unsigned s = 0; s < half; ++s) {
    c.sorted[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);
    c.sorted[second_offset[lengths[half + s]]++] = static_cast<std::uint16_t>(half + s);
  }
  if (n % 2 != 0) c.sorted[second_offset[lengths[n - 1]]] = static_cast<std::uint16_t>(n - 1);
  c.next = count[0];
  count[0] = 0;
  c.max = kMaxCodeBits;
  while (c.max > 0 && count[c.max] == 0) --c.max;
}

// Codes up to the root bits: the table grows one bit at a time, each step a
// copy of the entries so far (a code of `len` bits fills every entry whose
// low `len` bits are its own), then this length's codes written in. Returns
// the next canonical code, most significant bit first.
std::uint32_t fill_root(SortedCode& c, const std::uint32_t* symbols, unsigned root, std::uint32_t* table) {
  std::uint32_t code = 0;
  table[0] = table[1] = kInvalidEntry;
  unsigned len = 1;
  for (;; ++len) {
    for (unsigned i = 0; i < c.count[len]; ++i, ++code) {
      const unsigned s = c.sorted[c.next++];
      table[reverse_bits(code, len)] = with_code(symbols[s], len);
    }
    code <<= 1;
    if (len == root || len == c.max) break;
    std::memcpy(table + (1u << len), table, (std::size_t{1} << len) * sizeof *table);
  }
  for (; len < root; ++len) std::memcpy(table + (1u << len), table, (std::size_t{1} << len) * sizeof *table);
  return code;
}

// Longer codes: the codes that share root bits lie together in code order;
// their subtable is indexed by as many bits as it takes for them to fill the
// root entry's share of the code space. False when the subtables do not fit.
bool fill_long(SortedCode& c, const std::uint32_t* symbols, unsigned root, std::uint32_t* table, std::size_t capacity,
               std::uint32_t code) {
  unsigned* count = c.count;
  const std::uint32_t root_size = 1u << root;
  std::uint32_t start = 0, sub_bits = 0, prefix = root_size, free = root_size;
  for (unsigned len = root + 1; len <= c.max; ++len) {
    for (; count[len] > 0; --count[len], ++code) {
      const std::uint32_t reversed = reverse_bits(code, len);
      if ((reversed & (root_size - 1)) != prefix) {
        prefix = reversed & (root_size - 1);
        sub_bits = len - root;
        int space = 1 << sub_bits;
        while (sub_bits + root < c.max) {
          space -= static_cast<int>(count[sub_bits + root]);
          if (space <= 0) break;
          ++sub_bits;
          space <<= 1;
        }
        start = free;
        free += 1u << sub_bits;
        if (free > capacity) return false;
        table[prefix] = make_entry(kLink, root, start) | sub_bits << 8;
      }
      const unsigned s = c.sorted[c.next++];
      const std::uint32_t e = with_code(symbols[s], len - root);
      for (std::uint32_t i = reversed >> root; i < 1u << sub_bits; i += 1u << (len - root)) table[start + i] = e;
    }
    code <<= 1;
  }
  return true;
}

// Fills `table` (room for `capacity` entries) for the canonical prefix code
// with lengths[0, n) (0: the symbol has no code). False when the lengths
// over-subscribe the code space or leave part of it unused; the one
// incomplete code taken where `single_allowed` is a lone code of one bit
// (the other bit pattern is invalid). A code with no symbols at all gives a
// table of invalid entries.
bool build_table(const std::uint8_t* lengths, unsigned n, const std::uint32_t* symbols, unsigned root,
                 std::uint32_t* table, std::size_t capacity, bool single_allowed) {
  SortedCode c;
  sort_code(lengths, n, c);
  if (c.max == 0) {
    std::fill(table, table + (std::size_t{1} << root), kInvalidEntry);
    return true;
  }
  int left = 1;
  for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
    left = 2 * left - static_cast<int>(c.count[len]);
    if (left < 0) return false;
  }
  if (left > 0 && !(single_allowed && c.max == 1)) return false;
  const std::uint32_t code = fill_root(c, symbols, root, table);
  return c.max <= root || fill_long(c, symbols, root, table, capacity, code);
}

struct Tables {
  std::array<std::uint32_t, kLitCapacity> lit;
  std::array<std::uint32_t, kDistCapacity> dist;
};

const Tables& fixed_tables() {
  static const Tables tables = [] {
    Tables t;
    std::uint8_t lengths[kLitSymbols];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    build_table(lengths, kLitSymbols, kSymbols.lit.data(), kLitRoot, t.lit.data(), t.lit.size(), false);
    std::fill(lengths, lengths + kDistSymbols, 5);
    build_table(lengths, kDistSymbols, kSymbols.dist.data(), kDistRoot, t.dist.data(), t.dist.size(), false);
    return t;
  }();
  return tables;
}

// The stream's bits, least significant first. `buffer` holds `count` bits
// not yet taken; `pos` is the next input byte to load. Near the end of the
// input zero bytes are loaded in its place, and taking any of their bits
// makes the next refill fail.
struct Bits {
  const std::uint8_t* in;
  std::size_t size;
  std::size_t pos = 0;
  std::uint64_t buffer = 0;
  unsigned count = 0;

  // At least 56 bits in the buffer: enough for a length code, its extra
  // bits, a distance code and its extra bits.
  bool refill() {
    if (pos + 8 <= size) [[likely]] {
      std::uint64_t word = 0;
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, in + pos, 8);
      } else {
        for (unsigned i = 0; i < 8; ++i) word |= std::uint64_t{in[pos + i]} << 8 * i;
      }
      // Whole bytes only; the part of the next byte that also lands in the
      // buffer is its own bits, loaded again at their place next time.
      buffer |= word << count;
      pos += (63 - count) >> 3;
      count |= 56;
      return true;
    }
    while (count < 56) {
      buffer |= std::uint64_t{pos < size ? in[pos] : std::uint8_t{0}} << count;
      ++pos;
      count += 8;
    }
    return !overrun();
  }
  bool overrun() const { return pos * 8 - count > size * 8; }
  std::uint32_t peek(unsigned n) const { return static_cast<std::uint32_t>(buffer & ((std::uint64_t{1} << n) - 1)); }
  void take(unsigned n) {
    buffer >>= n & 63;
    count -= n;
  }
  std::uint32_t get(unsigned n) {
    const std::uint32_t v = peek(n);
    take(n);
    return v;
  }
  // Takes the code of entry `e` and its extra bits; gives the entry's
  // value plus the extra.
  std::uint32_t value(std::uint32_t e) {
    const unsigned taken = taken_of(e);
    const auto v = value_of(e) +
        static_cast<std::uint32_t>((buffer & ((std::uint64_t{1} << taken) - 1)) >> code_bits_of(e));
    take(taken);
    return v;
  }
  // The entry for the code at the head of the stream, taken from the stream
  // with its extra bits; `v` receives the entry's value plus the extra.
  std::uint32_t decode(const std::uint32_t* table, unsigned root, std::uint32_t& v) {
    std::uint32_t e = table[peek(root)];
    if (kind_of(e) == kLink) {
      take(root);
      e = table[value_of(e) + peek(code_bits_of(e))];
    }
    v = value(e);
    return e;
  }
};

// A stored block: its length and the length's complement at the next byte
// boundary, then the bytes.
bool stored_block(Bits& bits, std::uint8_t* out, std::size_t out_size, std::size_t& done) {
  bits.take(bits.count & 7);
  if (bits.overrun()) return false;
  std::size_t at = bits.pos - bits.count / 8;
  bits.buffer = 0;
  bits.count = 0;
  if (bits.size - at < 4) return false;
  const std::size_t length = bits.in[at] | bits.in[at + 1] << 8;
  const std::size_t complement = bits.in[at + 2] | bits.in[at + 3] << 8;
  at += 4;
  if (length != (~complement & 0xFFFF) || bits.size - at < length || out_size - done < length) return false;
  std::memcpy(out + done, bits.in + at, length);
  done += length;
  bits.pos = at + length;
  return true;
}

// The code lengths of a dynamic block's two codes, themselves coded, and
// the tables made from them.
bool dynamic_tables(Bits& stream, Tables& tables) {
  Bits bits = stream;  // in registers, as the lengths written could alias it
  if (!bits.refill()) return false;
  const unsigned lit_count = bits.get(5) + 257, dist_count = bits.get(5) + 1, code_len_count = bits.get(4) + 4;
  if (lit_count > 286 || dist_count > 30) return false;
  static constexpr std::uint8_t order[kCodeLenSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                          11, 4,  12, 3, 13, 2, 14, 1, 15};
  std::uint8_t code_len_lengths[kCodeLenSymbols] = {};
  for (unsigned i = 0; i < code_len_count; ++i) {
    if (bits.count < 3 && !bits.refill()) return false;
    code_len_lengths[order[i]] = static_cast<std::uint8_t>(bits.get(3));
  }
  std::uint32_t code_len_table[1u << kCodeLenRoot];
  if (!build_table(code_len_lengths, kCodeLenSymbols, kSymbols.code_len.data(), kCodeLenRoot, code_len_table,
                   std::size(code_len_table), false)) {
    return false;
  }
  std::uint8_t lengths[286 + 30];
  const unsigned total = lit_count + dist_count;
  for (unsigned i = 0; i < total;) {
    // A code of up to 7 bits and up to 7 extra bits.
    if (bits.count < 14 && !bits.refill()) return false;
    const std::uint32_t e = code_len_table[bits.peek(kCodeLenRoot)];
    if (kind_of(e) == kInvalid) return false;
    bits.take(taken_of(e));
    const std::uint32_t symbol = value_of(e);
    if (symbol < 16) {
      lengths[i++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::uint8_t repeated = 0;
    unsigned times = 0;
    if (symbol == 16) {
      if (i == 0) return false;  // nothing to repeat
      repeated = lengths[i - 1];
      times = 3 + bits.get(2);
    } else {
      times = symbol == 17 ? 3 + bits.get(3) : 11 + bits.get(7);
    }
    if (times > total - i) return false;
    std::memset(lengths + i, repeated, times);
    i += times;
  }
  // A literal/length code without the end of block needs no check: its
  // block never ends, so the stream fails where the input or output does.
  stream = bits;
  return build_table(lengths, lit_count, kSymbols.lit.data(), kLitRoot, tables.lit.data(), tables.lit.size(), true) &&
      build_table(lengths + lit_count, dist_count, kSymbols.dist.data(), kDistRoot, tables.dist.data(),
                  tables.dist.size(), true);
}

// A match: `length` bytes copied from `distance` bytes back, with `room`
// bytes left in the output.
inline void copy_match(std::uint8_t* out, std::size_t room, std::size_t distance, std::size_t length) {
  const std::uint8_t* from = out - distance;
  if (distance >= 8 && room >= length + 16) {
    // Eight bytes at a time, each chunk from bytes already written; up to
    // fifteen bytes past the match are written too, within the output, and
    // overwritten by what follows. Most matches take the first two chunks.
    std::uint64_t chunk;
    std::memcpy(&chunk, from, 8);
    std::memcpy(out, &chunk, 8);
    std::memcpy(&chunk, from + 8, 8);
    std::memcpy(out + 8, &chunk, 8);
    for (std::size_t i = 16; i < length; i += 8) {
      std::memcpy(&chunk, from + i, 8);
      std::memcpy(out + i, &chunk, 8);
    }
  } else if (distance == 1) {
    std::memset(out, *from, length);
  } else {
    for (std::size_t i = 0; i < length; ++i) out[i] = from[i];
  }
}

// A coded block's symbols, up to its end. A refill leaves the bits in the
// buffer as they were, so the entry looked up before it stays good.
bool coded_block(Bits& stream, const Tables& tables, std::uint8_t* out, std::size_t out_size, std::size_t& written) {
  // Copies the output could alias, kept in registers.
  Bits bits = stream;
  std::size_t done = written;
  const std::uint32_t* lit = tables.lit.data();
  const std::uint32_t* dist = tables.dist.data();
  if (!bits.refill()) return false;
  std::uint32_t e = lit[bits.peek(kLitRoot)];
  for (;;) {
    if (kind_of(e) == kLiteral) {
      // Literals with codes within the root bits, up to three for the 56
      // bits of a refill.
      bits.take(taken_of(e));
      if (done == out_size) return false;
      out[done++] = static_cast<std::uint8_t>(value_of(e));
      e = lit[bits.peek(kLitRoot)];
      if (kind_of(e) == kLiteral) {
        bits.take(taken_of(e));
        if (done == out_size) return false;
        out[done++] = static_cast<std::uint8_t>(value_of(e));
        e = lit[bits.peek(kLitRoot)];
        if (kind_of(e) == kLiteral) {
          bits.take(taken_of(e));
          if (done == out_size) return false;
          out[done++] = static_cast<std::uint8_t>(value_of(e));
          e = lit[bits.peek(kLitRoot)];
        }
      }
      if (!bits.refill()) return false;
      continue;
    }
    if (kind_of(e) == kLink) {
      bits.take(kLitRoot);
      e = lit[value_of(e) + bits.peek(code_bits_of(e))];
      if (kind_of(e) == kLiteral) {
        bits.take(taken_of(e));
        if (done == out_size) return false;
        out[done++] = static_cast<std::uint8_t>(value_of(e));
        if (!bits.refill()) return false;
        e = lit[bits.peek(kLitRoot)];
        continue;
      }
    }
    if (kind_of(e) != kBase) {
      bits.take(taken_of(e));
      stream = bits;
      written = done;
      return kind_of(e) == kEnd;
    }
    const std::uint32_t length = bits.value(e);
    std::uint32_t distance = 0;
    if (kind_of(bits.decode(dist, kDistRoot, distance)) != kBase) return false;
    if (distance > done || length > out_size - done) return false;
    copy_match(out + done, out_size - done, distance, length);
    done += length;
    if (!bits.refill()) return false;
    e = lit[bits.peek(kLitRoot)];
  }
}

}  // namespace

long inflate_exact(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out, std::size_t out_size) {
  Bits bits{in, in_size};
  std::size_t done = 0;
  Tables dynamic;  // left unset: only the entries built for a block are read
  for (bool last = false; !last;) {
    if (!bits.refill()) return -1;
    last = bits.get(1) != 0;
    switch (bits.get(2)) {
      case 0:
        if (!stored_block(bits, out, out_size, done)) return -1;
        break;
      case 1:
        if (!coded_block(bits, fixed_tables(), out, out_size, done)) return -1;
        break;
      case 2:
        if (!dynamic_tables(bits, dynamic) || !coded_block(bits, dynamic, out, out_size, done)) return -1;
        break;
      default: return -1;
    }
  }
  if (bits.overrun() || done != out_size) return -1;
  return static_cast<long>((bits.pos * 8 - bits.count + 7) / 8);
}

}  // namespace tolvex
