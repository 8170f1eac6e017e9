#include "components/chunk_reader.h"

#include <cstring>

namespace tolvex {

ChunkReader::Status ChunkReader::read(std::uint8_t* area, std::size_t& length) {
  const Status status = read_pages(area, length);
  if (status == Status::ok && file_.relocate) {
    const RelocationCounts counts = relocate_references(area, length, shifts_.graphic, shifts_.sound);
    relocated_.graphic += counts.graphic;
    relocated_.sound += counts.sound;
  }
  return status;
}

// Page 0 to read_block goes on after the page it read last: only a chunk's
// first read names its page.
ChunkReader::Status ChunkReader::read_pages(std::uint8_t* area, std::size_t& length) {
  length = 0;
  bool first_read = true;
  if (lookahead_) {
    std::memcpy(area, previous_ + PAGES_PER_CHUNK * PAGE_SIZE, PAGE_SIZE);
    length = PAGE_SIZE;
    lookahead_ = false;
  }
  previous_ = area;
  while (remaining_ > 0 && length < static_cast<std::size_t>(CHUNK_BYTES)) {
    if (pages_.read_block(area + length, file_.source, first_read ? next_page_ : 0) == nullptr) {
      return Status::page_failed;
    }
    first_read = false;
    ++next_page_;
    --remaining_;
    length += PAGE_SIZE;
  }
  if (remaining_ > 0) {
    if (pages_.read_block(area + PAGES_PER_CHUNK * PAGE_SIZE, file_.source, first_read ? next_page_ : 0) == nullptr) {
      return Status::lookahead_failed;
    }
    ++next_page_;
    --remaining_;
    lookahead_ = true;
  }
  return Status::ok;
}

}  // namespace tolvex
