// Test-only helpers: a small Huffman encoder that takes its codes from the
// very tree the reader builds (build_tree_from_leaves), and a writer of whole
// compressed files (header, page index, frequency tables, page records).
// Used by the bookfile tests and the read_block benchmark; not part of the
// converter.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "bookfile/book_file.h"
#include "catalog/bytes.h"

namespace tolvex::test_encoding {

using Bytes = std::vector<std::uint8_t>;

// The code of a leaf as '0'/'1' characters from the root down (1 = child_one).
inline std::string code_of(const DecodingTree& tree, std::int32_t leaf) {
  std::string bits;
  for (std::int32_t n = leaf, up; (up = tree.nodes[n].parent) != NO_NODE; n = up)
    bits.insert(0, 1, tree.nodes[up].child_one == n ? '1' : '0');
  return bits;
}

// '0'/'1' characters to bytes, MSB first, the last byte padded with zeros.
inline Bytes pack(const std::string& bits) {
  Bytes out((bits.size() + 7) / 8, 0);
  for (std::size_t i = 0; i < bits.size(); ++i)
    out[i / 8] |= static_cast<std::uint8_t>((bits[i] == '1') << (7 - i % 8));
  return out;
}

// A 2048-byte page that starts with `prefix` and is zero after it.
inline Bytes page_with_prefix(Bytes prefix) {
  prefix.resize(PAGE_SIZE, 0);
  return prefix;
}

// Frequency tables in file form: Q quads (kind 2), P pairs (kind 2: exactly 1024), 256 byte weights.
struct FrequencyTables {
  int kind = 1;
  std::vector<std::pair<std::array<std::uint8_t, 4>, std::uint16_t>> quads;
  std::vector<std::pair<std::array<std::uint8_t, 2>, std::uint16_t>> pairs;
  std::array<std::uint16_t, 256> bytes{};

  std::int32_t table_length() const {
    return static_cast<std::int32_t>(kind == 1 ? 512 + 4 * pairs.size() : 4608 + 6 * quads.size());
  }
  Bytes serialize() const {
    Bytes out;
    auto put = [&out](std::span<const std::uint8_t> value, std::uint16_t weight) {
      out.insert(out.end(), value.begin(), value.end());
      out.insert(out.end(), {static_cast<std::uint8_t>(weight >> 8), static_cast<std::uint8_t>(weight)});
    };
    for (const auto& [v, w] : quads) put(v, w);
    for (const auto& [v, w] : pairs) put(v, w);
    for (std::uint16_t w : bytes) put({}, w);
    return out;
  }
};

// Weights 5/3/1 for 0x41/0x42/0x43 and 0 for every other byte: the pinned example.
inline FrequencyTables abc_tables() {
  FrequencyTables t;
  t.bytes[0x41] = 5;
  t.bytes[0x42] = 3;
  t.bytes[0x43] = 1;
  return t;
}

// Codes of the symbols of the tree the reader builds from `tables`: every
// byte, the end-of-page symbol (the empty symbol) and the pairs and quads of
// non-zero weight.
class TestEncoder {
 public:
  explicit TestEncoder(const FrequencyTables& tables) {
    LeafCounts counts;
    leaf_counts(tables.kind, tables.table_length(), counts);
    tree_ = build_tree_from_leaves(leaves_from_table(counts, tables.serialize()));
    for (std::int32_t i = 0; i < counts.leaves(); ++i) {
      const DecodingNode& n = tree_.nodes[static_cast<std::size_t>(i)];
      const int width = n.type == NODE_QUAD ? 4 : n.type == NODE_PAIR ? 2 : n.type == NODE_BYTE ? 1 : 0;
      if (width < 2 || n.weight > 0) codes_[std::string(n.value, n.value + width)] = code_of(tree_, i);
    }
  }

  const DecodingTree& tree() const { return tree_; }
  const std::string& code(std::span<const std::uint8_t> symbol) const { return codes_.at(key(symbol)); }

  // Greedy: a four-byte symbol if one matches, else a two-byte one, else a byte.
  Bytes encode(std::span<const std::uint8_t> data, bool end_symbol) const {
    std::string bits;
    for (std::size_t i = 0, w = 4; i < data.size(); i += w, w = 4) {
      while (w > 1 && (i + w > data.size() || !codes_.contains(key(data.subspan(i, w))))) w /= 2;
      bits += code(data.subspan(i, w));
    }
    return pack(end_symbol ? bits + codes_.at("") : bits);
  }

 private:
  static std::string key(std::span<const std::uint8_t> symbol) { return std::string(symbol.begin(), symbol.end()); }

  DecodingTree tree_;
  std::map<std::string, std::string> codes_;
};

// A compressed file: 20-byte header, page index at 20 (a base offset and
// sixteen 16-bit slots per 16 pages), the tables, then one record per page
// (kind 1: the stream; kind 2: the flag byte, then the stream or raw page).
inline Bytes build_compressed_file(std::int32_t table_length, const Bytes& table, const std::vector<Bytes>& records) {
  const std::size_t index_offset = 20, groups = (records.size() + 15) / 16;
  Bytes file(index_offset + 36 * groups, 0);
  put_be(&file[0], 4, static_cast<std::uint32_t>(index_offset));
  put_be(&file[8], 4, static_cast<std::uint32_t>(file.size()));
  put_be(&file[12], 4, static_cast<std::uint32_t>(table_length));
  file.insert(file.end(), table.begin(), table.end());
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::uint8_t* group = &file[index_offset + 36 * (i / 16)];
    if (i % 16 == 0) put_be(group, 4, static_cast<std::uint32_t>(file.size()));
    put_be(group + 4 + 2 * (i % 16), 2, static_cast<std::uint32_t>(file.size() - get_be(group, 4)));
    file.insert(file.end(), records[i].begin(), records[i].end());
  }
  return file;
}

// Kind 2 page record: flag 0 and the stream, or flag 1 and the raw page.
inline Bytes kind2_record(bool raw, std::span<const std::uint8_t> payload) {
  Bytes r{static_cast<std::uint8_t>(raw ? 1 : 0)};
  r.insert(r.end(), payload.begin(), payload.end());
  return r;
}

}  // namespace tolvex::test_encoding
