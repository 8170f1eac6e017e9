#include "source/bytes.h"

#include <gtest/gtest.h>

namespace tolvex {
namespace {

std::string hex(const std::string& s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02X", c);
    out += b;
  }
  return out;
}

TEST(BigEndian, ReadsAndWritesWidthsOneToFour) {
  const std::uint8_t two[] = {0x01, 0x02};
  EXPECT_EQ(get_be(two, 2), 258u);
  const std::uint8_t ff[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(get_be(ff, 4), 4294967295u);
  EXPECT_EQ(get_be(ff, 0), 0u);

  std::uint8_t out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  put_be(out, 1, 0x1234);
  EXPECT_EQ(out[0], 0x34);
  EXPECT_EQ(out[1], 0xAA);
  put_be(out, 4, 0x1234);
  EXPECT_EQ(get_be(out, 4), 0x1234u);
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(out[2], 0x12);
}

TEST(Bcd, KeepsTheLowestEightDigitsAndTakesNibblesAtFaceValue) {
  const std::uint8_t b[] = {0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(bcd_to_int(b), 12345678u);
  const std::uint8_t odd[] = {0x00, 0x00, 0x00, 0x0A};
  EXPECT_EQ(bcd_to_int(odd), 10u);

  std::uint8_t out[4];
  int_to_bcd(out, 123);
  EXPECT_EQ(get_be(out, 4), 0x00000123u);
  int_to_bcd(out, 123456789);
  EXPECT_EQ(get_be(out, 4), 0x23456789u);
  int_to_bcd(out, 99999999u + 1u);
  EXPECT_EQ(get_be(out, 4), 0u);
}

TEST(CopyTrimmed, DropsTrailingBlanksAndNulsOnly) {
  const std::uint8_t a[] = {'A', 'B', ' ', ' ', 0, 0, 0, 0};
  EXPECT_EQ(copy_trimmed(a, 8), "AB");
  const std::uint8_t blanks[] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  EXPECT_EQ(copy_trimmed(blanks, 8), "");
  const std::uint8_t inner[] = {'A', ' ', 'B', 0, 0, 0, 0, 0};
  EXPECT_EQ(copy_trimmed(inner, 8), "A B");
}

TEST(JisToSjis, ConvertsPairsAndKeepsFullWidthBlanks) {
  const std::uint8_t a[] = {0x30, 0x21};
  EXPECT_EQ(hex(jis_to_sjis(a, 2)), "889F");
  const std::uint8_t blank[] = {0x21, 0x21};
  EXPECT_EQ(hex(jis_to_sjis(blank, 2)), "8140");
  const std::uint8_t high[] = {0x5F, 0x21};
  EXPECT_EQ(hex(jis_to_sjis(high, 2)), "E040");
  const std::uint8_t kata[] = {0x25, 0x60};
  EXPECT_EQ(hex(jis_to_sjis(kata, 2)), "8380");

  std::uint8_t title[30];
  for (int i = 0; i < 20; i += 2) {
    title[i] = 0x30;
    title[i + 1] = 0x21;
  }
  for (int i = 20; i < 30; ++i) title[i] = ' ';
  EXPECT_EQ(jis_to_sjis(title, 30).size(), 20u);
}

TEST(JisToSjis, OddLengthPairsWithTheNextFieldByteAndNeverReadsPastTheField) {
  const std::uint8_t odd[] = {0x30, 0x21, 0x30, 0x00};  // trimmed to 3 bytes
  EXPECT_EQ(hex(jis_to_sjis(odd, 4)), "889F887E");
  const std::uint8_t last[] = {0x30, 0x21, 0x30};  // odd width: nothing past the field is read
  EXPECT_EQ(jis_to_sjis(last, 3).size(), 4u);
}

TEST(UpperAscii, ChangesOnlyAsciiLetters) {
  std::string s = "dic-1\xe0z";
  upper_ascii(s);
  EXPECT_EQ(s, "DIC-1\xe0Z");
  upper_ascii(static_cast<char*>(nullptr));
}

TEST(JoinBookPath, AddsSlashesOnlyBetweenGivenParts) {
  EXPECT_EQ(join_book_path("/media/book/", "DICT", "DATA", "HONMON"), "/media/book/DICT/DATA/HONMON");
  EXPECT_EQ(join_book_path("/media/book/", "DICT", "START", ""), "/media/book/DICT/START");
  EXPECT_EQ(join_book_path("D:\\", "DICT", "GAIJI", "FONT16F"), "D:\\DICT/GAIJI/FONT16F");
}

}  // namespace
}  // namespace tolvex
