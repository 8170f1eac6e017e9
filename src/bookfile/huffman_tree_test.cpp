#include <gtest/gtest.h>

#include <string>

#include "bookfile/huffman.h"

namespace tolvex {
namespace {

// The code of a leaf, read from the root down (1 = child_one).
std::string code_of(const DecodingTree& tree, std::int32_t leaf) {
  std::string bits;
  for (std::int32_t n = leaf; tree.nodes[n].parent != NO_NODE; n = tree.nodes[n].parent) {
    const DecodingNode& parent = tree.nodes[tree.nodes[n].parent];
    bits.insert(bits.begin(), parent.child_one == n ? '1' : '0');
  }
  return bits;
}

std::int32_t find_leaf(const DecodingTree& tree, int type, std::uint8_t value) {
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(tree.nodes.size()); ++i) {
    if (tree.nodes[i].type == type && (type == NODE_END || tree.nodes[i].value[0] == value)) return i;
  }
  return NO_NODE;
}

DecodingTree abc_tree() {
  LeafCounts counts;
  EXPECT_TRUE(leaf_counts(1, 512, counts));
  std::vector<std::uint8_t> table(512, 0);
  table[0x41 * 2 + 1] = 5;
  table[0x42 * 2 + 1] = 3;
  table[0x43 * 2 + 1] = 1;
  return build_tree_from_leaves(leaves_from_table(counts, table));
}

TEST(HuffmanTree, TieBreaksGiveTheDocumentedCodes) {
  DecodingTree tree = abc_tree();
  ASSERT_EQ(tree.nodes.size(), 513u);
  EXPECT_EQ(code_of(tree, find_leaf(tree, NODE_BYTE, 0x41)), "0");
  EXPECT_EQ(code_of(tree, find_leaf(tree, NODE_BYTE, 0x42)), "10");
  EXPECT_EQ(code_of(tree, find_leaf(tree, NODE_BYTE, 0x43)), "110");
  EXPECT_EQ(code_of(tree, find_leaf(tree, NODE_END, 0)), "1110");
  EXPECT_EQ(code_of(tree, find_leaf(tree, NODE_BYTE, 0x04)), "11110");
  EXPECT_EQ(code_of(tree, find_leaf(tree, NODE_BYTE, 0x03)), std::string(256, '1'));
  EXPECT_EQ(code_of(tree, find_leaf(tree, NODE_BYTE, 0xFF)), std::string(255, '1') + "0");
  EXPECT_EQ(code_of(tree, find_leaf(tree, NODE_BYTE, 0x00)), std::string(65, '1') + "0");
}

TEST(HuffmanTree, LeafCountsFollowKindAndTableLength) {
  LeafCounts c;
  ASSERT_TRUE(leaf_counts(1, 515, c));
  EXPECT_EQ(c.pairs, 0);
  EXPECT_EQ(c.leaves(), 257);
  ASSERT_TRUE(leaf_counts(2, 4608, c));
  EXPECT_EQ(c.quads, 0);
  EXPECT_EQ(c.leaves(), 1281);
  ASSERT_TRUE(leaf_counts(2, 4608 + 13, c));
  EXPECT_EQ(c.quads, 2);
  EXPECT_EQ(table_bytes(c), 2 * 6 + 4096 + 512);
  EXPECT_FALSE(leaf_counts(1, 511, c));
  EXPECT_FALSE(leaf_counts(2, 4607, c));
  EXPECT_FALSE(leaf_counts(0, 4608, c));
}

}  // namespace
}  // namespace tolvex
