// Test-only helpers: a small Huffman encoder that takes its codes from the
// very tree the reader builds (build_tree_from_leaves), and a writer of whole
// compressed files (header, page index, frequency tables, page records).
// Used by the bookfile tests and the read_block benchmark; not part of the
// converter.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "bookfile/book_file.h"
#include "bookfile/huffman.h"
#include "source/bytes.h"

namespace tolvex::test_encoding {

// Frequency tables in file form, built up symbol by symbol.
struct FrequencyTables {
  int kind = 1;
  std::vector<std::pair<std::array<std::uint8_t, 4>, std::uint16_t>> quads;  // kind 2 only
  std::vector<std::pair<std::array<std::uint8_t, 2>, std::uint16_t>> pairs;  // kind 2: exactly 1024
  std::array<std::uint16_t, 256> bytes{};

  std::int32_t table_length() const {
    return kind == 1 ? static_cast<std::int32_t>(512 + 4 * pairs.size())
                     : static_cast<std::int32_t>(4608 + 6 * quads.size());
  }
  std::vector<std::uint8_t> serialize() const {
    std::vector<std::uint8_t> out;
    for (const auto& [v, w] : quads) {
      out.insert(out.end(), v.begin(), v.end());
      out.push_back(static_cast<std::uint8_t>(w >> 8));
      out.push_back(static_cast<std::uint8_t>(w));
    }
    for (const auto& [v, w] : pairs) {
      out.insert(out.end(), v.begin(), v.end());
      out.push_back(static_cast<std::uint8_t>(w >> 8));
      out.push_back(static_cast<std::uint8_t>(w));
    }
    for (std::uint16_t w : bytes) {
      out.push_back(static_cast<std::uint8_t>(w >> 8));
      out.push_back(static_cast<std::uint8_t>(w));
    }
    return out;
  }
};

// Codes of every leaf of the tree the reader would build from `tables`.
class TestEncoder {
 public:
  explicit TestEncoder(const FrequencyTables& tables) {
    LeafCounts counts;
    leaf_counts(tables.kind, tables.table_length(), counts);
    const std::vector<std::uint8_t> raw = tables.serialize();
    tree_ = build_tree_from_leaves(leaves_from_table(counts, raw));
    const std::int32_t leaves = counts.leaves();
    for (std::int32_t i = 0; i < leaves; ++i) {
      const DecodingNode& n = tree_.nodes[static_cast<std::size_t>(i)];
      std::string code = code_of(i);
      switch (n.type) {
        case NODE_BYTE: byte_codes_[n.value[0]] = code; break;
        case NODE_PAIR:
          if (n.weight > 0) pair_codes_[key(n.value, 2)] = code;
          break;
        case NODE_QUAD:
          if (n.weight > 0) quad_codes_[key(n.value, 4)] = code;
          break;
        case NODE_END: end_code_ = code; break;
        default: break;
      }
    }
  }

  const DecodingTree& tree() const { return tree_; }
  const std::string& byte_code(std::uint8_t b) const { return byte_codes_[b]; }
  const std::string& end_code() const { return end_code_; }

  // Greedy: a four-byte symbol if one matches, else a two-byte one, else a byte.
  std::string bits_for(std::span<const std::uint8_t> data, bool end_symbol) const {
    std::string bits;
    std::size_t i = 0;
    while (i < data.size()) {
      if (i + 4 <= data.size()) {
        auto it = quad_codes_.find(key(&data[i], 4));
        if (it != quad_codes_.end()) {
          bits += it->second;
          i += 4;
          continue;
        }
      }
      if (i + 2 <= data.size()) {
        auto it = pair_codes_.find(key(&data[i], 2));
        if (it != pair_codes_.end()) {
          bits += it->second;
          i += 2;
          continue;
        }
      }
      bits += byte_codes_[data[i]];
      ++i;
    }
    if (end_symbol) bits += end_code_;
    return bits;
  }
  std::vector<std::uint8_t> encode(std::span<const std::uint8_t> data, bool end_symbol) const {
    return pack(bits_for(data, end_symbol));
  }

