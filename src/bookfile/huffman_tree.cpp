#include <climits>
#include <utility>

#include "bookfile/huffman.h"
#include "source/bytes.h"

namespace tolvex {

bool leaf_counts(int kind, std::int32_t table_length, LeafCounts& out) {
  if (kind == 1) {
    if (table_length < 512) return false;
    out.quads = 0;
    out.pairs = (table_length - 512) / 4;
    return true;
  }
  if (kind == 2) {
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
  tree.nodes = std::move(leaves);
  tree.nodes.resize(static_cast<std::size_t>(2 * L - 1));
  auto& nodes = tree.nodes;

  // Selection sort by descending weight: the first position holding the
  // largest weight is exchanged to the front, which reorders equal weights.
  for (std::int32_t i = 0; i + 1 < L; ++i) {
    std::int32_t m = i;
    for (std::int32_t j = i; j < L; ++j) {
      if (nodes[j].weight > nodes[m].weight) m = j;
    }
    std::swap(nodes[i], nodes[m]);
  }

  // Merge the two lightest parentless nodes; among equal weights the highest
  // position is taken first and gets the 1 bit.
  for (std::int32_t k = L; k <= 2 * L - 2; ++k) {
    std::int32_t a = NO_NODE;
    std::int32_t best = INT_MAX;
    for (std::int32_t x = 0; x < k; ++x) {
      if (nodes[x].parent == NO_NODE && nodes[x].weight <= best) {
        best = nodes[x].weight;
        a = x;
      }
    }
    std::int32_t b = NO_NODE;
    best = INT_MAX;
    for (std::int32_t x = 0; x < k; ++x) {
      if (x != a && nodes[x].parent == NO_NODE && nodes[x].weight <= best) {
        best = nodes[x].weight;
        b = x;
      }
    }
    DecodingNode& branch = nodes[k];
    branch.type = NODE_BRANCH;
    branch.weight = nodes[a].weight + nodes[b].weight;
    branch.child_one = a;
    branch.child_zero = b;
    branch.parent = NO_NODE;
    nodes[a].parent = k;
    nodes[b].parent = k;
  }
  return tree;
}

}  // namespace tolvex
