// Reads the pages of one planned file chunk by chunk, with the page after
// each chunk read ahead, and relocates the graphic and sound references of
// body text on the way (relocate.h needs the page after the scanned ones).
#pragma once

#include <cstddef>
#include <cstdint>

#include "bookfile/book_file.h"
#include "bookfile/page_sizes.h"
#include "bookfile/relocate.h"
#include "components/plan.h"

namespace tolvex {

// A chunk area: 16 chunk pages and the look-ahead page after them.
inline constexpr std::size_t CHUNK_AREA_BYTES = (PAGES_PER_CHUNK + 1) * PAGE_SIZE;

// What the merged numbering adds to graphic and sound page numbers.
struct Shifts {
  std::int32_t graphic = 0;
  std::int32_t sound = 0;
};

// Each chunk goes into a chunk area of its own or the same one again. The
// look-ahead page (which relocation may have changed) is carried from the
// previous chunk's area into the next chunk, so that every page is read once
// and written once; that area must still hold it.
class ChunkReader {
 public:
  ChunkReader(PageReader& pages, const PlannedFile& file, const Shifts& shifts)
      : pages_(pages), file_(file), shifts_(shifts), next_page_(file.range.first), remaining_(file.range.count) {}

  enum class Status { ok, page_failed, lookahead_failed };

  // Reads the next chunk into `area` and sets `length` to its bytes
  // (relocated when the file's references move). A failure is left to the
  // caller to report.
  Status read(std::uint8_t* area, std::size_t& length);

  // References relocated so far, of each kind.
  const RelocationCounts& relocated() const { return relocated_; }

 private:
  Status read_pages(std::uint8_t* area, std::size_t& length);

  PageReader& pages_;
  const PlannedFile& file_;
  Shifts shifts_;
  std::uint32_t next_page_;
  // Pages still to read; counting down avoids wrap-around at the last page number.
  std::uint32_t remaining_;
  const std::uint8_t* previous_ = nullptr;  // the area of the last chunk read
  bool lookahead_ = false;
  RelocationCounts relocated_;
};

}  // namespace tolvex
