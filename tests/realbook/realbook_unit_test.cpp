// The pieces of the real-book tools that the EB library check cannot pin
// down alone: the decoding tree's tie-breaks, the compressed file layout, and
// the relocation of references.
#include "realbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

using realbook::Bytes;

namespace {

// Weights of a kind-1 table without two-byte symbols: 'A' 5, 'B' 3, 'C' 1,
// every other byte 0.  The end-of-page leaf (weight 1) comes last.
std::vector<uint32_t> abc_weights() {
  std::vector<uint32_t> w(256, 0);
  w[0x41] = 5;
  w[0x42] = 3;
  w[0x43] = 1;
  return w;
}

TEST(HuffmanCodes, LighterNodeTakesTheOneBitAndLaterNodesWinTies) {
  const auto codes = realbook::huffman_codes(abc_weights());
  ASSERT_EQ(codes.size(), 257u);
  EXPECT_EQ(codes[0x41], "0");
  EXPECT_EQ(codes[0x42], "10");
  EXPECT_EQ(codes[0x43], "110");
  EXPECT_EQ(codes[256], "1110");  // end of page
}

TEST(HuffmanCodes, SelectionSortMovesZeroWeightLeaves) {
  // The sort's exchanges put byte 0x03 last and 0x00..0x02 where A..C were.
  const auto codes = realbook::huffman_codes(abc_weights());
  EXPECT_EQ(codes[0x03], std::string(256, '1'));
  EXPECT_EQ(codes[0xFF], std::string(255, '1') + "0");
  EXPECT_EQ(codes[0x04], "11110");
  EXPECT_EQ(codes[0x00], std::string(65, '1') + "0");
}

Bytes text_pages(size_t pages, unsigned seed) {
  // JIS-like 2-byte text with escapes, the kind of data a HONMON holds.
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < pages * realbook::kPage) {
    const int r = static_cast<int>(rng() % 100);
    if (r < 5) {
      out.insert(out.end(), {0x1F, 0x0A});
    } else if (r < 8) {
      out.insert(out.end(), {0x1F, 0x09, 0x00, 0x02});
    } else {
      out.push_back(static_cast<uint8_t>(0x24 + rng() % 3));
      out.push_back(static_cast<uint8_t>(0x21 + rng() % 40));
    }
  }
  out.resize(pages * realbook::kPage);
  return out;
}

Bytes page_of(const Bytes& pages, size_t p) {
  return Bytes(pages.begin() + static_cast<long>((p - 1) * realbook::kPage),
               pages.begin() + static_cast<long>(p * realbook::kPage));
}

class RoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(RoundTrip, EveryPageDecodesToItself) {
  const Bytes pages = text_pages(37, 7);  // three page groups, the last partial
  const Bytes file = realbook::compress_file(pages, GetParam());
  EXPECT_LT(file.size(), pages.size());
  for (size_t p = 1; p <= 37; ++p) ASSERT_EQ(realbook::read_page(file, GetParam(), p), page_of(pages, p)) << p;
}

TEST_P(RoundTrip, HeaderWordOneIsThePageIndexLength) {
  const Bytes file = realbook::compress_file(text_pages(17, 3), GetParam());
  EXPECT_EQ(realbook::get_be(&file[4], 4), 2u * 36u);  // 17 pages: two groups
  EXPECT_EQ(realbook::get_be(&file[0], 4), realbook::get_be(&file[8], 4) + realbook::get_be(&file[12], 4));
}

TEST_P(RoundTrip, NoWeightIsZero) {
  // Only 'A' occurs, yet every symbol of the table gets a weight.
  const Bytes pages(realbook::kPage * 2, 0x41);
  const Bytes file = realbook::compress_file(pages, GetParam());
  const uint32_t off = realbook::get_be(&file[8], 4), len = realbook::get_be(&file[12], 4);
  const uint32_t quads = GetParam() == 2 ? (len - 4608) / 6 : 0;
  const uint32_t pairs = GetParam() == 2 ? 1024 : (len - 512) / 4;
  const uint8_t* t = &file[off];
  for (uint32_t i = 0; i < quads; ++i, t += 6) ASSERT_GT(realbook::get_be(t + 4, 2), 0u);
  for (uint32_t i = 0; i < pairs; ++i, t += 4) ASSERT_GT(realbook::get_be(t + 2, 2), 0u);
  for (int i = 0; i < 256; ++i, t += 2) ASSERT_GT(realbook::get_be(t, 2), 0u);
  EXPECT_EQ(realbook::read_page(file, GetParam(), 2), page_of(pages, 2));
}

