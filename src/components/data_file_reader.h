// Reads a VORQDATA data file back: checks its header, its chunk offset table
// and its chunk records, decodes every chunk and gives back the pages.
//
// Layout (big-endian): a 64-byte header ("VORQDATA", 00 02 00 02 00 00 00,
// code at 15, 00 10 10 00 00 10, chunk_count u16 at 22, first_page u32 at 24,
// last_page u32 at 28, attribute at 32, parameters at 33..35, 28 zero bytes);
// then chunk_count u32 record offsets; then the records back to back, each
// token_count u32, fill_byte, 3 * token_count token bytes; the file ends
// after the last record. Every chunk but the last decodes to 16 pages of 2048
// bytes, the last to 1..16 pages, and the pages together are
// last_page - first_page + 1.
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

namespace tolvex {

inline constexpr int DATA_HEADER_SIZE = 64;
inline constexpr int DATA_PAGE_SIZE = 2048;

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

  std::size_t page_count() const { return pages.size() / DATA_PAGE_SIZE; }
};

// Parses and decodes a whole file held in memory. On failure returns false
// and sets `error` to one line describing the first fault found; `out` then
// holds what was read up to that point.
bool parse_data_file(std::span<const std::uint8_t> bytes, DataFile& out, std::string& error);

// Reads the file at `path` and parses it as above.
bool read_data_file(const std::string& path, DataFile& out, std::string& error);

}  // namespace tolvex
