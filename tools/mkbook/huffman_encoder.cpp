#include "huffman_encoder.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace tolvex::testbook {

namespace {

constexpr std::size_t HEADER_AREA = 48;
constexpr std::size_t GROUP_BYTES = 36;

std::uint16_t pair_key(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
std::uint32_t quad_key(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
      static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
  v[at] = static_cast<std::uint8_t>(x >> 24);
  v[at + 1] = static_cast<std::uint8_t>(x >> 16);
  v[at + 2] = static_cast<std::uint8_t>(x >> 8);
  v[at + 3] = static_cast<std::uint8_t>(x);
}

// Bytes of the page that must be encoded: up to its last non-zero byte, since
// the reader fills the rest of a page with zeros after the end symbol.
std::size_t used_length(const Page& page) {
  std::size_t n = PAGE_BYTES;
  while (n > 0 && page[n - 1] == 0) --n;
  return n;
}

// Greedy longest match over the known symbols; calls emit(length, position).
template <typename HasQuad, typename HasPair, typename Emit>
void tokenize(const Page& page, std::size_t n, HasQuad has_quad, HasPair has_pair, Emit emit) {
  std::size_t i = 0;
  while (i < n) {
    if (i + 4 <= n && has_quad(quad_key(&page[i]))) {
      emit(4, i);
      i += 4;
    } else if (i + 2 <= n && has_pair(pair_key(&page[i]))) {
      emit(2, i);
      i += 2;
    } else {
      emit(1, i);
      i += 1;
    }
  }
}

// The most frequent keys (count >= min_count), most frequent first, ties by key.
template <typename Key>
std::vector<Key> top_keys(const std::map<Key, std::uint64_t>& counts, std::size_t limit, std::uint64_t min_count) {
  std::vector<std::pair<Key, std::uint64_t>> all(counts.begin(), counts.end());
  std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  std::vector<Key> keys;
  for (const auto& [key, count] : all) {
    if (keys.size() >= limit || count < min_count) break;
    keys.push_back(key);
  }
  return keys;
}

std::uint16_t scaled(std::uint64_t count, std::uint64_t max_count, bool allow_zero) {
  std::uint64_t w = count;
  if (max_count > 0xFFFF) w = (count * 0xFFFF + max_count - 1) / max_count;
  if (count > 0 && w == 0) w = 1;
  if (w == 0 && !allow_zero) w = 1;
  return static_cast<std::uint16_t>(std::min<std::uint64_t>(w, 0xFFFF));
}

}  // namespace

std::int32_t FrequencyTable::table_length() const {
  return kind == HUFFMAN_KIND ? static_cast<std::int32_t>(512 + 4 * pairs.size())
                              : static_cast<std::int32_t>(4608 + 6 * quads.size());
}

std::vector<std::uint8_t> FrequencyTable::serialize() const {
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(table_length()));
  auto weight = [&out](std::uint16_t w) {
    out.push_back(static_cast<std::uint8_t>(w >> 8));
    out.push_back(static_cast<std::uint8_t>(w));
  };
  for (const auto& [v, w] : quads) {
    out.insert(out.end(), v.begin(), v.end());
    weight(w);
  }
  for (const auto& [v, w] : pairs) {
    out.insert(out.end(), v.begin(), v.end());
    weight(w);
  }
  for (std::uint16_t w : bytes) weight(w);
  return out;
}

