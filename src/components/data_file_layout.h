// The VORQDATA data file, big-endian: a 64-byte header, a table of
// chunk_count 4-byte record offsets, then one record per chunk.
//
//   at  bytes  field
//    0    8    "VORQDATA"
//    8    7    00 02 00 02 00 00 00
//   15    1    component code
//   16    6    00 10 10 00 00 10
//   22    2    chunk_count
//   24    4    first_page, in the package's merged numbering
//   28    4    last_page
//   32    1    attribute
//   33    3    parameters
//   36   28    zeros
//
// A record: token_count (4), fill_byte (1), then 3 * token_count token bytes
// (compressor.h).
#pragma once

#include <array>
#include <cstdint>

namespace tolvex {

inline constexpr int DATA_HEADER_SIZE = 64;
inline constexpr std::array<std::uint8_t, 8> DATA_MAGIC = {'V', 'O', 'R', 'Q', 'D', 'A', 'T', 'A'};
inline constexpr int DATA_FIXED_8_AT = 8;
inline constexpr std::array<std::uint8_t, 7> DATA_FIXED_8 = {0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00};
inline constexpr int DATA_CODE_AT = 15;
inline constexpr int DATA_FIXED_16_AT = 16;
inline constexpr std::array<std::uint8_t, 6> DATA_FIXED_16 = {0x00, 0x10, 0x10, 0x00, 0x00, 0x10};
inline constexpr int DATA_CHUNK_COUNT_AT = 22;
inline constexpr int DATA_FIRST_PAGE_AT = 24;
inline constexpr int DATA_LAST_PAGE_AT = 28;
inline constexpr int DATA_ATTRIBUTE_AT = 32;
inline constexpr int DATA_PARAMETERS_AT = 33;
inline constexpr int DATA_PADDING_AT = 36;

// One entry of the record offset table.
inline constexpr int DATA_OFFSET_SIZE = 4;
// A record's head: token_count (4 bytes), then the fill byte.
inline constexpr int RECORD_HEAD_BYTES = 5;
inline constexpr int RECORD_FILL_AT = 4;

}  // namespace tolvex
