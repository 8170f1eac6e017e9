#include <algorithm>
#include <utility>

#include "bookfile/huffman.h"
#include "bookfile/huffman_table.h"
#include "catalog/bytes.h"
#include "catalog/catalog.h"

namespace tolvex {

bool leaf_counts(int kind, std::int32_t table_length, LeafCounts& out) {
  if (kind == HUFFMAN_KIND) {
    if (table_length < 512) return false;
    out.quads = 0;
    out.pairs = (table_length - 512) / 4;
    return true;
  }
  if (kind == FLAGGED_HUFFMAN_KIND) {
    if (table_length < 4608) return false;
    out.quads = (table_length - 4608) / 6;
    out.pairs = 1024;
    return true;
  }
  return false;
}

std::int64_t table_bytes(const LeafCounts& counts) {
  return static_cast<std::int64_t>(counts.quads) * 6 + static_cast<std::int64_t>(counts.pairs) * 4 + 512;
}

std::vector<DecodingNode> leaves_from_table(const LeafCounts& counts, std::span<const std::uint8_t> table) {
  std::vector<DecodingNode> leaves;
  leaves.reserve(static_cast<std::size_t>(counts.leaves()));
  const std::uint8_t* p = table.data();
  for (std::int32_t i = 0; i < counts.quads; ++i, p += 6) {
    DecodingNode n;
    n.type = NODE_QUAD;
    for (int b = 0; b < 4; ++b) n.value[b] = p[b];
    n.weight = static_cast<std::int32_t>(get_be(p + 4, 2));
    leaves.push_back(n);
  }
  for (std::int32_t i = 0; i < counts.pairs; ++i, p += 4) {
    DecodingNode n;
    n.type = NODE_PAIR;
    n.value[0] = p[0];
    n.value[1] = p[1];
    n.weight = static_cast<std::int32_t>(get_be(p + 2, 2));
    leaves.push_back(n);
  }
  for (int i = 0; i < 256; ++i, p += 2) {
    DecodingNode n;
    n.type = NODE_BYTE;
    n.value[0] = static_cast<std::uint8_t>(i);
    n.weight = static_cast<std::int32_t>(get_be(p, 2));
    leaves.push_back(n);
  }
  DecodingNode end;
  end.type = NODE_END;
  end.weight = 1;
  leaves.push_back(end);
  return leaves;
}

DecodingTree build_tree_from_leaves(std::vector<DecodingNode> leaves) {
  const std::int32_t L = static_cast<std::int32_t>(leaves.size());
  DecodingTree tree;
  if (L == 0) return tree;
  tree.nodes = std::move(leaves);
  tree.nodes.resize(static_cast<std::size_t>(2 * L - 1));
  auto& nodes = tree.nodes;

  // Selection sort by descending weight: step i exchanges the first position
  // holding the largest weight of positions i..L-1 with position i, which
  // reorders equal weights. A tournament tree over the positions not yet
  // settled gives that position in O(log L) per step.
  std::size_t size = 1;
  while (size < static_cast<std::size_t>(L)) size *= 2;
  std::vector<std::int32_t> winner(2 * size, NO_NODE);
  auto better = [&nodes](std::int32_t x, std::int32_t y) {
    if (x == NO_NODE) return y;
    if (y == NO_NODE) return x;
    return nodes[static_cast<std::size_t>(y)].weight > nodes[static_cast<std::size_t>(x)].weight ? y : x;
  };
  auto replay = [&](std::size_t at) {
    for (at /= 2; at >= 1; at /= 2) winner[at] = better(winner[2 * at], winner[2 * at + 1]);
  };
  for (std::int32_t j = 0; j < L; ++j) winner[size + static_cast<std::size_t>(j)] = j;
  for (std::size_t at = size - 1; at >= 1; --at) winner[at] = better(winner[2 * at], winner[2 * at + 1]);
  for (std::int32_t i = 0; i + 1 < L; ++i) {
    const std::int32_t m = winner[1];
    std::swap(nodes[static_cast<std::size_t>(i)], nodes[static_cast<std::size_t>(m)]);
    winner[size + static_cast<std::size_t>(i)] = NO_NODE;  // settled
    replay(size + static_cast<std::size_t>(i));
    if (m != i) replay(size + static_cast<std::size_t>(m));  // holds the record from i now
  }

  // Merge the two lightest parentless nodes; among equal weights the highest
  // position is taken first and gets the 1 bit. (weight, position) orders the
  // candidates totally, so a heap picks exactly what the scans would.
  struct Candidate {
    std::int32_t weight;
    std::int32_t position;
  };
  auto later_pick = [](const Candidate& x, const Candidate& y) {
    return x.weight > y.weight || (x.weight == y.weight && x.position < y.position);
  };
  std::vector<Candidate> heap;
  heap.reserve(static_cast<std::size_t>(L));
  for (std::int32_t x = 0; x < L; ++x) {
    const DecodingNode& n = nodes[static_cast<std::size_t>(x)];
    if (n.parent == NO_NODE) heap.push_back({n.weight, x});
  }
  std::make_heap(heap.begin(), heap.end(), later_pick);
  auto pop = [&] {
    std::pop_heap(heap.begin(), heap.end(), later_pick);
    const std::int32_t x = heap.back().position;
    heap.pop_back();
    return x;
  };
  for (std::int32_t k = L; k <= 2 * L - 2 && heap.size() >= 2; ++k) {
    const std::int32_t a = pop();
    const std::int32_t b = pop();
    DecodingNode& branch = nodes[static_cast<std::size_t>(k)];
    branch.type = NODE_BRANCH;
    // Sums of 16-bit weights cannot overflow (MAX_LEAVES); wrap-around keeps
    // other callers' weights defined.
    branch.weight = static_cast<std::int32_t>(static_cast<std::uint32_t>(nodes[static_cast<std::size_t>(a)].weight) +
                                              static_cast<std::uint32_t>(nodes[static_cast<std::size_t>(b)].weight));
    branch.child_one = a;
    branch.child_zero = b;
    branch.parent = NO_NODE;
    nodes[static_cast<std::size_t>(a)].parent = k;
    nodes[static_cast<std::size_t>(b)].parent = k;
    heap.push_back({branch.weight, k});
    std::push_heap(heap.begin(), heap.end(), later_pick);
  }
  tree.table = DecodingTable::build(tree);
  return tree;
}

}  // namespace tolvex
