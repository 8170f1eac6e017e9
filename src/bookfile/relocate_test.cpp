#include "bookfile/relocate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "bookfile/book_file.h"
#include "catalog/bytes.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Counts = std::pair<int, int>;  // graphic, sound
using Pages = std::pair<std::uint32_t, std::uint32_t>;

// `pages` scanned pages of text and the page of room behind them.
Bytes text_buffer(int pages) { return Bytes(static_cast<std::size_t>(pages + 1) * PAGE_SIZE, 0x21); }
Counts counts(RelocationCounts c) { return {c.graphic, c.sound}; }

// References whose packed-BCD page numbers are written and read as hex: 0x123 is page 123.
void put_graphic(Bytes& b, std::size_t at, std::uint32_t page) {
  std::fill_n(&b[at], 20, 0);
  put_be(&b[at], 2, 0x1F4D);
  put_be(&b[at + 14], 4, page);
}
void put_sound(Bytes& b, std::size_t at, std::uint32_t first, std::uint32_t second) {
  std::fill_n(&b[at], 18, 0);
  put_be(&b[at], 2, 0x1F4A);
  put_be(&b[at + 6], 4, first);
  put_be(&b[at + 12], 4, second);
}
std::uint32_t graphic_page(const Bytes& b, std::size_t at) { return get_be(&b[at + 14], 4); }
Pages sound_pages(const Bytes& b, std::size_t at) { return {get_be(&b[at + 6], 4), get_be(&b[at + 12], 4)}; }

TEST(RelocateReferences, ShiftsThePageNumbersOfTheKindsWithAShift) {
  Bytes b = text_buffer(1);
  put_graphic(b, 0, 0x123);
  put_be(&b[2], 2, 0x1F4D);      // inside the reference: not one
  put_sound(b, 20, 0x10, 0x12);  // right behind the graphic reference: taken in the same step
  put_graphic(b, 38, 0x7);       // right behind the sound reference: stepped over when that is taken
  put_graphic(b, 200, 0x99999999);
  put_graphic(b, 301, 0x5);  // at an odd position: not a reference
  const Bytes before = b;
  EXPECT_EQ(counts(relocate_references(b.data(), PAGE_SIZE, 0, 0)), Counts(0, 0));
  EXPECT_EQ(b, before);
  EXPECT_EQ(counts(relocate_references(b.data(), PAGE_SIZE, 50, 0)), Counts(3, 0));
  EXPECT_EQ(graphic_page(b, 0), 0x173u);
  EXPECT_EQ(graphic_page(b, 38), 0x57u);
  EXPECT_EQ(graphic_page(b, 200), 0x49u);  // the lowest eight digits
  EXPECT_EQ(sound_pages(b, 20), Pages(0x10, 0x12));
  EXPECT_EQ(counts(relocate_references(b.data(), PAGE_SIZE, -3, 100)), Counts(2, 1));
  EXPECT_EQ(graphic_page(b, 0), 0x170u);
  EXPECT_EQ(sound_pages(b, 20), Pages(0x110, 0x112));
  EXPECT_EQ(graphic_page(b, 38), 0x57u);
  EXPECT_EQ(graphic_page(b, 301), 0x5u);
}

// The data writer's carry: a 16-page chunk is scanned with the next page as
// room, then that page (as changed) opens the next buffer and is scanned. A
// graphic reference closing the chunk, or one in its last unit (the page
// number in the room), and a sound reference right behind it are each
// relocated exactly once.
TEST(RelocateReferences, ReferencesAtAChunkBoundaryAreRelocatedOnce) {
  const std::size_t end = 16 * PAGE_SIZE;
  for (std::size_t graphic : {end - 20, end - 2}) {
    Bytes chunk = text_buffer(16);
    put_graphic(chunk, graphic, 0x500);
    put_sound(chunk, graphic + 20, 0x30, 0x31);
    EXPECT_EQ(counts(relocate_references(chunk.data(), end, 1000, 100)), Counts(1, 0));
    Bytes next(chunk.begin() + end, chunk.end());
    next.resize(2 * PAGE_SIZE, 0x21);
    EXPECT_EQ(counts(relocate_references(next.data(), PAGE_SIZE, 1000, 100)), Counts(0, 1));
    std::copy(next.begin(), next.begin() + PAGE_SIZE, chunk.begin() + end);
    EXPECT_EQ(graphic_page(chunk, graphic), 0x1500u);
    EXPECT_EQ(sound_pages(chunk, graphic + 20), Pages(0x130, 0x131));
  }
}

}  // namespace
}  // namespace tolvex