TEST_P(RoundTrip, FullPageStillEndsWithTheEndOfPageCode) {
  // A page of one repeated byte fills all 2048 bytes; a kind-1 reader needs
  // the end-of-page code after it, so the stream carries one more code.
  const Bytes pages(realbook::kPage, 0x41);
  const Bytes file = realbook::compress_file(pages, GetParam());
  EXPECT_EQ(realbook::read_page(file, GetParam(), 1), pages);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RoundTrip, ::testing::Values(1, 2));

// Every byte value equally often, in a fresh order each 256 bytes: no
// two-byte symbol pays, and one-byte codes average more than 8 bits.
Bytes noise(size_t pages, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < pages * realbook::kPage) {
    Bytes block(256);
    for (int i = 0; i < 256; ++i) block[i] = static_cast<uint8_t>(i);
    std::shuffle(block.begin(), block.end(), rng);
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

TEST(Compression, KindTwoStoresNoiseRaw) {
  const Bytes pages = noise(3, 1);
  const Bytes file = realbook::compress_file(pages, 2);
  for (size_t p = 1; p <= 3; ++p) EXPECT_EQ(realbook::read_page(file, 2, p), page_of(pages, p));
  const uint8_t* rec = &file[realbook::get_be(&file[0], 4)];
  EXPECT_EQ(file[realbook::get_be(rec, 4)], 1) << "flag byte of a raw page";
}

TEST(Compression, KindOneRefusesPagesThatDoNotShrink) {
  const Bytes pages = noise(1, 2);
  EXPECT_THROW(realbook::compress_file(pages, 1), std::runtime_error);
}

TEST(Compression, RejectsPartialPagesAndUnknownKinds) {
  EXPECT_THROW(realbook::compress_file(Bytes(100, 0), 1), std::invalid_argument);
  EXPECT_THROW(realbook::compress_file(Bytes(realbook::kPage, 0), 3), std::invalid_argument);
}

TEST(Bcd, RoundTripsAndWrapsAtEightDigits) {
  uint8_t b[4];
  realbook::put_bcd4(b, 12345678);
  EXPECT_EQ(b[0], 0x12);
  EXPECT_EQ(b[3], 0x78);
  EXPECT_EQ(realbook::get_bcd4(b), 12345678u);
  realbook::put_bcd4(b, 99999999u + 1u);
  EXPECT_EQ(realbook::get_bcd4(b), 0u);
}

Bytes with_room(Bytes b) {
  b.resize(b.size() + realbook::kPage, 0);
  return b;
}

TEST(Relocate, GraphicAndSoundPagesMove) {
  Bytes t = with_room(Bytes(64, 0));
  const uint8_t graphic[20] = {0x1F, 0x4D, 0, 9, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x01, 0x23, 0x04, 0x56};
  const uint8_t sound[18] = {0x1F, 0x4A, 0, 1, 0, 2, 0x00, 0x00, 0x00, 0x10, 0x07, 0x36, 0x00, 0x00, 0x00, 0x12, 0x13, 0x95};
  std::copy(graphic, graphic + 20, t.begin());
  std::copy(sound, sound + 18, t.begin() + 20);
  const auto r = realbook::relocate_references(t.data(), 64, 50, 100);
  EXPECT_EQ(r.graphic, 1);
  EXPECT_EQ(r.sound, 1);
  EXPECT_EQ(realbook::get_bcd4(&t[14]), 173u);
  EXPECT_EQ(t[18], 0x04);  // offsets stay
  EXPECT_EQ(realbook::get_bcd4(&t[26]), 110u);
  EXPECT_EQ(realbook::get_bcd4(&t[32]), 112u);
  EXPECT_EQ(t[30], 0x07);
}

TEST(Relocate, NegativeShiftAndOddOffsets) {
  Bytes t = with_room(Bytes(64, 0));
  t[0] = 0x1F;
  t[1] = 0x4D;
  realbook::put_bcd4(&t[14], 100);
  t[23] = 0x1F;  // odd position: inside a 2-byte unit, not an escape
  t[24] = 0x4D;
  realbook::put_bcd4(&t[37], 100);
  const auto r = realbook::relocate_references(t.data(), 64, -3, 0);
  EXPECT_EQ(r.graphic, 1);
  EXPECT_EQ(realbook::get_bcd4(&t[14]), 97u);
  EXPECT_EQ(realbook::get_bcd4(&t[37]), 100u);
}

TEST(IndexPage, ReadsEntries) {
  Bytes page(realbook::kPage, 0);
  page[1] = 2;
  page[16] = 0x00;
  realbook::put_be(&page[18], 4, 2);
  realbook::put_be(&page[22], 4, 27);
  page[32] = 0xD8;
  realbook::put_be(&page[34], 4, 67);
  realbook::put_be(&page[38], 4, 7);
  const auto e = realbook::read_index(page.data());
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[1].code, 0xD8);
  EXPECT_EQ(e[1].start, 67u);
  EXPECT_EQ(e[1].count, 7u);
}

}  // namespace
