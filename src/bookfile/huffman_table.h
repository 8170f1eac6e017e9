// Lookup tables for decoding pages of an EPWING-compressed file several bits
// at a time. They are made from a finished decoding tree and give exactly
// what walking the tree bit by bit gives: the same symbols, the same end of
// the page when the stream runs out in the middle of a code, the same bytes
// dropped when a symbol runs past the end of the page.
//
// The root table is indexed by the next ROOT_BITS bits of the stream (fewer
// when the tree is shallower). An entry names the leaf that those bits lead
// to and how many of them its code takes, or, for longer codes, the subtable
// of the branch reached after all of them. A subtable is indexed the same way
// by the next bits, at most SUB_BITS of them (fewer when the branch's subtree
// is shallower), so a degenerate tree with codes of hundreds of bits costs a
// few dozen entries per leaf at worst.
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
  static constexpr unsigned SUB_BITS = 6;

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
  enum Kind : std::uint8_t { SUBTABLE = 0, BYTE1 = 1, BYTE2 = 2, BYTE4 = 4, END = 5 };
  struct Entry {
    std::uint32_t data = 0;  // the leaf's output bytes in order, or the subtable's first entry
    std::uint8_t bits = 0;   // stream bits this entry takes
    std::uint8_t kind = END;
    std::uint8_t sub_bits = 0;  // subtables: the bits that index it
    std::uint8_t unused = 0;
  };

  // By the same ROOT_BITS bits as the root table. Where the code ends
  // within them: the leaf's bytes, followed by those of the next leaf when
  // its code ends within them too (never the end of the page). Where the
  // root entry is a subtable: count 0 and the subtable (data, bits,
  // sub_bits). Where it is the end of the page: count 0, sub_bits 0.
  struct Run {
    std::uint64_t data = 0;  // the output bytes in order, or the subtable's first entry
    std::uint8_t bits = 0;   // stream bits of both codes, or of the subtable's branch
    std::uint8_t count = 0;  // output bytes (1 to 8)
    std::uint8_t sub_bits = 0;
    std::uint8_t unused[5] = {};
  };

  std::vector<Entry> entries_;  // the root table first, then the subtables
  std::vector<Run> runs_;
  unsigned root_bits_ = 0;
  std::size_t node_count_ = 0;
};

}  // namespace tolvex
