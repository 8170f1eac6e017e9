#include "catalog/bytes.h"

#include <gtest/gtest.h>

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Bcd, KeepsTheLowestEightDigitsAndTakesNibblesAtFaceValue) {
  const std::uint8_t odd[] = {0x12, 0x34, 0x56, 0x7A};
  EXPECT_EQ(bcd_to_int(odd), 12345670u + 10u);
  std::uint8_t out[4];
  int_to_bcd(out, 123456789);
  EXPECT_EQ(get_be(out, 4), 0x23456789u);
  int_to_bcd(out, 99999999u + 1u);
  EXPECT_EQ(get_be(out, 4), 0u);
}

TEST(JisToSjis, ConvertsPairsTrimsTheFieldAndNeverReadsPastIt) {
  struct Case {
    Bytes jis;
    const char* sjis;
  };
  for (const Case& c : std::vector<Case>{{{0x30, 0x21}, "\x88\x9F"},
                                         {{0x21, 0x21}, "\x81\x40"},  // full-width blank kept
                                         {{0x5F, 0x21}, "\xE0\x40"},
                                         {{0x25, 0x60}, "\x83\x80"},
                                         {{0x30, 0x21, ' ', ' '}, "\x88\x9F"},
                                         {{0x30, 0x21, 0x30, 0x00}, "\x88\x9F\x88\x7E"}}) {  // odd: pairs with the NUL
    EXPECT_EQ(jis_to_sjis(c.jis.data(), c.jis.size()), c.sjis);
  }
  const Bytes last = {0x30, 0x21, 0x30};  // odd width: nothing past the field is read (ASan)
  EXPECT_EQ(jis_to_sjis(last.data(), 3).size(), 4u);
}

TEST(TextHelpers, TrimUpperCaseAndJoin) {
  const std::uint8_t inner[] = {'A', ' ', 'B', ' ', 0, 0, ' ', 0};
  EXPECT_EQ(copy_trimmed(inner, 8), "A B");
  std::string s = "dic-1\xe0z";
  upper_ascii(s);
  EXPECT_EQ(s, "DIC-1\xe0Z");
  EXPECT_EQ(join_book_path("/media/book/", "DICT", "START", ""), "/media/book/DICT/START");
  EXPECT_EQ(join_book_path("D:\\", "DICT", "GAIJI", "FONT16F"), "D:\\DICT/GAIJI/FONT16F");
}

}  // namespace
}  // namespace tolvex
