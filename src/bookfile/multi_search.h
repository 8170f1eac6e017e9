// The page range of a multi-search component (index code 0xFF).
//
// The entry's start page names a page that lists G groups (count at byte 0,
// groups from byte 16); each group holds E entries (count in its first byte)
// of 16 bytes after a 32-byte group header, each with a start page (bytes
// 2-5) and a page count (bytes 6-9). The component is carried as the block
// from the lowest to the highest page of the page itself and every entry.
#pragma once

#include <cstdint>

#include "bookfile/book_file.h"

namespace tolvex {

// On success replaces start_page by the lowest page of the range and returns
// the number of pages; on failure returns 0 and leaves start_page alone.
// The walk never leaves the 2048-byte page: it stops with the range so far.
std::int32_t multi_search_page_range(PageReader& reader, BookFile* file, std::uint32_t& start_page);

}  // namespace tolvex
