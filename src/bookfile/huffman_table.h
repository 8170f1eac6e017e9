// Lookup tables for decoding pages of an EPWING-compressed file several bits
// at a time. They are made from a finished decoding tree and give exactly
// what walking the tree bit by bit gives: the same symbols, the same end of
// the page when the stream runs out in the middle of a code, the same bytes
// dropped when a symbol runs past the end of the page.
//
// Every entry is eight bytes: up to six output bytes, the stream bits the
// entry takes, and the count of output bytes. The decoder copies all eight
// to the output position with one load and one store and advances by the
// count; the bytes behind the count are overwritten by the next symbol or
// cleared at the end of the page.
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
// The decoder's steps follow each other through the bits each takes, so
// those come from a table of their own (one byte per run entry, 16 KiB) that
// stays in the first-level cache; the 128 KiB run table is read beside it.
// Codes of real books average eight to ten bits; 0.1 to 0.4 per cent are
// longer than 14 bits, and each of those costs a mispredicted branch, which
// made narrower roots slower on whole books.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "bookfile/huffman.h"

namespace tolvex {

class DecodingTable {
 public:
  static constexpr unsigned ROOT_BITS = 14;
  static constexpr unsigned SUB_BITS = 4;

  // Null when the tree is not one that build_tree_from_leaves makes (a child
  // link out of range or not below its branch, or a root that is a leaf);
  // decode_page then walks the tree.
  static std::shared_ptr<const DecodingTable> build(const DecodingTree& tree);

  // Fills the 2048-byte page from the stream (see decode_page); false when
  // the stream ran out before the page was complete. With page_bits, a
  // second lane starts in the middle of them.
  bool decode(std::span<const std::uint8_t> stream, std::uint8_t* page, std::size_t page_bits = 0) const;

  std::size_t node_count() const { return node_count_; }
  std::size_t entry_count() const { return entries_.size(); }

 private:
  static constexpr unsigned RUN_BYTES = 6;
  static constexpr std::size_t ROOT_SIZE = std::size_t{1} << ROOT_BITS;
  struct Entry {
    // Leaves and runs: the output bytes. Subtables: the index of the
    // subtable's first entry (four bytes, native order), then the bits that
    // index it. The end of the page: nothing.
    std::uint8_t out[RUN_BYTES] = {};
    std::uint8_t bits = 0;   // stream bits this entry takes
    std::uint8_t count = 0;  // output bytes, 0 for a subtable or the end of the page

    std::size_t first() const {
      std::uint32_t v;
      std::memcpy(&v, out, sizeof v);
      return v;
    }
    unsigned sub_bits() const { return out[4]; }  // 0: the end of the page
  };
  static_assert(sizeof(Entry) == 8);

  struct Lane;  // a position decoding with the run table (huffman_table.cpp)

  // The steps of build: the single table and its subtables from the tree
  // (`height`: each node's height), then the run table in front of it.
  void fill_tables(const std::vector<DecodingNode>& nodes, const std::vector<std::uint32_t>& height);
  void fill_runs();

  // The run table, the single table (ROOT_SIZE entries each), then the subtables.
  std::vector<Entry> entries_;
  // The run table's bits alone, 0 where it names a subtable or the end of
  // the page.
  std::vector<std::uint8_t> run_bits_;
  std::size_t node_count_ = 0;
};

}  // namespace tolvex