FrequencyTable choose_symbols(int kind, std::span<const Page> pages, const HuffmanOptions& options,
                              const std::set<std::uint16_t>& extra_pairs) {
  FrequencyTable table;
  table.kind = kind;

  // Candidates: two- and four-byte sequences at even offsets, where text
  // units (two-byte characters and escapes) start.
  std::map<std::uint16_t, std::uint64_t> pair_counts;
  std::map<std::uint32_t, std::uint64_t> quad_counts;
  for (const Page& page : pages) {
    const std::size_t n = used_length(page);
    for (std::size_t i = 0; i + 2 <= n; i += 2) {
      ++pair_counts[pair_key(&page[i])];
      if (kind == FLAGGED_HUFFMAN_KIND && i + 4 <= n) ++quad_counts[quad_key(&page[i])];
    }
  }
  std::vector<std::uint32_t> quads;
  if (kind == FLAGGED_HUFFMAN_KIND)
    quads = top_keys(quad_counts, static_cast<std::size_t>(std::max(options.max_quads, 0)), 3);
  const std::size_t pair_limit =
      kind == FLAGGED_HUFFMAN_KIND ? 1024 : static_cast<std::size_t>(std::max(options.max_pairs, 0));
  std::vector<std::uint16_t> pairs = top_keys(pair_counts, pair_limit, 2);
  for (std::uint16_t p : extra_pairs) {
    if (kind == HUFFMAN_KIND && std::find(pairs.begin(), pairs.end(), p) == pairs.end()) pairs.push_back(p);
  }
  if (kind == FLAGGED_HUFFMAN_KIND) {
    // Kind 2 always has 1024 pair records: fill up with pairs no page uses.
    std::set<std::uint16_t> taken(pairs.begin(), pairs.end());
    for (std::uint32_t v = 0; pairs.size() < 1024; ++v) {
      if (!taken.count(static_cast<std::uint16_t>(v)) && !pair_counts.count(static_cast<std::uint16_t>(v)))
        pairs.push_back(static_cast<std::uint16_t>(v));
    }
  }

  // Count how often the encoder will actually emit every symbol.
  std::map<std::uint32_t, std::uint64_t> quad_use;
  std::map<std::uint16_t, std::uint64_t> pair_use;
  std::array<std::uint64_t, 256> byte_use{};
  for (std::uint32_t q : quads) quad_use[q] = 0;
  for (std::uint16_t p : pairs) pair_use[p] = 0;
  for (const Page& page : pages) {
    tokenize(
        page, used_length(page), [&](std::uint32_t k) { return quad_use.count(k) != 0; },
        [&](std::uint16_t k) { return pair_use.count(k) != 0; },
        [&](int len, std::size_t at) {
          if (len == 4) ++quad_use[quad_key(&page[at])];
          else if (len == 2) ++pair_use[pair_key(&page[at])];
          else ++byte_use[page[at]];
        });
  }
  std::uint64_t max_count = 1;
  for (const auto& [k, c] : quad_use) max_count = std::max(max_count, c);
  for (const auto& [k, c] : pair_use) max_count = std::max(max_count, c);
  for (std::uint64_t c : byte_use) max_count = std::max(max_count, c);

  for (std::uint32_t q : quads) {
    const std::array<std::uint8_t, 4> v{static_cast<std::uint8_t>(q >> 24), static_cast<std::uint8_t>(q >> 16),
                                        static_cast<std::uint8_t>(q >> 8), static_cast<std::uint8_t>(q)};
    table.quads.emplace_back(v, scaled(quad_use[q], max_count, options.allow_zero_weights));
  }
  for (std::uint16_t p : pairs) {
    const std::array<std::uint8_t, 2> v{static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p)};
    table.pairs.emplace_back(v, scaled(pair_use[p], max_count, options.allow_zero_weights));
  }
  for (int b = 0; b < 256; ++b) table.bytes[b] = scaled(byte_use[b], max_count, options.allow_zero_weights);
  return table;
}

HuffmanEncoder::HuffmanEncoder(const FrequencyTable& table) {
  LeafCounts counts;
  leaf_counts(table.kind, table.table_length(), counts);
  const std::vector<std::uint8_t> raw = table.serialize();
  tree_ = build_tree_from_leaves(leaves_from_table(counts, raw));
  const std::int32_t leaves = counts.leaves();
  for (std::int32_t i = 0; i < leaves; ++i) {
    Code code;
    for (std::int32_t x = i; tree_.nodes[x].parent != NO_NODE; x = tree_.nodes[x].parent) {
      code.push_back(tree_.nodes[tree_.nodes[x].parent].child_one == x ? 1 : 0);
    }
    std::reverse(code.begin(), code.end());
    const DecodingNode& leaf = tree_.nodes[i];
    switch (leaf.type) {
      case NODE_BYTE: byte_codes_[leaf.value[0]] = std::move(code); break;
      case NODE_PAIR: pair_codes_.emplace(pair_key(leaf.value), std::move(code)); break;
      case NODE_QUAD: quad_codes_.emplace(quad_key(leaf.value), std::move(code)); break;
      default: end_code_ = std::move(code); break;
    }
  }
}

std::vector<std::uint8_t> HuffmanEncoder::encode_page(const Page& page, bool end_after_full_page) const {
  std::vector<std::uint8_t> out;
  int bit = 0;  // bits used in the last byte of out
  auto put = [&](const Code& code) {
    for (std::uint8_t b : code) {
      if (bit == 0) out.push_back(0);
      if (b) out.back() |= static_cast<std::uint8_t>(0x80 >> bit);
      bit = (bit + 1) & 7;
    }
  };
  const std::size_t n = used_length(page);
  tokenize(
      page, n, [&](std::uint32_t k) { return quad_codes_.count(k) != 0; },
      [&](std::uint16_t k) { return pair_codes_.count(k) != 0; },
      [&](int len, std::size_t at) {
        if (len == 4) put(quad_codes_.at(quad_key(&page[at])));
        else if (len == 2) put(pair_codes_.at(pair_key(&page[at])));
        else put(byte_codes_[page[at]]);
      });
  if (n < PAGE_BYTES || end_after_full_page) put(end_code_);
  return out;
}

