#include "bookfile/huffman_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>

#include "bookfile/book_file.h"

namespace tolvex {

namespace {

std::uint64_t byte_swap64(std::uint64_t v) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_bswap64(v);
#else
  v = ((v & 0x00000000FFFFFFFFull) << 32) | (v >> 32);
  v = ((v & 0x0000FFFF0000FFFFull) << 16) | ((v >> 16) & 0x0000FFFF0000FFFFull);
  return ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
#endif
}

std::uint64_t load_be64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = byte_swap64(v);
  return v;
}

// Stores v's bytes from the lowest one up.
void store_le64(std::uint8_t* p, std::uint64_t v) {
  if constexpr (std::endian::native != std::endian::little) v = byte_swap64(v);
  std::memcpy(p, &v, sizeof v);
}

}  // namespace

std::shared_ptr<const DecodingTable> DecodingTable::build(const DecodingTree& tree) {
  const std::vector<DecodingNode>& nodes = tree.nodes;
  const std::size_t count = nodes.size();
  if (count < 3) return nullptr;
  // Heights, children first: every branch of the builder's array lies above
  // its children, which also rules out cycles.
  std::vector<std::uint32_t> height(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const DecodingNode& n = nodes[i];
    if (n.type != NODE_BRANCH) continue;
    if (n.child_one < 0 || n.child_zero < 0 || static_cast<std::size_t>(n.child_one) >= i ||
        static_cast<std::size_t>(n.child_zero) >= i) {
      return nullptr;
    }
    height[i] = 1 + std::max(height[static_cast<std::size_t>(n.child_one)], height[static_cast<std::size_t>(n.child_zero)]);
  }
  const std::size_t root = count - 1;
  if (nodes[root].type != NODE_BRANCH) return nullptr;

  auto table = std::make_shared<DecodingTable>();
  table->node_count_ = count;

  struct Pending {
    std::size_t node;
    std::size_t first;  // index of the table's first entry
    unsigned bits;
  };
  std::deque<Pending> pending;
  std::vector<Entry>& entries = table->entries_;
  entries.resize(2 * ROOT_SIZE);
  pending.push_back({root, ROOT_SIZE, ROOT_BITS});

  while (!pending.empty()) {
    const Pending t = pending.front();
    pending.pop_front();
    // Walk every path of up to t.bits bits below t.node (first bit = highest
    // index bit); a leaf at depth d covers 2^(bits - d) entries.
    struct Step {
      std::size_t node;
      unsigned depth;
      std::size_t prefix;
    };
    std::vector<Step> stack{{t.node, 0, 0}};
    while (!stack.empty()) {
      const Step s = stack.back();
      stack.pop_back();
      const DecodingNode& n = nodes[s.node];
      if (n.type != NODE_BRANCH || s.depth == t.bits) {
        Entry e = s.depth;
        if (n.type == NODE_BRANCH) {
          const unsigned sub = std::min<std::uint32_t>(SUB_BITS, height[s.node]);
          e |= Entry{entries.size()} << 8 | Entry{sub} << 40;
          pending.push_back({s.node, entries.size(), sub});
          entries.resize(entries.size() + (std::size_t{1} << sub));
        } else if (n.type == NODE_BYTE || n.type == NODE_PAIR || n.type == NODE_QUAD) {
          const unsigned width = n.type == NODE_BYTE ? 1 : n.type == NODE_PAIR ? 2 : 4;
          for (unsigned i = 0; i < width; ++i) e |= Entry{n.value[i]} << (8 + 8 * i);
          e |= Entry{width} << 56;
        }  // else the end of the page
        const unsigned spread = t.bits - s.depth;
        const std::size_t from = t.first + (s.prefix << spread);
        std::fill(entries.begin() + static_cast<std::ptrdiff_t>(from),
                  entries.begin() + static_cast<std::ptrdiff_t>(from + (std::size_t{1} << spread)), e);
        continue;
      }
      stack.push_back({static_cast<std::size_t>(n.child_zero), s.depth + 1, s.prefix << 1});
      stack.push_back({static_cast<std::size_t>(n.child_one), s.depth + 1, (s.prefix << 1) | 1});
    }
  }
  // The run table: where the first code ends within the root bits, the next
  // code starts with the bits of i after it, and is known from them when it
  // ends within them too.
  for (std::size_t i = 0; i < ROOT_SIZE; ++i) {
    Entry run = entries[ROOT_SIZE + i];
    const unsigned bits = bits_of(run), n = count_of(run);
    if (n != 0 && bits < ROOT_BITS) {
      const Entry second = entries[ROOT_SIZE + ((i << bits) & (ROOT_SIZE - 1))];
      const unsigned bits2 = bits_of(second), n2 = count_of(second);
      if (n2 != 0 && bits2 <= ROOT_BITS - bits && n + n2 <= RUN_BYTES) {
        const Entry bytes2 = (second >> 8) & ((Entry{1} << (8 * n2)) - 1);
        run = Entry{bits + bits2} | ((run >> 8) & ((Entry{1} << (8 * n)) - 1)) << 8 | bytes2 << (8 + 8 * n) |
              Entry{n + n2} << 56;
      }
    }
    entries[i] = run;
  }
  return table;
}

