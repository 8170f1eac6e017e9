// The fast tree construction and the table decoder against the literal
// algorithms: the quadratic construction (huffman_reference.h) and the
// bit-by-bit walk (decode_page_walk).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bookfile/book_file.h"
#include "bookfile/huffman.h"
#include "bookfile/huffman_reference.h"
#include "bookfile/huffman_table.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Leaves in file order: q quads, p pairs, 256 bytes, then the end leaf,
// with weights from `weight(i)`.
template <typename Weight>
std::vector<DecodingNode> make_leaves(int q, int p, Weight weight) {
  std::vector<std::uint8_t> table;
  std::mt19937 rng(q * 7919 + p);
  int i = 0;
  auto push_weight = [&](std::uint16_t w) {
    table.push_back(static_cast<std::uint8_t>(w >> 8));
    table.push_back(static_cast<std::uint8_t>(w));
  };
  for (int k = 0; k < q; ++k, ++i) {
    for (int b = 0; b < 4; ++b) table.push_back(static_cast<std::uint8_t>(rng()));
    push_weight(weight(i));
  }
  for (int k = 0; k < p; ++k, ++i) {
    for (int b = 0; b < 2; ++b) table.push_back(static_cast<std::uint8_t>(rng()));
    push_weight(weight(i));
  }
  for (int k = 0; k < 256; ++k, ++i) push_weight(weight(i));
  LeafCounts counts;
  counts.quads = q;
  counts.pairs = p;
  return leaves_from_table(counts, table);
}

struct Case {
  const char* name;
  std::vector<DecodingNode> leaves;
};

std::vector<Case> cases() {
  std::vector<Case> out;
  std::mt19937 rng(77);
  auto random = [&rng](int) { return static_cast<std::uint16_t>(rng()); };
  auto few = [&rng](int) { return static_cast<std::uint16_t>(rng() % 4); };
  auto skewed = [&rng](int) {
    const unsigned r = rng() % 100;
    return static_cast<std::uint16_t>(r < 30 ? 0 : r < 60 ? 1 : r < 90 ? rng() % 50 : rng() % 65536);
  };
  out.push_back({"kind 1, no pairs, equal weights", make_leaves(0, 0, [](int) { return 7; })});
  out.push_back({"kind 1, zero weights", make_leaves(0, 300, [](int) { return 0; })});
  out.push_back({"kind 1, all 65535", make_leaves(0, 1000, [](int) { return 65535; })});
  out.push_back({"kind 1, random", make_leaves(0, 1500, random)});
  out.push_back({"kind 1, few values", make_leaves(0, 700, few)});
  out.push_back({"kind 2, no quads, equal weights", make_leaves(0, 1024, [](int) { return 1; })});
  out.push_back({"kind 2, zero weights", make_leaves(50, 1024, [](int) { return 0; })});
  out.push_back({"kind 2, random", make_leaves(2000, 1024, random)});
  out.push_back({"kind 2, skewed", make_leaves(1500, 1024, skewed)});
  out.push_back({"kind 2, few values", make_leaves(900, 1024, few)});
  // Weights doubling along the leaves: a chain with codes of every length.
  out.push_back({"kind 1, chain", make_leaves(0, 0, [](int i) { return i < 16 ? 1 << i : 0; })});
  return out;
}

void expect_same_nodes(const DecodingTree& fast, const DecodingTree& literal) {
  ASSERT_EQ(fast.nodes.size(), literal.nodes.size());
  for (std::size_t i = 0; i < fast.nodes.size(); ++i) {
    const DecodingNode& a = fast.nodes[i];
    const DecodingNode& b = literal.nodes[i];
    ASSERT_TRUE(a.parent == b.parent && a.child_one == b.child_one && a.child_zero == b.child_zero &&
                a.type == b.type && a.weight == b.weight && std::equal(a.value, a.value + 4, b.value))
        << "node " << i;
  }
}

TEST(FastTree, GivesTheLiteralNodeArray) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    expect_same_nodes(build_tree_from_leaves(c.leaves), reference::build_tree_literally(c.leaves));
  }
}

TEST(FastTree, SmallAndHandMadeLeafSets) {
  for (int n = 1; n <= 12; ++n) {
    std::mt19937 rng(n);
    for (int round = 0; round < 50; ++round) {
      std::vector<DecodingNode> leaves(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) {
        leaves[i].type = NODE_BYTE;
        leaves[i].value[0] = static_cast<std::uint8_t>(i);
        leaves[i].weight = static_cast<std::int32_t>(rng() % 3);
      }
      expect_same_nodes(build_tree_from_leaves(leaves), reference::build_tree_literally(leaves));
    }
  }
  EXPECT_TRUE(build_tree_from_leaves({}).nodes.empty());
}

