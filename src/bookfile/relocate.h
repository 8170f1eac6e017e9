// Relocation of graphic (1F 4D, page at bytes 14-17) and sound (1F 4A, pages
// at bytes 6-9 and 12-15) references in body text, whose page numbers are
// 8-digit packed BCD. Used when separate graphic and sound files are merged
// behind the text's pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvex {

struct RelocationCounts {
  int graphic = 0;
  int sound = 0;
};

// Scans `length` bytes (whole pages) of `buffer` at even positions. The
// buffer must hold one more page after them: an escape that starts near the
// end keeps its page numbers there. An escape is relocated only when it starts
// inside the scanned bytes, so each one is relocated exactly once when the
// following page opens the next chunk.
RelocationCounts relocate_references(std::uint8_t* buffer, std::size_t length, std::int32_t graphic_shift,
                                     std::int32_t sound_shift);

}  // namespace tolvex
