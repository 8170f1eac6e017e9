// Test-only: the decoding tree built literally, by the quadratic passes the
// codes in the files follow from (a selection sort, then two linear scans over
// every node built so far for each branch). The oracle for the faster
// construction in huffman_tree.cpp; not part of the converter.
#pragma once

#include <climits>
#include <utility>
#include <vector>

#include "bookfile/huffman.h"

namespace tolvex::reference {

// The node array of the literal construction (no lookup tables).
inline DecodingTree build_tree_literally(std::vector<DecodingNode> leaves) {
  const std::int32_t L = static_cast<std::int32_t>(leaves.size());
  DecodingTree tree;
  tree.nodes = std::move(leaves);
  tree.nodes.resize(static_cast<std::size_t>(2 * L - 1));
  auto& nodes = tree.nodes;

  // Selection sort: for each i the first position of the largest weight of
  // positions i..L-1 is exchanged with position i (also when it is i).
  for (std::int32_t i = 0; i + 1 < L; ++i) {
    std::int32_t m = i;
    for (std::int32_t j = i; j < L; ++j) {
      if (nodes[j].weight > nodes[m].weight) m = j;
    }
    std::swap(nodes[i], nodes[m]);
  }

  // Merge: a and b are the lightest parentless nodes below k, the scan taking
  // a later position on an equal weight.
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

}  // namespace tolvex::reference