bool DecodingTable::decode(std::span<const std::uint8_t> stream, std::uint8_t* page) const {
  constexpr std::size_t kPage = static_cast<std::size_t>(PAGE_SIZE);
  // The stream with zero bytes behind it, so that eight bytes can be loaded
  // at any position up to eight bytes past its end; bits past the stream are
  // checked against its length.
  constexpr std::size_t kPad = 16;
  std::uint8_t bytes[kPage + kPad];
  const std::size_t size = std::min(stream.size(), kPage);
  if (size > 0) std::memcpy(bytes, stream.data(), size);
  std::memset(bytes + size, 0, kPad);
  const std::size_t total_bits = size * 8;

  const Entry* const entries = entries_.data();
  const Entry* const runs = entries;
  const Entry* const singles = entries + ROOT_SIZE;

  // The fast loop takes three steps per load of stream bytes, a step being a
  // run or a code that ends in its subtable. It runs while the stream holds
  // the bits of three steps and the page has room for their stores, so it
  // checks neither; anything else (a longer code, the end-of-page symbol)
  // leaves it for one careful step.
  constexpr unsigned kSteps = 3;
  constexpr std::size_t kStepsBits = kSteps * (ROOT_BITS + SUB_BITS);
  constexpr std::size_t kStepsBytes = (kSteps - 1) * RUN_BYTES + 8;
  static_assert(kStepsBits <= 56);

  std::size_t bit = 0;  // stream bits taken
  std::size_t out = 0;  // page bytes written
  for (;;) {
    if (out + kStepsBytes <= kPage && bit + kStepsBits <= total_bits) {
      // The next stream bits from the top bit of `window` down: `avail` of
      // them reach to the byte `next`; below them are zeros or the bits
      // that follow, so a load at `next` can be or-ed in. Each step shifts
      // the window by the bits it takes; the load of the next bytes does not
      // wait for the steps, only its shift by `avail` does.
      const std::uint8_t* next = bytes + (bit >> 3) + 8;
      std::uint64_t window = load_be64(next - 8) << (bit & 7);
      unsigned avail = 64 - static_cast<unsigned>(bit & 7);
      auto step = [&] {
        Entry e = runs[window >> (64 - ROOT_BITS)];
        if (count_of(e) == 0) [[unlikely]] {
          const unsigned sub = sub_bits_of(e);
          if (sub == 0) return false;
          const std::uint64_t rest = window << bits_of(e);
          const Entry leaf = entries[first_of(e) + (rest >> (64 - sub))];
          if (count_of(leaf) == 0) return false;
          window = rest;
          avail -= bits_of(e);
          e = leaf;
        }
        store_le64(page + out, e >> 8);  // bytes past the count are overwritten or cleared below
        out += count_of(e);
        window <<= e & 63;  // bits_of(e), at most ROOT_BITS
        avail -= bits_of(e);
        return true;
      };
      static_assert(kSteps == 3);
      do {
        if (!step() || !step() || !step()) break;
        window |= load_be64(next) >> avail;  // avail <= 61: the steps took at least three bits
        next += (63 - avail) >> 3;
        avail |= 56;
      } while (out + kStepsBytes <= kPage &&
               static_cast<std::size_t>(next - bytes) * 8 - avail + kStepsBits <= total_bits);
      bit = static_cast<std::size_t>(next - bytes) * 8 - avail;
    }
    if (out >= kPage) return true;  // full; the rest of the stream is not needed

    // One symbol with every check: the run when the stream holds it, else
    // the first code alone, through its subtables.
    std::uint64_t window = load_be64(bytes + (bit >> 3)) << (bit & 7);
    Entry e = runs[window >> (64 - ROOT_BITS)];
    if (count_of(e) != 0 && bit + bits_of(e) <= total_bits) {
      bit += bits_of(e);
    } else {
      const Entry* table = singles;
      unsigned width = ROOT_BITS;
      for (;;) {
        e = table[window >> (64 - width)];
        if (bit + bits_of(e) > total_bits) {
          // The code runs past the stream: the page is cut short.
          std::memset(page + out, 0, kPage - out);
          return false;
        }
        bit += bits_of(e);
        if (count_of(e) != 0 || sub_bits_of(e) == 0) break;
        table = entries + first_of(e);
        width = sub_bits_of(e);
        window = load_be64(bytes + (bit >> 3)) << (bit & 7);
      }
      if (count_of(e) == 0) {  // the end of the page
        std::memset(page + out, 0, kPage - out);
        return true;
      }
    }
    // Bytes past the end of the page are dropped.
    const std::size_t n = std::min<std::size_t>(count_of(e), kPage - out);
    for (std::size_t i = 0; i < n; ++i) page[out + i] = static_cast<std::uint8_t>(e >> (8 + 8 * i));
    out += n;
  }
}

}  // namespace tolvex
