#include "bookfile/relocate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "bookfile/book_file.h"
#include "source/bytes.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A buffer of `pages` scanned pages plus the page of room behind them.
Bytes text_buffer(int pages) { return Bytes(static_cast<std::size_t>(pages + 1) * PAGE_SIZE, 0x21); }

void put_graphic(Bytes& b, std::size_t at, std::uint32_t page) {
  b[at] = 0x1F;
  b[at + 1] = 0x4D;
  std::fill(b.begin() + static_cast<std::ptrdiff_t>(at + 2), b.begin() + static_cast<std::ptrdiff_t>(at + 20), 0x00);
  int_to_bcd(&b[at + 14], page);
}

void put_sound(Bytes& b, std::size_t at, std::uint32_t first, std::uint32_t second) {
  b[at] = 0x1F;
  b[at + 1] = 0x4A;
  std::fill(b.begin() + static_cast<std::ptrdiff_t>(at + 2), b.begin() + static_cast<std::ptrdiff_t>(at + 18), 0x00);
  int_to_bcd(&b[at + 6], first);
  int_to_bcd(&b[at + 12], second);
}

std::uint32_t graphic_page(const Bytes& b, std::size_t at) { return bcd_to_int(&b[at + 14]); }
std::uint32_t sound_first(const Bytes& b, std::size_t at) { return bcd_to_int(&b[at + 6]); }
std::uint32_t sound_second(const Bytes& b, std::size_t at) { return bcd_to_int(&b[at + 12]); }

TEST(RelocateReferences, ZeroOffsetsLeaveTheBufferAlone) {
  Bytes b = text_buffer(1);
  put_graphic(b, 0, 123);
  put_sound(b, 40, 10, 12);
  const Bytes before = b;
  RelocationCounts c = relocate_references(b.data(), PAGE_SIZE, 0, 0);
  EXPECT_EQ(b, before);
  EXPECT_EQ(c.graphic, 0);
  EXPECT_EQ(c.sound, 0);
}

TEST(RelocateReferences, ShiftsTheBcdPageNumbers) {
  Bytes b = text_buffer(1);
  put_graphic(b, 0, 123);
  put_sound(b, 100, 10, 12);
  put_graphic(b, 200, 100);
  RelocationCounts c = relocate_references(b.data(), PAGE_SIZE, 50, 100);
  EXPECT_EQ((Bytes{b[14], b[15], b[16], b[17]}), (Bytes{0x00, 0x00, 0x01, 0x73}));
  EXPECT_EQ((Bytes{b[106], b[107], b[108], b[109]}), (Bytes{0x00, 0x00, 0x01, 0x10}));
  EXPECT_EQ((Bytes{b[112], b[113], b[114], b[115]}), (Bytes{0x00, 0x00, 0x01, 0x12}));
  EXPECT_EQ(graphic_page(b, 200), 150u);
  EXPECT_EQ(c.graphic, 2);
  EXPECT_EQ(c.sound, 1);

  Bytes down = text_buffer(1);
  put_graphic(down, 0, 100);
  relocate_references(down.data(), PAGE_SIZE, -3, 0);
  EXPECT_EQ((Bytes{down[14], down[15], down[16], down[17]}), (Bytes{0x00, 0x00, 0x00, 0x97}));

  Bytes wrap = text_buffer(1);
  put_graphic(wrap, 0, 99999999);
  relocate_references(wrap.data(), PAGE_SIZE, 1, 0);
  EXPECT_EQ((Bytes{wrap[14], wrap[15], wrap[16], wrap[17]}), (Bytes{0x00, 0x00, 0x00, 0x00}));
}

TEST(RelocateReferences, OnlyEvenPositionsAndOnlyKindsWithAnOffsetAreSeen) {
  Bytes b = text_buffer(1);
  put_graphic(b, 101, 5);  // odd position
  put_graphic(b, 300, 5);
  RelocationCounts c = relocate_references(b.data(), PAGE_SIZE, 0, 7);  // graphic offset 0
  EXPECT_EQ(graphic_page(b, 101), 5u);
  EXPECT_EQ(graphic_page(b, 300), 5u);
  EXPECT_EQ(c.graphic, 0);
  c = relocate_references(b.data(), PAGE_SIZE, 7, 0);
  EXPECT_EQ(graphic_page(b, 101), 5u);
  EXPECT_EQ(graphic_page(b, 300), 12u);
  EXPECT_EQ(c.graphic, 1);
}

