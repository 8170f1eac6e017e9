#include "bookfile/multi_search.h"

#include <climits>

#include "catalog/bytes.h"

namespace tolvex {

namespace {
constexpr int kGroupsStart = 16;  // the group count and 14 unused bytes come first
constexpr int kGroupHeader = 32;  // entry count in byte 0, 31 unused bytes
constexpr int kEntrySize = 16;    // laid out like an index entry
}  // namespace

std::int32_t multi_search_page_range(PageReader& reader, BookFile* file, std::uint32_t& start_page) {
  std::uint8_t page[PAGE_SIZE];
  if (reader.read_block(page, file, start_page) == nullptr) return 0;

  std::uint32_t low = start_page;
  std::uint32_t high = start_page;
  const std::uint32_t groups = get_be(page, 2);
  int pos = kGroupsStart;
  // Counts that would carry the walk past the page end it with the range so far.
  for (std::uint32_t g = 0; g < groups && pos < PAGE_SIZE; ++g) {
    const int entries = page[pos];
    int entry = pos + kGroupHeader;
    for (int e = 0; e < entries && entry + kEntrySize <= PAGE_SIZE; ++e, entry += kEntrySize) {
      const std::uint32_t first = get_be(page + entry + 2, 4);
      const std::uint32_t count = get_be(page + entry + 6, 4);
      if (count == 0) continue;
      const std::uint32_t last = first + count - 1;  // modulo 2^32, as the page numbers are
      if (first < low) low = first;
      if (last > high) high = last;
    }
    pos += kGroupHeader + kEntrySize * entries;
  }

  // A range too long for the signed page count cannot be a real component
  // (it would come back negative or as 0); treat it as unreadable.
  const std::uint32_t size = high - low + 1;
  if (size == 0 || size > static_cast<std::uint32_t>(INT32_MAX)) return 0;
  start_page = low;
  return static_cast<std::int32_t>(size);
}

}  // namespace tolvex
