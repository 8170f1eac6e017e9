// The VORQINFO index file <DIR>.IDX, big-endian: a 128-byte header, one
// 48-byte record per data file and font file, then the 512-byte large icon
// and the 120-byte small icon: 760 + 48 * N bytes.
//
// Header:                              Record:
//   at  bytes  field                     at  bytes  field
//    0    8    "VORQINFO"                 0    3    zeros
//    8    4    00 02 00 02                3    1    code (0xF1, 0xF2: fonts)
//   12    1    title length (<= 64)       4    4    first page (merged numbering)
//   13   64    title, zero-padded         8    4    last page
//   77    1    record count              12    1    attribute
//   78    2    catalog record bytes 0-1  13    3    parameters
//   80    4    large icon offset         16    1    name length (<= 31)
//   84    4    large icon size           17   31    name, zero-padded
//   88    4    small icon offset
//   92    4    small icon size         A font record holds its code and name.
//   96    4    DicId
//  100   28    zeros
#pragma once

#include <array>
#include <cstdint>

namespace tolvex {

inline constexpr int INFO_HEADER_SIZE = 128;
inline constexpr std::array<std::uint8_t, 12> INFO_MAGIC = {'V', 'O', 'R',  'Q',  'I',  'N',
                                                            'F', 'O', 0x00, 0x02, 0x00, 0x02};
inline constexpr int INFO_TITLE_LENGTH_AT = 12;
inline constexpr int INFO_TITLE_AT = 13;
inline constexpr int INFO_TITLE_MAX = 64;
inline constexpr int INFO_COUNT_AT = 77;
inline constexpr int INFO_CATALOG_HEAD_AT = 78;
inline constexpr int INFO_LARGE_ICON_OFFSET_AT = 80;
inline constexpr int INFO_LARGE_ICON_SIZE_AT = 84;
inline constexpr int INFO_SMALL_ICON_OFFSET_AT = 88;
inline constexpr int INFO_SMALL_ICON_SIZE_AT = 92;
inline constexpr int INFO_DIC_ID_AT = 96;
inline constexpr int INFO_RESERVED_AT = 100;

inline constexpr int INFO_RECORD_SIZE = 48;
inline constexpr int INFO_RECORD_CODE_AT = 3;
inline constexpr int INFO_RECORD_FIRST_PAGE_AT = 4;
inline constexpr int INFO_RECORD_LAST_PAGE_AT = 8;
inline constexpr int INFO_RECORD_ATTRIBUTE_AT = 12;
inline constexpr int INFO_RECORD_PARAMETERS_AT = 13;
inline constexpr int INFO_RECORD_NAME_LENGTH_AT = 16;
inline constexpr int INFO_RECORD_NAME_AT = 17;
inline constexpr int INFO_NAME_MAX = 31;

inline constexpr std::uint8_t FULL_FONT_CODE = 0xF1;
inline constexpr std::uint8_t HALF_FONT_CODE = 0xF2;

}  // namespace tolvex
