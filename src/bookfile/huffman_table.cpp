#include "bookfile/huffman_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>

#include "bookfile/book_file.h"
#include "platform/compiler.h"

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

}  // namespace

// The steps of the decoding loops are inlined (TOLVEX_ALWAYS_INLINE): as
// calls, the lane's window would go through memory between them.

namespace {

// Heights, children first: every branch of the builder's array lies above
// its children, which also rules out cycles. Empty when a link breaks that.
std::vector<std::uint32_t> node_heights(const std::vector<DecodingNode>& nodes) {
  const std::size_t count = nodes.size();
  std::vector<std::uint32_t> height(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const DecodingNode& n = nodes[i];
    if (n.type != NODE_BRANCH) continue;
    if (n.child_one < 0 || n.child_zero < 0 || static_cast<std::size_t>(n.child_one) >= i ||
        static_cast<std::size_t>(n.child_zero) >= i) {
      return {};
    }
    height[i] = 1 +
        std::max(height[static_cast<std::size_t>(n.child_one)], height[static_cast<std::size_t>(n.child_zero)]);
  }
  return height;
}

}  // namespace

std::shared_ptr<const DecodingTable> DecodingTable::build(const DecodingTree& tree) {
  const std::vector<DecodingNode>& nodes = tree.nodes;
  const std::size_t count = nodes.size();
  if (count < 3) return nullptr;
  const std::vector<std::uint32_t> height = node_heights(nodes);
  if (height.empty() || nodes[count - 1].type != NODE_BRANCH) return nullptr;
  auto table = std::make_shared<DecodingTable>();
  table->node_count_ = count;
  table->fill_tables(nodes, height);
  table->fill_runs();
  return table;
}

