// The decoding tree and page decoding: the pinned example, and the fast tree
// build and the table decoder against the literal algorithms (the quadratic
// construction of huffman_reference.h, the bit-by-bit decode_page_walk).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <tuple>

#include "bookfile/book_file.h"
#include "bookfile/huffman_reference.h"
#include "bookfile/huffman_table.h"
#include "catalog/bytes.h"
#include "huffman_encoder.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testbook::Page;

// The code of a leaf as '0'/'1' characters from the root down (1 = child_one).
std::string code_of(const DecodingTree& tree, std::int32_t leaf) {
  std::string bits;
  for (std::int32_t n = leaf, up; (up = tree.nodes[n].parent) != NO_NODE; n = up)
    bits.insert(0, 1, tree.nodes[up].child_one == n ? '1' : '0');
  return bits;
}

// '0'/'1' characters to bytes, MSB first, the last byte padded with zeros.
Bytes pack(const std::string& bits) {
  Bytes out((bits.size() + 7) / 8, 0);
  for (std::size_t i = 0; i < bits.size(); ++i)
    out[i / 8] |= static_cast<std::uint8_t>((bits[i] == '1') << (7 - i % 8));
  return out;
}

TEST(HuffmanTree, PinnedExampleCodesAndStreams) {
  testbook::FrequencyTable abc;
  abc.bytes[0x41] = 5;
  abc.bytes[0x42] = 3;
  abc.bytes[0x43] = 1;
  const testbook::HuffmanEncoder enc(abc);
  EXPECT_EQ(enc.tree().nodes.size(), 513u);
  // -1 is the end-of-page symbol. The selection sort moves zero-weight leaves:
  // 0x00-0x02 to the places of A-C, 0x03 to the end; 0x04 is the first one left in place.
  for (const auto& [symbol, code] : std::vector<std::pair<int, std::string>>{{0x41, "0"},
                                                                             {0x42, "10"},
                                                                             {0x43, "110"},
                                                                             {-1, "1110"},
                                                                             {0x04, "11110"},
                                                                             {0x03, std::string(256, '1')},
                                                                             {0xFF, std::string(255, '1') + "0"},
                                                                             {0x00, std::string(65, '1') + "0"}}) {
    std::string bits;
    for (std::uint8_t bit : symbol < 0 ? enc.end_code() : enc.byte_code(static_cast<std::uint8_t>(symbol)))
      bits += static_cast<char>('0' + bit);
    EXPECT_EQ(bits, code) << symbol;
  }
  // The stream 5B 80 is "0 10 110 1110"; 5B alone runs out inside a code:
  // the page is incomplete.
  Page page;
  page.fill(0xEE);
  EXPECT_TRUE(decode_page(Bytes{0x5B, 0x80}, enc.tree(), page.data()));
  EXPECT_EQ(page, (Page{0x41, 0x42, 0x43}));
  page.fill(0xEE);
  EXPECT_FALSE(decode_page(Bytes{0x5B}, enc.tree(), page.data()));
  EXPECT_EQ(page, (Page{0x41, 0x42, 0x43}));
  const Page moved{0x03, 0x04, 0x00, 0xFF, 0x41, 0x03};
  EXPECT_TRUE(decode_page(enc.encode_page(moved, true), enc.tree(), page.data()));
  EXPECT_EQ(page, moved);
}

// Leaves in file order (q quads, p pairs, 256 bytes, the end leaf) with random values and the given weights.
std::vector<DecodingNode> make_leaves(int q, int p, const std::function<int(int)>& weight) {
  std::mt19937 rng(static_cast<unsigned>(q * 7919 + p));
  Bytes table;
  for (int i = 0; i < q + p + 256; ++i) {
    for (int b = 0; b < (i < q ? 4 : i < q + p ? 2 : 0); ++b) table.push_back(static_cast<std::uint8_t>(rng()));
    const int w = weight(i);
    table.insert(table.end(), {static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w)});
  }
  return leaves_from_table(LeafCounts{q, p}, table);
}

std::vector<std::vector<DecodingNode>> varied_leaf_sets() {
  std::mt19937 rng(77);
  auto random = [&rng](int) { return static_cast<int>(rng() % 65536); };
  auto few = [&rng](int) { return static_cast<int>(rng() % 4); };
  auto skewed = [&rng](int) {
    const unsigned r = rng() % 100;
    return static_cast<int>(r < 30 ? 0 : r < 60 ? 1 : r < 90 ? rng() % 50 : rng() % 65536);
  };
  return {make_leaves(0, 0, [](int) { return 7; }),
          make_leaves(0, 300, [](int) { return 0; }),
          make_leaves(0, 1000, [](int) { return 65535; }),
          make_leaves(0, 1500, random),
          make_leaves(0, 700, few),
          make_leaves(50, 1024, [](int) { return 0; }),
          make_leaves(2000, 1024, random),
          make_leaves(1500, 1024, skewed),
          make_leaves(900, 1024, few),
          make_leaves(0, 0, [](int i) { return i < 16 ? 1 << i : 0; })};  // a chain: codes of every length
}

