// Lookup tables for decoding pages of an EPWING-compressed file several bits
// at a time. They are made from a finished decoding tree and give exactly
// what walking the tree bit by bit gives: the same symbols, the same end of
// the page when the stream runs out in the middle of a code, the same bytes
// dropped when a symbol runs past the end of the page.
//
// Every entry is one 64-bit word: the stream bits it takes in the low byte,
// the count of output bytes in the top byte, the output bytes between them
// (the first in bits 8-15). The decoder shifts its bit window by the word
// itself (the shift uses the low six bits), stores bits 8-63 at the output
// position with one eight-byte store and advances by the count; the bytes
// behind the count are overwritten by the next symbol or cleared at the end
// of the page.
//
// Two root tables are indexed by the next ROOT_BITS bits of the stream, also
// for shallower trees, so that the index is a fixed shift. In the single
// table an entry names the leaf those bits lead to, or, for longer codes, the
// subtable of the branch reached after all of them. A subtable is indexed the
// same way by the next bits, at most SUB_BITS of them (fewer when the
// branch's subtree is shallower), so a degenerate tree with codes of hundreds
// of bits costs a few dozen entries per leaf at worst. The run table is the
// single table with a second leaf appended where its code also ends within
// the root bits (never the end of the page, at most six bytes together).
// Codes of real books average eight to ten bits and 2 to 3 per cent are
// longer than 13 bits; narrower roots send more codes to a subtable, which
// costs a mispredicted branch, more than a 64 KiB run table costs in cache
// misses.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "bookfile/huffman.h"

namespace tolvex {

class DecodingTable {
 public:
  static constexpr unsigned ROOT_BITS = 13;
  static constexpr unsigned SUB_BITS = 5;

  // Null when the tree is not one that build_tree_from_leaves makes (a child
  // link out of range or not below its branch, or a root that is a leaf);
  // decode_page then walks the tree.
  static std::shared_ptr<const DecodingTable> build(const DecodingTree& tree);

  // Fills the 2048-byte page from the stream (see decode_page); false when
  // the stream ran out before the page was complete.
  bool decode(std::span<const std::uint8_t> stream, std::uint8_t* page) const;

  std::size_t node_count() const { return node_count_; }
  std::size_t entry_count() const { return entries_.size(); }

 private:
  static constexpr unsigned RUN_BYTES = 6;
  static constexpr std::size_t ROOT_SIZE = std::size_t{1} << ROOT_BITS;
  // Leaves and runs: bits, output bytes, count (1 to 6). Subtables: bits,
  // the index of the subtable's first entry in bits 8-39 and the bits that
  // index it in bits 40-47, count 0. The end of the page: bits, nothing else.
  using Entry = std::uint64_t;
  static unsigned bits_of(Entry e) { return static_cast<unsigned>(e & 0xFF); }
  static unsigned count_of(Entry e) { return static_cast<unsigned>(e >> 56); }
  static std::size_t first_of(Entry e) { return static_cast<std::size_t>((e >> 8) & 0xFFFFFFFF); }
  static unsigned sub_bits_of(Entry e) { return static_cast<unsigned>((e >> 40) & 0xFF); }  // 0: the end of the page

  // The run table, the single table (ROOT_SIZE entries each), then the subtables.
  std::vector<Entry> entries_;
  std::size_t node_count_ = 0;
};

}  // namespace tolvex
