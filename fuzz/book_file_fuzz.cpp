// Opening and reading a compressed book file of any content: the header, the
// frequency tables and the decoding tree, the page index and the page
// decoder, for both compression kinds, plus the plain reader; and the same
// bytes as a file kept compressed with ebzip (EBZBOOK.ebz opened as EBZBOOK),
// page by page and as a byte stream.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bookfile/book_file.h"
#include "fuzz_support.h"

using namespace tolvex;

namespace {
void read_pages(BookFile* file, std::uint32_t pages) {
  std::uint8_t page[PAGE_SIZE + 16];
  const std::uint8_t guard = 0xA5;
  std::memset(page, guard, sizeof page);
  PageReader reader;
  // Page 0 with nothing read yet: fails on compressed files, page 1 on plain ones.
  std::uint8_t* got = reader.read_block(page, file, 0);
  if (file->kind != 0 && got != nullptr) fuzz::fail("compressed page 0 before any read succeeded");
  for (std::uint32_t p = 1; p <= pages; ++p) {
    got = reader.read_block(page, file, p);
    if (got != nullptr && got != page) fuzz::fail("read_block returned another buffer");
    // Page 0 goes on after the page just read (or fails).
    if (got != nullptr && p % 4 == 1) reader.read_block(page, file, 0);
  }
  // Far pages: beyond any page index, and past the signed range.
  reader.read_block(page, file, 0x10000);
  reader.read_block(page, file, 0x7FFFFFFFu);
  reader.read_block(page, file, 0xFFFFFFFFu);
  for (int i = PAGE_SIZE; i < PAGE_SIZE + 16; ++i) {
    if (page[i] != guard) fuzz::fail("read_block wrote past the page");
  }
}
}  // namespace

TOLVEX_FUZZ_TARGET("bookfile", "HONMON2") {
  const std::uint32_t pages = 36;  // three groups of the page index
  for (int kind : {1, 2, 0}) {
    BookFilePtr file = open_book_file("HONMON2", kind);
    if (!file) {
      if (kind == 0) fuzz::fail("a plain file that exists could not be opened");
      continue;
    }
    read_pages(file.get(), pages);
    close_book_file(file);
  }

  fuzz::write_bytes("EBZBOOK.ebz", input);
  for (int kind : {2, 0}) {
    BookFilePtr file = open_book_file("EBZBOOK", kind);
    if (!file) continue;
    if (!file->ebzip || file->kind != 0) fuzz::fail("a .ebz file opened as something else");
    read_pages(file.get(), pages);
  }
  BookFilePtr stream = open_book_file("EBZBOOK", 0);
  std::uint8_t bytes[3000];
  for (int i = 0; stream && i < 64; ++i) {
    const long n = read_book_bytes(stream.get(), bytes, sizeof bytes);
    if (n > static_cast<long>(sizeof bytes)) fuzz::fail("read_book_bytes gave more than asked");
    if (n <= 0) break;
  }
}