bool compress_pages(int kind, std::span<const Page> pages, const HuffmanOptions& options, CompressedFile& out,
                    std::string& error) {
  if (kind != HUFFMAN_KIND && kind != FLAGGED_HUFFMAN_KIND) {
    error = "compression kind must be 1 or 2";
    return false;
  }
  if (pages.empty()) {
    error = "a compressed file needs at least one page";
    return false;
  }
  // A kind-1 page whose stream would not fit the 2048 bytes read_block reads
  // gets its own pairs as symbols, and the table is made again.
  std::set<std::uint16_t> extra_pairs;
  FrequencyTable table = choose_symbols(kind, pages, options, extra_pairs);
  for (int round = 0; kind == HUFFMAN_KIND && round < 4; ++round) {
    const HuffmanEncoder trial(table);
    const std::size_t before = extra_pairs.size();
    for (const Page& page : pages) {
      if (trial.encode_page(page, options.end_symbol_after_full_page).size() <= PAGE_BYTES) continue;
      for (std::size_t i = 0; i + 2 <= used_length(page); i += 2) extra_pairs.insert(pair_key(&page[i]));
    }
    if (extra_pairs.size() == before) break;
    table = choose_symbols(kind, pages, options, extra_pairs);
  }
  const HuffmanEncoder encoder(table);
  const std::vector<std::uint8_t> table_bytes = table.serialize();

  const std::size_t groups = (pages.size() + 15) / 16;
  out = CompressedFile{};
  out.index_offset = static_cast<std::int32_t>(HEADER_AREA);
  out.table_offset = static_cast<std::int32_t>(HEADER_AREA + groups * GROUP_BYTES);
  out.table_length = table.table_length();
  std::vector<std::uint8_t>& file = out.bytes;
  file.assign(static_cast<std::size_t>(out.table_offset), 0);
  file.insert(file.end(), table_bytes.begin(), table_bytes.end());
  put32(file, 0, static_cast<std::uint32_t>(out.index_offset));
  put32(file, 4, static_cast<std::uint32_t>(groups * GROUP_BYTES));  // the EB library reads this as index length
  put32(file, 8, static_cast<std::uint32_t>(out.table_offset));
  put32(file, 12, static_cast<std::uint32_t>(out.table_length));
  put32(file, 16, 0);

  out.raw_pages.assign(pages.size(), false);
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const std::size_t group = p / 16;
    const std::size_t slot = p % 16;
    const std::size_t record = HEADER_AREA + group * GROUP_BYTES;
    if (slot == 0) put32(file, record, static_cast<std::uint32_t>(file.size()));
    const std::size_t base = (std::size_t{file[record]} << 24) | (std::size_t{file[record + 1]} << 16) |
        (std::size_t{file[record + 2]} << 8) | file[record + 3];
    const std::size_t offset = file.size() - base;
    if (offset > 0xFFFF) {
      error = "page " + std::to_string(p + 1) + " lies more than 65535 bytes after the start of its group";
      return false;
    }
    file[record + 4 + 2 * slot] = static_cast<std::uint8_t>(offset >> 8);
    file[record + 5 + 2 * slot] = static_cast<std::uint8_t>(offset);

    std::vector<std::uint8_t> stream = encoder.encode_page(pages[p], options.end_symbol_after_full_page);
    bool raw = false;
    if (kind == FLAGGED_HUFFMAN_KIND) {
      const bool forced = std::find(options.force_raw_pages.begin(), options.force_raw_pages.end(),
                                    static_cast<std::uint32_t>(p + 1)) != options.force_raw_pages.end();
      raw = forced || (options.raw_when_larger && stream.size() >= PAGE_BYTES);
      out.raw_pages[p] = raw;
      file.push_back(raw ? 1 : 0);
    }
    if (raw) {
      file.insert(file.end(), pages[p].begin(), pages[p].end());
    } else if (stream.size() > PAGE_BYTES) {
      // read_block reads at most 2048 bytes of a page's stream.
      error = "page " + std::to_string(p + 1) + " needs " + std::to_string(stream.size()) + " stream bytes";
      return false;
    } else {
      file.insert(file.end(), stream.begin(), stream.end());
    }
  }
  return true;
}

}  // namespace tolvex::testbook