// The node arrays of the fast build and the literal construction; the pages
// that the table decoder and the walk make of random streams of every length
// (in some rounds mostly one bits, for the deep codes), of streams of whole
// codes that fill the page with symbols of every width or end inside a code,
// and of streams whose page ends with the end-of-page symbol before other
// bytes, as read_block passes them. The decoder is told no page length, the
// true one, and any other: a second lane then starts anywhere in the stream.
TEST(FastTreeAndTableDecoder, MatchTheLiteralAlgorithms) {
  std::vector<std::vector<DecodingNode>> sets = varied_leaf_sets();
  std::mt19937 rng(3);
  for (int round = 0; round < 600; ++round) {  // 1-12 leaves of weights 0-2: every pattern of ties
    for (DecodingNode& leaf : sets.emplace_back(static_cast<std::size_t>(1 + round % 12))) {
      leaf = {.type = NODE_BYTE, .weight = static_cast<std::int32_t>(rng() % 3)};
    }
  }
  auto key = [](const DecodingNode& n) {
    return std::tuple(n.parent, n.child_one, n.child_zero, n.type, n.weight, get_be(n.value, 4));
  };
  EXPECT_TRUE(build_tree_from_leaves({}).nodes.empty());
  for (const std::vector<DecodingNode>& leaves : sets) {
    const DecodingTree tree = build_tree_from_leaves(leaves), literal = reference::build_tree_literally(leaves);
    ASSERT_EQ(tree.nodes.size(), literal.nodes.size());
    for (std::size_t i = 0; i < tree.nodes.size(); ++i) ASSERT_EQ(key(tree.nodes[i]), key(literal.nodes[i])) << i;
    if (leaves.size() <= 12) continue;  // pages are decoded with the varied sets only
    ASSERT_NE(tree.table, nullptr);
    const auto end_leaf = static_cast<std::int32_t>(
        std::find_if(tree.nodes.begin(), tree.nodes.end(), [](const DecodingNode& n) { return n.type == NODE_END; }) -
        tree.nodes.begin());
    Bytes a(PAGE_SIZE), b(PAGE_SIZE);
    for (int round = 0; round < 300; ++round) {
      Bytes stream(round < 20 ? static_cast<std::size_t>(round) : rng() % (PAGE_SIZE + 1));
      for (auto& byte : stream) byte = static_cast<std::uint8_t>(round % 4 == 0 ? rng() | rng() | rng() : rng());
      std::size_t page_bits = 8 * stream.size();
      if (round % 2 == 1) {
        std::string bits;
        while (bits.size() < 8 * stream.size()) {
          const auto leaf = static_cast<std::int32_t>(rng() % leaves.size());
          if (leaf != end_leaf) bits += code_of(tree, leaf);
        }
        if (round % 4 == 1) {
          bits.resize(rng() % (bits.size() + 1));
          page_bits = bits.size() + code_of(tree, end_leaf).size();
          bits += code_of(tree, end_leaf) + std::string(rng() % 9000, '0');
          for (char& c : std::span(bits).subspan(page_bits)) c = static_cast<char>('0' + rng() % 2);
        } else {
          bits.resize(bits.size() - rng() % 6);
        }
        stream = pack(bits.substr(0, std::min<std::size_t>(bits.size(), 8 * PAGE_SIZE)));
      }
      const bool complete = decode_page_walk(stream, tree, b.data());
      for (const std::size_t hint : {std::size_t{0}, page_bits, rng() % (16 * stream.size() + 1)}) {
        ASSERT_EQ(decode_page(stream, tree, a.data(), hint), complete) << round << ", page bits " << hint;
        ASSERT_EQ(a, b) << round << ", page bits " << hint << " in the set of " << leaves.size() << " leaves";
      }
    }
  }
}

TEST(TableDecoder, TreesItCannotTrustAreWalked) {
  DecodingTree tree = build_tree_from_leaves(make_leaves(0, 0, [](int i) { return i; }));
  tree.nodes[300].child_one = 450;  // a child that does not lie below its branch: no table
  EXPECT_EQ(DecodingTable::build(tree), nullptr);
  tree.nodes.pop_back();  // the tree's table, made for another node array, is not used
  Bytes a(PAGE_SIZE), b(PAGE_SIZE);
  EXPECT_EQ(decode_page(Bytes{0xAB, 0xCD}, tree, a.data()), decode_page_walk(Bytes{0xAB, 0xCD}, tree, b.data()));
  EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace tolvex
