// Helpers of the real-book tools: big-endian fields, the index page, the
// relocation of graphic and sound references, and the EPWING compressed file
// writer (and a reader used to check it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace realbook {

using Bytes = std::vector<uint8_t>;
constexpr size_t kPage = 2048;

uint32_t get_be(const uint8_t* p, int width);
void put_be(uint8_t* p, int width, uint32_t value);
// 4-byte packed BCD, eight digits, high digit first.
uint32_t get_bcd4(const uint8_t* p);
void put_bcd4(uint8_t* p, uint32_t value);

// One 16-byte entry of a subbook's index page.
struct IndexEntry {
  uint8_t code;
  uint32_t start;  // first page, from 1
  uint32_t count;  // pages
};
std::vector<IndexEntry> read_index(const uint8_t* page);

// Adds `graphic_shift` to the page number of every colour graphic escape
// (1F 4D ..., BCD page at bytes 14-17) and `sound_shift` to both page numbers
// of every sound escape (1F 4A ..., bytes 6-9 and 12-15) that starts at an
// even offset below `length`.  The buffer must hold 20 bytes beyond `length`.
struct Relocation {
  int graphic = 0;
  int sound = 0;
};
Relocation relocate_references(uint8_t* text, size_t length, int32_t graphic_shift, int32_t sound_shift);

// EPWING compression.  compress_file() turns whole 2048-byte pages into a
// compressed file of kind 1 (one- and two-byte symbols, code 0x11) or kind 2
// (one-, two- and four-byte symbols and raw pages, code 0x12); read_page()
// decodes page `page` (from 1) of such a file.
Bytes compress_file(const Bytes& pages, int kind);
Bytes read_page(const Bytes& file, int kind, uint32_t page);

// The code (bit string of '0' and '1') that the decoding tree built from the
// given leaf weights gives each leaf.  Leaves in file order: quads, pairs,
// the 256 bytes; the end-of-page leaf (weight 1) is appended last.
std::vector<std::string> huffman_codes(const std::vector<uint32_t>& weights);

}  // namespace realbook
