// What the real-book package test cannot see alone: that references are
// moved in the body text only, and that the compressor's files decode to
// their pages in both kinds when read out of order.
#include "realbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using realbook::Bytes;
using realbook::get_bcd4;
using realbook::get_be;
using realbook::kPage;

namespace {

TEST(Compression, EveryPageOfEitherKindDecodesToItself) {
  // Three page groups of two-byte text, the last partial, with newline
  // escapes; a page of one repeated byte fills all 2048 bytes.
  std::mt19937 rng(7);
  Bytes pages(37 * kPage);
  for (size_t i = 0; i < pages.size(); i += 2) {
    const bool escape = rng() % 20 == 0;
    pages[i] = escape ? 0x1F : static_cast<uint8_t>(0x24 + rng() % 3);
    pages[i + 1] = escape ? 0x0A : static_cast<uint8_t>(0x21 + rng() % 40);
  }
  std::fill(pages.begin() + 5 * kPage, pages.begin() + 6 * kPage, 0x41);
  for (int kind : {1, 2}) {
    const Bytes file = realbook::compress_file(pages, kind);
    for (size_t p = 37; p >= 1; --p)
      ASSERT_EQ(realbook::read_page(file, kind, p), Bytes(pages.begin() + (p - 1) * kPage, pages.begin() + p * kPage))
          << "kind " << kind << ", page " << p;
  }
}

TEST(Relocate, MovesEvenEscapesBelowTheLengthOnly) {
  Bytes t(64 + kPage, 0);
  const uint8_t graphic[20] = {0x1F, 0x4D, 0, 9, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x01, 0x23, 0x04, 0x56};
  const uint8_t sound[18] = {0x1F, 0x4A, 0,    1,    0,    2,    0x00, 0x00, 0x00,
                             0x10, 0x07, 0x36, 0x00, 0x00, 0x00, 0x12, 0x13, 0x95};
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
}

}  // namespace
