// The package's binary index file Dic/<DIR>/<DIR>.IDX ("VORQINFO",
// big-endian): a 128-byte header (title, record count, the first two bytes
// of the catalog's subbook record, icon offsets and sizes, DicId), one
// 48-byte record per selected index entry in index page order (code, first
// and last page, attribute, parameters, data file name), one per font file
// (codes 0xF1 full-width, 0xF2 half-width, name only), then the 512-byte
// large icon and the 120-byte small icon. 760 + 48 * N bytes.
#pragma once

#include <cstdint>
#include <string>

#include "components/package_description.h"
#include "components/plan.h"

namespace tolvex {

inline constexpr int INFO_HEADER_SIZE = 128;
inline constexpr int INFO_RECORD_SIZE = 48;
inline constexpr int INFO_TITLE_MAX = 64;
inline constexpr int INFO_NAME_MAX = 31;
inline constexpr std::uint8_t FULL_FONT_CODE = 0xF1;
inline constexpr std::uint8_t HALF_FONT_CODE = 0xF2;

// One record per planned data file, with its pages in the merged numbering.
// Returns 0, or -1 after printing "Can't create \"%s\"\n" or
// "write() failed. (12)" ... "(17)".
int write_index_file(const PackageDescription& package, const SubbookPlan& plan);

}  // namespace tolvex