void DecodingTable::fill_tables(const std::vector<DecodingNode>& nodes, const std::vector<std::uint32_t>& height) {
  struct Pending {
    std::size_t node;
    std::size_t first;  // index of the table's first entry
    unsigned bits;
  };
  std::deque<Pending> pending;
  std::vector<Entry>& entries = entries_;
  entries.resize(2 * ROOT_SIZE);
  pending.push_back({nodes.size() - 1, ROOT_SIZE, ROOT_BITS});

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
        Entry e;
        e.bits = static_cast<std::uint8_t>(s.depth);
        if (n.type == NODE_BRANCH) {
          const unsigned sub = std::min<std::uint32_t>(SUB_BITS, height[s.node]);
          const auto first = static_cast<std::uint32_t>(entries.size());
          std::memcpy(e.out, &first, sizeof first);
          e.out[4] = static_cast<std::uint8_t>(sub);
          pending.push_back({s.node, entries.size(), sub});
          entries.resize(entries.size() + (std::size_t{1} << sub));
        } else if (n.type == NODE_BYTE || n.type == NODE_PAIR || n.type == NODE_QUAD) {
          e.count = n.type == NODE_BYTE ? 1 : n.type == NODE_PAIR ? 2 : 4;
          std::memcpy(e.out, n.value, e.count);
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
}

// The run table: where the first code ends within the root bits, the next
// code starts with the bits of i after it, and is known from them when it
// ends within them too.
void DecodingTable::fill_runs() {
  std::vector<Entry>& entries = entries_;
  run_bits_.resize(ROOT_SIZE);
  for (std::size_t i = 0; i < ROOT_SIZE; ++i) {
    Entry run = entries[ROOT_SIZE + i];
    if (run.count != 0 && run.bits < ROOT_BITS) {
      const Entry& second = entries[ROOT_SIZE + ((i << run.bits) & (ROOT_SIZE - 1))];
      if (second.count != 0 && second.bits <= ROOT_BITS - run.bits && run.count + second.count <= RUN_BYTES) {
        std::memcpy(run.out + run.count, second.out, second.count);
        run.bits = static_cast<std::uint8_t>(run.bits + second.bits);
        run.count = static_cast<std::uint8_t>(run.count + second.count);
      }
    }
    entries[i] = run;
    run_bits_[i] = run.count == 0 ? 0 : run.bits;
  }
}

// A decoding position: the next stream bits from the top bit of `window`
// down; `avail` of them reach to the byte `next`, below them are zeros or
// the bits that follow, so a load at `next` can be or-ed in. Each step shifts
// the window by the bits it takes; the load of the next bytes does not wait
// for the steps, only its shift by `avail` does.
struct DecodingTable::Lane {
  const std::uint8_t* next;
  std::uint64_t window;
  unsigned avail;
  std::uint8_t* out;  // where the next bytes go

  Lane(const std::uint8_t* bytes, std::size_t bit, std::uint8_t* at)
      : next(bytes + (bit >> 3) + 8),
        window(load_be64(bytes + (bit >> 3)) << (bit & 7)),
        avail(64 - static_cast<unsigned>(bit & 7)),
        out(at) {}

  TOLVEX_ALWAYS_INLINE std::size_t bit(const std::uint8_t* bytes) const {
    return static_cast<std::size_t>(next - bytes) * 8 - avail;
  }

  // A run, or a code that ends in its subtable, written with one store (the
  // bytes past the count are overwritten later or cleared); false, taking
  // nothing, for a longer code or the end of the page.
  TOLVEX_ALWAYS_INLINE bool step(const Entry* entries, const std::uint8_t* run_bits) {
    const std::size_t i = window >> (64 - ROOT_BITS);
    unsigned bits = run_bits[i];
    const Entry* e = entries + i;
    if (bits == 0) [[unlikely]] {
      const unsigned sub = e->sub_bits();
      if (sub == 0) return false;
      const std::uint64_t rest = window << e->bits;
      const Entry* leaf = entries + e->first() + (rest >> (64 - sub));
      if (leaf->count == 0) return false;
      window = rest;
      avail -= e->bits;
      e = leaf;
      bits = leaf->bits;
    }
    std::memcpy(out, e, sizeof *e);
    out += e->count;
    window <<= bits;
    avail -= bits;
    return true;
  }
  // After three steps: they took at least three bits and at most
  // STEPS_BITS of the 56 or more there were.
  TOLVEX_ALWAYS_INLINE void refill() {
    window |= load_be64(next) >> avail;
    next += (63 - avail) >> 3;
    avail |= 56;
  }
  static constexpr std::size_t STEPS_BITS = 3 * (ROOT_BITS + SUB_BITS);
  static constexpr std::size_t STEPS_BYTES = 2 * RUN_BYTES + 8;  // reach of the stores of three steps
  static_assert(STEPS_BITS <= 56);
};

// Kept as one function: it is the inner loop of every compressed page, and
// its two lanes, marks and bit positions live in registers across the phases
// (two lanes, one lane, single codes); split into calls they would go through
// memory on every step.
bool DecodingTable::decode(std::span<const std::uint8_t> stream, std::uint8_t* page, std::size_t page_bits) const {
  constexpr std::size_t kPage = static_cast<std::size_t>(PAGE_SIZE);
  const std::uint8_t* const bytes = stream.data();
  const std::size_t size = std::min(stream.size(), kPage);
  const std::size_t total_bits = size * 8;
  const Entry* const entries = entries_.data();
  const Entry* const singles = entries + ROOT_SIZE;
  const std::uint8_t* const run_bits = run_bits_.data();

  // The eight bytes from `byte` on, zeros past the end of the stream: bits
  // past it are read, but a code is only taken when its bits are all there.
  auto load_at = [bytes, size](std::size_t byte) {
    if (byte + 8 <= size) return load_be64(bytes + byte);
    std::uint8_t tail[8] = {};
    if (byte < size) std::memcpy(tail, bytes + byte, size - byte);
    return load_be64(tail);
  };
  // Lanes go three steps at a time without checks while the eight bytes at
  // their `next` are in the stream (so the steps' bits are too) and the
  // output has room for the stores. A lane starts where that holds at least once.
  const std::uint8_t* const load_stop = size >= 16 ? bytes + (size - 8) : nullptr;
  std::uint8_t* const page_stop = page + (kPage - Lane::STEPS_BYTES);
  auto can_start = [size](std::size_t bit, std::size_t out) {
    return size >= 16 && (bit >> 3) + 16 <= size && out + Lane::STEPS_BYTES <= kPage;
  };

  // Each code depends on the end of the one before, so one lane waits for
  // every lookup. A second lane starts at the split, the middle of the
  // page's stream, and decodes into `second` alongside the first, marking
  // where it stands every three steps. Codes resynchronise within a few
  // symbols: once the first lane, past the split, stands where the second
  // one made a mark, the second lane's bytes from that mark on are the
  // page's, and decoding goes on where it stopped. Where they never meet (or
  // the page ends before the split), the first lane decodes on alone.
  std::size_t bit = 0;  // stream bits taken
  std::size_t out = 0;  // page bytes written
  const std::size_t split = page_bits / 2;
  bool meeting = split >= 64 && can_start(0, 0) && can_start(split, 0);
  std::uint8_t second[kPage];
  constexpr std::size_t kMarks = kPage / 3 + 2;  // every step writes a byte
  std::uint16_t mark_bit[kMarks], mark_out[kMarks];
  std::size_t marks = 0;
  std::size_t second_bit = 0, second_out = 0;  // where the second lane stopped
  if (meeting) {
    Lane a(bytes, 0, page), b(bytes, split, second);
    // The first lane stands past the split once its `next` reaches a_stop
    // (`avail` is at most 64).
    const std::uint8_t* const a_stop = bytes + (split + 7) / 8 + 8;
    std::uint8_t* const second_stop = second + (kPage - Lane::STEPS_BYTES);
    while (a.next < a_stop && a.next <= load_stop && b.next <= load_stop && a.out <= page_stop &&
           b.out <= second_stop) {
      mark_bit[marks] = static_cast<std::uint16_t>(b.bit(bytes));
      mark_out[marks++] = static_cast<std::uint16_t>(b.out - second);
      if (!a.step(entries, run_bits) || !b.step(entries, run_bits) || !a.step(entries, run_bits) ||
          !b.step(entries, run_bits) || !a.step(entries, run_bits) || !b.step(entries, run_bits)) {
        break;
      }
      a.refill();
      b.refill();
    }
    second_bit = b.bit(bytes);
    second_out = static_cast<std::size_t>(b.out - second);
    mark_bit[marks] = static_cast<std::uint16_t>(second_bit);
    mark_out[marks++] = static_cast<std::uint16_t>(second_out);
    bit = a.bit(bytes);
    out = static_cast<std::size_t>(a.out - page);
  }

  std::size_t mark = 0;
  for (;;) {
    if (meeting && bit >= split) {
      while (mark < marks && mark_bit[mark] < bit) ++mark;
      if (mark == marks) {
        meeting = false;
      } else if (mark_bit[mark] == bit) {
        const std::size_t n = std::min<std::size_t>(second_out - mark_out[mark], kPage - out);
        std::memcpy(page + out, second + mark_out[mark], n);
        out += n;
        bit = second_bit;
        meeting = false;
      }
    }
    // Until the lanes meet, single codes, so that no mark is passed over inside a run.
    const bool single = meeting && bit >= split;
    if (!single && can_start(bit, out)) {
      Lane a(bytes, bit, page + out);
      while (a.step(entries, run_bits) && a.step(entries, run_bits) && a.step(entries, run_bits)) {
        a.refill();
        if (a.next > load_stop || a.out > page_stop || (meeting && a.bit(bytes) >= split)) break;
      }
      bit = a.bit(bytes);
      out = static_cast<std::size_t>(a.out - page);
      if (meeting && bit >= split) continue;
    }
    if (out >= kPage) return true;  // full; the rest of the stream is not needed

    // One symbol with every check: the run when the stream holds it, else
    // the first code alone, through its subtables.
    std::uint64_t window = load_at(bit >> 3) << (bit & 7);
    const Entry* e = entries + (window >> (64 - ROOT_BITS));
    if (!single && e->count != 0 && bit + e->bits <= total_bits) {
      bit += e->bits;
    } else {
      const Entry* table = singles;
      unsigned width = ROOT_BITS;
      for (;;) {
        e = table + (window >> (64 - width));
        if (bit + e->bits > total_bits) {
          // The code runs past the stream: the page is cut short.
          std::memset(page + out, 0, kPage - out);
          return false;
        }
        bit += e->bits;
        if (e->count != 0 || e->sub_bits() == 0) break;
        table = entries + e->first();
        width = e->sub_bits();
        window = load_at(bit >> 3) << (bit & 7);
      }
      if (e->count == 0) {  // the end of the page
        std::memset(page + out, 0, kPage - out);
        return true;
      }
    }
    // Bytes past the end of the page are dropped.
    const std::size_t n = std::min<std::size_t>(e->count, kPage - out);
    std::memcpy(page + out, e->out, n);
    out += n;
  }
}

}  // namespace tolvex