// Random streams (every length, cut anywhere) and streams made of codes that
// fill the page, decoded by the tables and by the walk.
TEST(TableDecoder, MatchesTheWalkOnRandomStreams) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const DecodingTree tree = build_tree_from_leaves(c.leaves);
    ASSERT_NE(tree.table, nullptr);
    std::mt19937 rng(5);
    Bytes a(PAGE_SIZE), b(PAGE_SIZE);
    for (int round = 0; round < 300; ++round) {
      const std::size_t n = round < 20 ? static_cast<std::size_t>(round) : rng() % (PAGE_SIZE + 1);
      Bytes stream(n);
      // Mostly one bits in some rounds: deep codes of the skewed trees.
      const bool ones = round % 3 == 0;
      for (auto& byte : stream) byte = static_cast<std::uint8_t>(ones ? (rng() | rng() | rng()) : rng());
      std::fill(a.begin(), a.end(), 0xEE);
      std::fill(b.begin(), b.end(), 0xDD);
      decode_page(stream, tree, a.data());
      decode_page_walk(stream, tree, b.data());
      ASSERT_EQ(a, b) << "round " << round << ", " << n << " stream bytes";
    }
  }
}

// Codes of every leaf, read off the tree, to build streams that fill the
// page with symbols of every width, or end with a code cut short.
std::vector<std::string> codes_of(const DecodingTree& tree) {
  const std::int32_t leaves = (static_cast<std::int32_t>(tree.nodes.size()) + 1) / 2;
  std::vector<std::string> codes(static_cast<std::size_t>(leaves));
  for (std::int32_t i = 0; i < leaves; ++i) {
    std::string bits;
    for (std::int32_t n = i; tree.nodes[n].parent != NO_NODE; n = tree.nodes[n].parent) {
      bits.insert(bits.begin(), tree.nodes[tree.nodes[n].parent].child_one == n ? '1' : '0');
    }
    codes[i] = bits;
  }
  return codes;
}

Bytes pack(const std::string& bits) {
  Bytes out((bits.size() + 7) / 8, 0);
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (bits[i] == '1') out[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  }
  return out;
}

TEST(TableDecoder, MatchesTheWalkOnSymbolStreams) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const DecodingTree tree = build_tree_from_leaves(c.leaves);
    const std::vector<std::string> codes = codes_of(tree);
    std::int32_t end_leaf = 0;
    while (tree.nodes[end_leaf].type != NODE_END) ++end_leaf;
    std::mt19937 rng(11);
    Bytes a(PAGE_SIZE), b(PAGE_SIZE);
    for (int round = 0; round < 60; ++round) {
      std::string bits;
      // Symbols up to about a page (or more), now and then the end symbol.
      const std::size_t target = 500 + rng() % 2000;
      std::size_t bytes = 0;
      while (bytes < target && bits.size() < 8 * PAGE_SIZE - 300) {
        const std::int32_t leaf = static_cast<std::int32_t>(rng() % codes.size());
        if (leaf == end_leaf && rng() % 4 != 0) continue;
        bits += codes[leaf];
        const int type = tree.nodes[leaf].type;
        bytes += type == NODE_QUAD ? 4 : type == NODE_PAIR ? 2 : 1;
      }
      // Cut the last code short in some rounds.
      if (round % 4 == 1 && bits.size() > 5) bits.resize(bits.size() - 1 - rng() % 5);
      const Bytes stream = pack(bits);
      if (stream.size() > static_cast<std::size_t>(PAGE_SIZE)) continue;
      decode_page(stream, tree, a.data());
      decode_page_walk(stream, tree, b.data());
      ASSERT_EQ(a, b) << "round " << round;
    }
  }
}

TEST(TableDecoder, TreesItCannotTrustAreWalked) {
  DecodingTree tree = build_tree_from_leaves(make_leaves(0, 0, [](int i) { return i; }));
  // A child link that does not lie below its branch: no table.
  DecodingTree odd = tree;
  odd.table = nullptr;
  odd.nodes[300].child_one = 450;
  EXPECT_EQ(DecodingTable::build(odd), nullptr);
  // A table made for another node array is not used.
  DecodingTree other = tree;
  other.nodes.pop_back();
  other.nodes.back().child_one = 0;
  const Bytes stream{0xAB, 0xCD, 0xEF};
  Bytes a(PAGE_SIZE), b(PAGE_SIZE);
  decode_page(stream, other, a.data());
  decode_page_walk(stream, other, b.data());
  EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace tolvex
