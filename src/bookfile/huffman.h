// The Huffman code of EPWING-compressed files (text and sound).
//
// A compressed file stores frequency tables at table_offset: Q records of a
// four-byte symbol (kind 2 only), P records of a two-byte symbol, and 256
// weights of the one-byte symbols; an end-of-page symbol of weight 1 is added.
// The decoding tree is built from these leaves by a fixed selection sort and
// a fixed merge order; the codes stored in the file follow from exactly this
// tree, ties included, so the construction must not change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tolvex {

enum NodeType : std::int32_t { NODE_BRANCH = 0, NODE_BYTE = 1, NODE_PAIR = 2, NODE_QUAD = 3, NODE_END = 4 };

inline constexpr std::int32_t NO_NODE = -1;

struct DecodingNode {
  std::int32_t parent = NO_NODE;      // node this one was merged into
  std::int32_t child_one = NO_NODE;   // taken on a 1 bit (branches)
  std::int32_t child_zero = NO_NODE;  // taken on a 0 bit (branches)
  std::int32_t type = NODE_BRANCH;
  std::int32_t weight = 0;
  std::uint8_t value[4] = {0, 0, 0, 0};
};

class DecodingTable;  // huffman_table.h

// L leaves first, then the L - 1 branches in creation order; the last node is the root.
struct DecodingTree {
  std::vector<DecodingNode> nodes;
  // Lookup tables made from `nodes` by build_tree_from_leaves, shared by
  // copies of the tree and never changed. Code that edits `nodes` afterwards
  // must reset it; decode_page then walks the tree bit by bit.
  std::shared_ptr<const DecodingTable> table;
  std::int32_t root() const { return static_cast<std::int32_t>(nodes.size()) - 1; }
};

// Leaf counts of a file of the given kind (1 or 2) and table length; false
// when a count would be negative or the kind is unknown.
struct LeafCounts {
  std::int32_t quads = 0;  // Q
  std::int32_t pairs = 0;  // P
  std::int32_t leaves() const { return quads + pairs + 256 + 1; }
};
bool leaf_counts(int kind, std::int32_t table_length, LeafCounts& out);

// The most leaves a file may declare (end-of-page leaf included). Weights are
// 16-bit and summed in int32 branches: 32767 leaves of weight 65535 total
// 2147385345, still below INT32_MAX, so no sum can overflow. Real kind-2
// tables hold a few thousand leaves (a 3281-leaf tree builds in about 30 ms);
// the build is quadratic, so the bound also caps what a corrupt header can
// cost: about 6 s for 32767 leaves, and only when the file holds the table.
inline constexpr std::int32_t MAX_LEAVES = 32767;
// Bytes of the frequency tables actually read for these counts.
std::int64_t table_bytes(const LeafCounts& counts);

// Leaves in file order (Q quads, P pairs, 256 bytes) from the table bytes;
// the end-of-page leaf is appended. `table` must hold table_bytes(counts).
std::vector<DecodingNode> leaves_from_table(const LeafCounts& counts, std::span<const std::uint8_t> table);

// Sorts and merges the leaves into the decoding tree (the leaves' order is
// the file order, the end-of-page leaf last), and makes its lookup tables.
// The node array is the one of the plain construction (a selection sort that
// exchanges the first largest weight to the front, then merging the two
// lightest parentless nodes, the higher position first among equal weights),
// found in O(L log L) with a tournament tree and a heap.
DecodingTree build_tree_from_leaves(std::vector<DecodingNode> leaves);

// Decodes one page's stream into a 2048-byte page, filling the rest with zeros.
// Returns true when the page is complete: it ended with the end-of-page
// symbol or was filled. The bit cursor never passes the `stream` bytes given;
// a stream that runs out first (a file cut short, a wrong page offset) gives
// false, so the caller can report the page instead of passing on zeros. Uses
// the tree's lookup tables when it has them (several bits per step), else the
// walk below. `page_bits`, when not 0, is about the bits the page's codes
// take (from the page index); the table decoder then decodes the second half
// alongside the first. It changes nothing in the result, whatever its value.
bool decode_page(std::span<const std::uint8_t> stream, const DecodingTree& tree, std::uint8_t* page,
                 std::size_t page_bits = 0);

// The same decoding by walking the tree one bit at a time from the root for
// every symbol; gives exactly what decode_page gives.
bool decode_page_walk(std::span<const std::uint8_t> stream, const DecodingTree& tree, std::uint8_t* page);

}  // namespace tolvex
