// multi_search_page_range on any multi-search page: the walk stays inside
// the page, the range always holds the page itself, and failure leaves the
// start page alone.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bookfile/book_file.h"
#include "bookfile/multi_search.h"
#include "fuzz_support.h"

using namespace tolvex;

// The input is the page (padded with zeros to 2048 bytes); bytes after the
// first 2048 are ignored. The page is written as page 3 of a plain file.
TOLVEX_FUZZ_TARGET("multisearch", "") {
  std::vector<std::uint8_t> file(3 * PAGE_SIZE, 0);
  std::memcpy(file.data() + 2 * PAGE_SIZE, input.data(), input.size() < PAGE_SIZE ? input.size() : PAGE_SIZE);
  fuzz::write_bytes("HONMON", file);
  BookFilePtr book = open_book_file("HONMON", 0);
  if (!book) fuzz::fail("plain file could not be opened");

  PageReader reader;
  std::uint32_t start = 3;
  const std::int32_t count = multi_search_page_range(reader, book.get(), start);
  if (count < 0) fuzz::fail("negative page count");
  if (count == 0 && start != 3) fuzz::fail("failure moved the start page");
  if (count > 0) {
    if (start > 3) fuzz::fail("range starts after the multi-search page");
    if (static_cast<std::uint64_t>(start) + static_cast<std::uint64_t>(count) - 1 < 3) {
      fuzz::fail("range ends before the multi-search page");
    }
  }
  // A page that cannot be read is a failure with the start page kept.
  std::uint32_t missing = 9;
  if (multi_search_page_range(reader, book.get(), missing) != 0 || missing != 9)
    fuzz::fail("unreadable page gave a range");
}
