// The pieces of the real-book tools that the EB library check cannot pin
// down alone: the decoding tree's tie-breaks, the compressed file layout, and
// the relocation of references.
#include "realbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

using realbook::Bytes;
using realbook::get_bcd4;
using realbook::get_be;
using realbook::kPage;

namespace {

TEST(HuffmanCodes, LighterNodeTakesTheOneBitAndTheSortMovesZeroWeightLeaves) {
  // 'A' 5, 'B' 3, 'C' 1, every other byte 0; the end-of-page leaf comes last.
  std::vector<uint32_t> weights(256, 0);
  weights[0x41] = 5;
  weights[0x42] = 3;
  weights[0x43] = 1;
  const auto codes = realbook::huffman_codes(weights);
  ASSERT_EQ(codes.size(), 257u);
  EXPECT_EQ(codes[0x41], "0");
  EXPECT_EQ(codes[0x42], "10");
  EXPECT_EQ(codes[0x43], "110");
  EXPECT_EQ(codes[256], "1110");  // end of page
  // The selection sort's exchanges put byte 0x03 last and 0x00..0x02 where A..C were.
  EXPECT_EQ(codes[0x04], "11110");
  EXPECT_EQ(codes[0x00], std::string(65, '1') + "0");
  EXPECT_EQ(codes[0xFF], std::string(255, '1') + "0");
  EXPECT_EQ(codes[0x03], std::string(256, '1'));
}

// JIS-like two-byte text with a newline escape now and then.
Bytes text_pages(size_t pages, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(pages * kPage);
  for (size_t i = 0; i < out.size(); i += 2) {
    const bool escape = rng() % 20 == 0;
    out[i] = escape ? 0x1F : static_cast<uint8_t>(0x24 + rng() % 3);
    out[i + 1] = escape ? 0x0A : static_cast<uint8_t>(0x21 + rng() % 40);
  }
  return out;
}

Bytes page_of(const Bytes& pages, size_t p) {
  return Bytes(pages.begin() + static_cast<long>((p - 1) * kPage), pages.begin() + static_cast<long>(p * kPage));
}

class Compression : public ::testing::TestWithParam<int> {};

TEST_P(Compression, EveryPageDecodesToItself) {
  const int kind = GetParam();
  Bytes pages = text_pages(37, 7);  // three page groups, the last partial
  // A page of one repeated byte fills all 2048 bytes; a kind-1 reader needs
  // the end-of-page code after it.
  std::fill(pages.begin() + 5 * kPage, pages.begin() + 6 * kPage, 0x41);
  const Bytes file = realbook::compress_file(pages, kind);
  EXPECT_LT(file.size(), pages.size());
  EXPECT_EQ(get_be(&file[4], 4), 3u * 36u) << "header word 1: the length of the page index";
  EXPECT_EQ(get_be(&file[0], 4), get_be(&file[8], 4) + get_be(&file[12], 4));
  for (size_t p = 1; p <= 37; ++p) ASSERT_EQ(realbook::read_page(file, kind, p), page_of(pages, p)) << p;
}

TEST_P(Compression, NoWeightIsZero) {
  // Only 'A' occurs, yet every symbol of the table gets a weight: the EB
  // library refuses tables with zero weights.
  const Bytes pages(kPage * 2, 0x41);
  const Bytes file = realbook::compress_file(pages, GetParam());
  const uint32_t off = get_be(&file[8], 4), len = get_be(&file[12], 4);
  const uint32_t quads = GetParam() == 2 ? (len - 4608) / 6 : 0;
  const uint32_t pairs = GetParam() == 2 ? 1024 : (len - 512) / 4;
  const uint8_t* t = &file[off];
  for (uint32_t i = 0; i < quads; ++i, t += 6) ASSERT_GT(get_be(t + 4, 2), 0u);
  for (uint32_t i = 0; i < pairs; ++i, t += 4) ASSERT_GT(get_be(t + 2, 2), 0u);
  for (int i = 0; i < 256; ++i, t += 2) ASSERT_GT(get_be(t, 2), 0u);
  EXPECT_EQ(realbook::read_page(file, GetParam(), 2), page_of(pages, 2));
}

INSTANTIATE_TEST_SUITE_P(Kinds, Compression, ::testing::Values(1, 2));

TEST(Compression, NoiseIsStoredRawInKindTwoAndRefusedInKindOne) {
  // Every byte value equally often, in a fresh order each 256 bytes: no
  // two-byte symbol pays, and one-byte codes average more than 8 bits.
  std::mt19937 rng(1);
  Bytes pages;
  for (int i = 0; i < 3 * 8; ++i) {
    Bytes block(256);
    for (int b = 0; b < 256; ++b) block[b] = static_cast<uint8_t>(b);
    std::shuffle(block.begin(), block.end(), rng);
    pages.insert(pages.end(), block.begin(), block.end());
  }
  const Bytes file = realbook::compress_file(pages, 2);
  for (size_t p = 1; p <= 3; ++p) EXPECT_EQ(realbook::read_page(file, 2, p), page_of(pages, p));
  const uint8_t* record = &file[get_be(&file[0], 4)];
  EXPECT_EQ(file[get_be(record, 4)], 1) << "flag byte of a raw page";
  EXPECT_THROW(realbook::compress_file(page_of(pages, 1), 1), std::runtime_error);
  EXPECT_THROW(realbook::compress_file(Bytes(100, 0), 1), std::invalid_argument);
  EXPECT_THROW(realbook::compress_file(Bytes(kPage, 0), 3), std::invalid_argument);
}

TEST(Relocate, MovesEvenEscapesBelowTheLengthOnly) {
  Bytes t(64 + kPage, 0);
  const uint8_t graphic[20] = {0x1F, 0x4D, 0, 9, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x01, 0x23, 0x04, 0x56};
  const uint8_t sound[18] = {0x1F, 0x4A, 0, 1, 0, 2, 0x00, 0x00, 0x00, 0x10, 0x07, 0x36, 0x00, 0x00, 0x00, 0x12, 0x13, 0x95};
  std::copy(graphic, graphic + 20, t.begin());
  std::copy(sound, sound + 18, t.begin() + 20);
  t[39] = 0x1F;  // odd position: inside a two-byte unit, not an escape
  t[40] = 0x4D;
  realbook::put_bcd4(&t[53], 100);
  std::copy(graphic, graphic + 20, t.begin() + 64);  // past the body text: a search index
  const auto r = realbook::relocate_references(t.data(), 64, 50, 100);
  EXPECT_EQ(r.graphic, 1);
  EXPECT_EQ(r.sound, 1);
  EXPECT_EQ(get_be(&t[14], 4), 0x00000173u);
  EXPECT_EQ(get_be(&t[18], 2), 0x0456u) << "offsets stay";
  EXPECT_EQ(get_bcd4(&t[26]), 110u);
  EXPECT_EQ(get_bcd4(&t[32]), 112u);
  EXPECT_EQ(get_be(&t[30], 2), 0x0736u);
  EXPECT_EQ(get_bcd4(&t[53]), 100u);
  EXPECT_TRUE(std::equal(graphic, graphic + 20, t.begin() + 64)) << "relocated beyond the length";

  realbook::relocate_references(t.data(), 64, -3, 0);
  EXPECT_EQ(get_bcd4(&t[14]), 170u) << "negative shift";
  realbook::put_bcd4(&t[14], 99999999u + 1u);
  EXPECT_EQ(get_be(&t[14], 4), 0u) << "eight digits wrap";
}

}  // namespace
