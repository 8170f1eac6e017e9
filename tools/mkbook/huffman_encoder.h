// Writer of EPWING-compressed files (text and sound), the inverse of
// read_block for compressed files.
//
// File layout written here (all integers big-endian):
//   0   20-byte header: index_offset, index length (word 1), table_offset,
//       table_length, word 4 (0); zero padding up to byte 48, because the EB
//       library reads a longer header than the five words
//   48  page index: one 36-byte PageGroup per 16 pages (4-byte base, sixteen
//       2-byte offsets from it); unused slots of the last group are 0, which
//       is how the EB library finds the number of pages
//   ... frequency tables: kind 1: P pair records (2 bytes + weight) and 256
//       byte weights; kind 2: Q quad records (4 bytes + weight), exactly 1024
//       pair records and 256 byte weights
//   ... page records: kind 1: the bit stream; kind 2: a flag byte (0, then the
//       bit stream; 1, then the 2048 bytes of a raw page)
//
// Codes are read off the very tree that build_tree_from_leaves makes of the
// table, so a reader that builds its tree that way decodes what was meant.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "bookfile/huffman.h"
#include "bookfile/page_sizes.h"
#include "catalog/catalog.h"

namespace tolvex::testbook {

// The page size as a byte count for containers.
inline constexpr std::size_t PAGE_BYTES = PAGE_SIZE;
using Page = std::array<std::uint8_t, PAGE_BYTES>;

struct HuffmanOptions {
  // Symbols that no page uses get weight 0 (the EB library refuses such
  // tables; our reader accepts them). Otherwise every weight is at least 1.
  bool allow_zero_weights = false;
  // Write the end-of-page symbol also after a page that the symbols fill
  // completely. The EB library needs it in kind 1.
  bool end_symbol_after_full_page = true;
  int max_pairs = 300;  // kind 1: how many two-byte symbols at most
  int max_quads = 400;  // kind 2: how many four-byte symbols at most
  // Kind 2: store a page raw when its stream would take 2048 bytes or more.
  bool raw_when_larger = true;
  // Kind 2: pages (numbered from 1) stored raw in any case.
  std::vector<std::uint32_t> force_raw_pages;
};

// The symbols of one file with their 16-bit weights, in file order.
struct FrequencyTable {
  int kind = 1;
  std::vector<std::pair<std::array<std::uint8_t, 4>, std::uint16_t>> quads;
  std::vector<std::pair<std::array<std::uint8_t, 2>, std::uint16_t>> pairs;
  std::array<std::uint16_t, 256> bytes{};

  std::int32_t table_length() const;
  std::vector<std::uint8_t> serialize() const;
};

// A code as bits, most significant (first sent) first.
using Code = std::vector<std::uint8_t>;

class HuffmanEncoder {
 public:
  explicit HuffmanEncoder(const FrequencyTable& table);

  // The bit stream of one page: the longest prefix with a non-zero byte at
  // its end is encoded (a four-byte symbol where one fits and is known, else a
  // two-byte one, else single bytes), then the end-of-page symbol unless the
  // page is full and the options say not to.
  std::vector<std::uint8_t> encode_page(const Page& page, bool end_after_full_page) const;

  const Code& byte_code(std::uint8_t b) const { return byte_codes_[b]; }
  const Code& end_code() const { return end_code_; }
  const DecodingTree& tree() const { return tree_; }

 private:
  DecodingTree tree_;
  std::array<Code, 256> byte_codes_;
  std::map<std::uint16_t, Code> pair_codes_;
  std::map<std::uint32_t, Code> quad_codes_;
  Code end_code_;
};

// Chooses the symbols and weights for these pages: the most frequent pairs
// (and, in kind 2, quads) at even offsets, where two-byte characters start,
// plus extra_pairs (kind 1 only).
FrequencyTable choose_symbols(int kind, std::span<const Page> pages, const HuffmanOptions& options,
                              const std::set<std::uint16_t>& extra_pairs = {});

struct CompressedFile {
  std::vector<std::uint8_t> bytes;
  std::vector<bool> raw_pages;  // kind 2: pages stored raw (index = page - 1)
  std::int32_t index_offset = 0;
  std::int32_t table_offset = 0;
  std::int32_t table_length = 0;
};

// Compresses the pages as a file of kind 1 or 2. Fails (false, with a
// message) for an empty page list, another kind, or a group of 16 pages whose
// data would need offsets beyond 16 bits.
bool compress_pages(int kind, std::span<const Page> pages, const HuffmanOptions& options, CompressedFile& out,
                    std::string& error);

}  // namespace tolvex::testbook
