#include <cstring>

#include "bookfile/book_file.h"
#include "bookfile/huffman.h"
#include "bookfile/huffman_table.h"

namespace tolvex {

bool decode_page(std::span<const std::uint8_t> stream, const DecodingTree& tree, std::uint8_t* page,
                 std::size_t page_bits) {
  const DecodingTable* table = tree.table.get();
  if (table != nullptr && table->node_count() == tree.nodes.size() &&
      stream.size() <= static_cast<std::size_t>(PAGE_SIZE)) {
    return table->decode(stream, page, page_bits);
  }
  return decode_page_walk(stream, tree, page);
}

bool decode_page_walk(std::span<const std::uint8_t> stream, const DecodingTree& tree, std::uint8_t* page) {
  constexpr std::size_t kPage = static_cast<std::size_t>(PAGE_SIZE);
  std::size_t out = 0;
  bool complete = false;
  if (!tree.nodes.empty()) {
    const DecodingNode* nodes = tree.nodes.data();
    const std::int32_t root = tree.root();
    const std::uint8_t* bytes = stream.data();
    const std::size_t total_bits = stream.size() * 8;
    std::size_t bit = 0;  // index of the next bit: byte bit / 8, MSB first
    bool done = false;
    while (!done && out < kPage) {
      const DecodingNode* node = &nodes[root];
      while (node->type == NODE_BRANCH) {
        if (bit >= total_bits) {
          // The stream read from the file ran out before the page ended.
          done = true;
          break;
        }
        const unsigned b = (bytes[bit >> 3] >> (7 - (bit & 7))) & 1u;
        ++bit;
        node = &nodes[b ? node->child_one : node->child_zero];
      }
      if (done) break;
      int width = 0;
      switch (node->type) {
        case NODE_BYTE: width = 1; break;
        case NODE_PAIR: width = 2; break;
        case NODE_QUAD: width = 4; break;
        default:  // end of page
          done = true;
          complete = true;
          break;
      }
      // Bytes past the end of the page are dropped; a full page needs no end symbol.
      for (int i = 0; i < width && out < kPage; ++i) page[out++] = node->value[i];
    }
  }
  if (out >= kPage) complete = true;
  if (out < kPage) std::memset(page + out, 0, kPage - out);
  return complete;
}

}  // namespace tolvex