  // '0'/'1' characters to bytes, MSB first, the last byte padded with zeros.
  static std::vector<std::uint8_t> pack(const std::string& bits) {
    std::vector<std::uint8_t> out((bits.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i) {
      if (bits[i] == '1') out[i / 8] = static_cast<std::uint8_t>(out[i / 8] | (0x80u >> (i % 8)));
    }
    return out;
  }

 private:
  static std::uint32_t key(const std::uint8_t* v, int n) { return get_be(v, n); }
  std::string code_of(std::int32_t leaf) const {
    std::string bits;
    for (std::int32_t n = leaf; tree_.nodes[static_cast<std::size_t>(n)].parent != NO_NODE;
         n = tree_.nodes[static_cast<std::size_t>(n)].parent) {
      const DecodingNode& parent = tree_.nodes[static_cast<std::size_t>(tree_.nodes[static_cast<std::size_t>(n)].parent)];
      bits.insert(bits.begin(), parent.child_one == n ? '1' : '0');
    }
    return bits;
  }

  DecodingTree tree_;
  std::array<std::string, 256> byte_codes_;
  std::map<std::uint32_t, std::string> pair_codes_;
  std::map<std::uint32_t, std::string> quad_codes_;
  std::string end_code_;
};

// A compressed file: 20-byte header, page index at 20, the tables, then one
// record per page (what stands at the page's slot: for kind 2 the flag byte
// and the stream or raw page; for kind 1 the stream).
struct CompressedFileLayout {
  std::int64_t index_offset = 0;
  std::int64_t table_offset = 0;
  std::vector<std::int64_t> page_offsets;
};

inline std::vector<std::uint8_t> build_compressed_file(std::int32_t table_length,
                                                       const std::vector<std::uint8_t>& table,
                                                       const std::vector<std::vector<std::uint8_t>>& records,
                                                       CompressedFileLayout* layout = nullptr) {
  const std::size_t groups = (records.size() + 15) / 16;
  const std::size_t index_offset = 20;
  const std::size_t table_offset = index_offset + 36 * groups;
  std::vector<std::uint8_t> file(table_offset, 0);
  put_be(&file[0], 4, static_cast<std::uint32_t>(index_offset));
  put_be(&file[8], 4, static_cast<std::uint32_t>(table_offset));
  put_be(&file[12], 4, static_cast<std::uint32_t>(table_length));
  file.insert(file.end(), table.begin(), table.end());
  CompressedFileLayout l;
  l.index_offset = static_cast<std::int64_t>(index_offset);
  l.table_offset = static_cast<std::int64_t>(table_offset);
  for (std::size_t g = 0; g < groups; ++g) {
    const std::size_t base = file.size();
    std::uint8_t* rec = &file[index_offset + 36 * g];
    put_be(rec, 4, static_cast<std::uint32_t>(base));
    for (std::size_t i = 0; i < 16 && 16 * g + i < records.size(); ++i) {
      const auto& r = records[16 * g + i];
      put_be(&file[index_offset + 36 * g + 4 + 2 * i], 2, static_cast<std::uint32_t>(file.size() - base));
      l.page_offsets.push_back(static_cast<std::int64_t>(file.size()));
      file.insert(file.end(), r.begin(), r.end());
    }
  }
  if (layout != nullptr) *layout = l;
  return file;
}

// Kind 2 page record: flag 0 and the stream, or flag 1 and the raw page.
inline std::vector<std::uint8_t> kind2_record(bool raw, std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> r(payload.size() + 1);
  r[0] = raw ? 1 : 0;
  std::copy(payload.begin(), payload.end(), r.begin() + 1);
  return r;
}

}  // namespace tolvex::test_encoding
