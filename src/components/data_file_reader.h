// Reads a VORQDATA data file back: checks its header, its chunk offset table
// and its chunk records, decodes every chunk and gives back the pages.
//
// The layout is data_file_layout.h. The records lie back to back behind the
// offset table, and the file ends after the last. Every chunk but the last
// decodes to a whole chunk, the last to 1..16 pages, and the pages together
// are last_page - first_page + 1.
//
// The reader trusts nothing in the file: every fault ends the reading with a
// message naming it, and no input makes it read or write out of bounds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "bookfile/page_sizes.h"
#include "components/data_file_layout.h"

namespace tolvex {

struct ChunkRecordInfo {
  std::uint32_t offset = 0;
  std::uint32_t token_count = 0;
  std::uint8_t fill_byte = 0;
};

struct DataFile {
  std::uint8_t code = 0;
  std::uint16_t chunk_count = 0;
  std::uint32_t first_page = 0;
  std::uint32_t last_page = 0;
  std::uint8_t attribute = 0;
  std::array<std::uint8_t, 3> parameters{};
  std::vector<ChunkRecordInfo> chunks;
  std::vector<std::uint8_t> pages;  // every chunk decoded, in order

  std::size_t page_count() const { return pages.size() / PAGE_SIZE; }
};

// Parses and decodes a whole file held in memory. On failure returns false
// and sets `error` to one line describing the first fault found; `out` then
// holds what was read up to that point.
bool parse_data_file(std::span<const std::uint8_t> bytes, DataFile& out, std::string& error);

// Reads the file at `path` and parses it as above.
bool read_data_file(const std::string& path, DataFile& out, std::string& error);

}  // namespace tolvex
