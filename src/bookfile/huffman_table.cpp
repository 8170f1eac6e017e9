#include "bookfile/huffman_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>

#include "bookfile/book_file.h"

namespace tolvex {

namespace {

std::uint64_t load_be64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) {
#if defined(__GNUC__) || defined(__clang__)
    v = __builtin_bswap64(v);
#else
    v = ((v & 0x00000000FFFFFFFFull) << 32) | (v >> 32);
    v = ((v & 0x0000FFFF0000FFFFull) << 16) | ((v >> 16) & 0x0000FFFF0000FFFFull);
    v = ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
#endif
  }
  return v;
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
  table->root_bits_ = std::min<std::uint32_t>(ROOT_BITS, height[root]);

  struct Pending {
    std::size_t node;
    std::size_t first;  // index of the table's first entry
    unsigned bits;
  };
  std::deque<Pending> pending;
  std::vector<Entry>& entries = table->entries_;
  entries.resize(std::size_t{1} << table->root_bits_);
  pending.push_back({root, 0, table->root_bits_});

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
          e.kind = SUBTABLE;
          e.sub_bits = static_cast<std::uint8_t>(sub);
          e.data = static_cast<std::uint32_t>(entries.size());
          pending.push_back({s.node, entries.size(), sub});
          entries.resize(entries.size() + (std::size_t{1} << sub));
        } else {
          e.kind = n.type == NODE_BYTE ? BYTE1 : n.type == NODE_PAIR ? BYTE2 : n.type == NODE_QUAD ? BYTE4 : END;
          std::memcpy(&e.data, n.value, 4);
        }
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
  // Runs of one or two leaves within the root bits.
  const unsigned rb = table->root_bits_;
  table->runs_.resize(std::size_t{1} << rb);
  for (std::size_t i = 0; i < table->runs_.size(); ++i) {
    const Entry& first = entries[i];
    Run run;
    if (first.kind == SUBTABLE) {
      run.data = first.data;
      run.bits = first.bits;
      run.sub_bits = first.sub_bits;
      table->runs_[i] = run;
      continue;
    }
    if (first.kind == END) continue;
    std::memcpy(&run.data, &first.data, 4);
    run.bits = first.bits;
    run.count = first.kind;
    // The next code starts with the bits of i after the first code; it is
    // known from them when it ends within them.
    const unsigned left = rb - first.bits;
    if (left > 0) {
      const std::size_t j = (i << first.bits) & ((std::size_t{1} << rb) - 1);
      const Entry& second = entries[j];
      if (second.kind != SUBTABLE && second.kind != END && second.bits <= left) {
        std::uint8_t bytes[8];
        std::memcpy(bytes, &run.data, 8);
        std::memcpy(bytes + run.count, &second.data, second.kind);
        std::memcpy(&run.data, bytes, 8);
        run.bits = static_cast<std::uint8_t>(run.bits + second.bits);
        run.count = static_cast<std::uint8_t>(run.count + second.kind);
      }
    }
    table->runs_[i] = run;
  }
  return table;
}

bool DecodingTable::decode(std::span<const std::uint8_t> stream, std::uint8_t* page) const {
  constexpr std::size_t kPage = static_cast<std::size_t>(PAGE_SIZE);
  // The stream with eight zero bytes behind it, so that the next 64 bits can
  // always be loaded; bits past the stream are checked against its length.
  std::uint8_t bytes[kPage + 8];
  const std::size_t size = std::min(stream.size(), kPage);
  if (size > 0) std::memcpy(bytes, stream.data(), size);
  std::memset(bytes + size, 0, 8);
  const std::size_t total_bits = stream.size() <= kPage ? size * 8 : kPage * 8;

  const Entry* const root = entries_.data();
  const Run* const runs = runs_.data();
  const unsigned run_shift = 64 - root_bits_;
  std::size_t bit = 0;
  std::size_t out = 0;
  // While 32 bits or more of the stream are left, a run or a code ending in
  // its subtable (at most ROOT_BITS + SUB_BITS bits) needs no check on it.
  static_assert(ROOT_BITS + SUB_BITS <= 32);
  while (out + 8 <= kPage && bit + 32 <= total_bits) {
    const std::uint64_t window = load_be64(bytes + (bit >> 3)) << (bit & 7);
    const Run& r = runs[window >> run_shift];
    if (r.count != 0) {
      std::memcpy(page + out, &r.data, 8);  // bytes past the run are overwritten or cleared below
      out += r.count;
      bit += r.bits;
      continue;
    }
    if (r.sub_bits == 0) break;  // the end of the page
    const Entry& e = root[r.data + ((window << r.bits) >> (64 - r.sub_bits))];
    if (e.kind == SUBTABLE || e.kind == END) break;
    std::memcpy(page + out, &e.data, 4);
    out += e.kind;
    bit += std::size_t{r.bits} + e.bits;
  }
  while (out < kPage) {
    if (out + 8 <= kPage) {
      // One or two short codes at once, or a code that ends in its
      // subtable, when the stream holds them; anything else takes the
      // careful steps below. The window has at least 57 bits, more than
      // a root entry and a subtable take together.
      const std::uint64_t window = load_be64(bytes + (bit >> 3)) << (bit & 7);
      const Run& r = runs[window >> run_shift];
      if (r.count != 0) {
        if (bit + r.bits <= total_bits) {
          std::memcpy(page + out, &r.data, 8);  // bytes past the run are overwritten or cleared below
          out += r.count;
          bit += r.bits;
          continue;
        }
      } else if (r.sub_bits != 0) {
        const Entry& e = root[r.data + ((window << r.bits) >> (64 - r.sub_bits))];
        const std::size_t used = std::size_t{r.bits} + e.bits;
        if (e.kind != SUBTABLE && e.kind != END && bit + used <= total_bits) {
          std::memcpy(page + out, &e.data, 4);
          out += e.kind;
          bit += used;
          continue;
        }
      }
    }
    const Entry* table = root;
    unsigned width = root_bits_;
    Entry e;
    for (;;) {
      const std::uint64_t window = load_be64(bytes + (bit >> 3)) << (bit & 7);
      e = table[window >> (64 - width)];
      if (bit + e.bits > total_bits) {
        // The code runs past the stream: the page is cut short.
        std::memset(page + out, 0, kPage - out);
        return false;
      }
      bit += e.bits;
      if (e.kind != SUBTABLE) break;
      table = root + e.data;
      width = e.sub_bits;
    }
    if (e.kind == END) break;
    if (out + 4 <= kPage) {
      std::memcpy(page + out, &e.data, 4);  // bytes past the symbol are overwritten or cleared below
      out += e.kind;
    } else {
      const std::size_t n = std::min<std::size_t>(e.kind, kPage - out);
      std::memcpy(page + out, &e.data, n);
      out += n;
    }
  }
  if (out < kPage) std::memset(page + out, 0, kPage - out);
  return true;
}

}  // namespace tolvex