TEST(RelocateReferences, SoundRightBehindAGraphicIsTakenButAGraphicRightBehindASoundIsNot) {
  Bytes b = text_buffer(1);
  put_graphic(b, 0, 1);
  put_sound(b, 20, 2, 3);
  put_sound(b, 100, 4, 5);
  put_graphic(b, 118, 6);  // starts where the sound reference ends: stepped over
  RelocationCounts c = relocate_references(b.data(), PAGE_SIZE, 10, 100);
  EXPECT_EQ(graphic_page(b, 0), 11u);
  EXPECT_EQ(sound_first(b, 20), 102u);
  EXPECT_EQ(sound_second(b, 20), 103u);
  EXPECT_EQ(sound_first(b, 100), 104u);
  EXPECT_EQ(graphic_page(b, 118), 6u);
  EXPECT_EQ(c.graphic, 1);
  EXPECT_EQ(c.sound, 2);
}

TEST(RelocateReferences, GraphicInTheLastUnitIsRelocatedInTheRoomBeyond) {
  Bytes b = text_buffer(1);
  put_graphic(b, PAGE_SIZE - 2, 40);
  RelocationCounts c = relocate_references(b.data(), PAGE_SIZE, 3, 0);
  EXPECT_EQ(graphic_page(b, PAGE_SIZE - 2), 43u);
  EXPECT_EQ(c.graphic, 1);
}

// The data file writer's carry: scan a 16-page chunk with the next page as
// room, move that page (as changed) to the start of the next buffer, scan again.
struct CarryResult {
  Bytes next;
  RelocationCounts first, second;
};
CarryResult scan_with_carry(Bytes& chunk, std::int32_t graphic_shift, std::int32_t sound_shift) {
  const std::size_t scanned = 16 * PAGE_SIZE;
  CarryResult r;
  r.first = relocate_references(chunk.data(), scanned, graphic_shift, sound_shift);
  r.next = text_buffer(1);
  std::copy(chunk.begin() + scanned, chunk.end(), r.next.begin());
  r.second = relocate_references(r.next.data(), PAGE_SIZE, graphic_shift, sound_shift);
  return r;
}

TEST(RelocateReferences, SoundOpeningTheNextChunkIsRelocatedOnceAfterAGraphicEndingTheChunk) {
  Bytes chunk = text_buffer(16);
  const std::size_t end = 16 * PAGE_SIZE;
  put_graphic(chunk, end - 20, 500);  // ends exactly at the chunk end
  put_sound(chunk, end, 30, 31);      // first bytes of the next chunk
  CarryResult r = scan_with_carry(chunk, 1000, 100);
  EXPECT_EQ(graphic_page(chunk, end - 20), 1500u);
  EXPECT_EQ(r.first.graphic, 1);
  EXPECT_EQ(r.first.sound, 0);
  EXPECT_EQ(sound_first(r.next, 0), 130u);
  EXPECT_EQ(sound_second(r.next, 0), 131u);
  EXPECT_EQ(r.second.sound, 1);
}

TEST(RelocateReferences, SoundBehindAGraphicInTheLastUnitWaitsForTheNextChunk) {
  Bytes chunk = text_buffer(16);
  const std::size_t end = 16 * PAGE_SIZE;
  put_graphic(chunk, end - 2, 500);  // page number lies in the room
  put_sound(chunk, end + 18, 30, 31);
  CarryResult r = scan_with_carry(chunk, 1000, 100);
  EXPECT_EQ(bcd_to_int(&r.next[12]), 1500u);  // bytes 14-17 of the graphic, moved with the page
  EXPECT_EQ(r.first.graphic, 1);
  EXPECT_EQ(r.first.sound, 0);
  EXPECT_EQ(sound_first(r.next, 18), 130u);
  EXPECT_EQ(r.second.sound, 1);
}

}  // namespace
}  // namespace tolvex
