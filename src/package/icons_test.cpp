#include "package/icons.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "package/package_test_support.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Icons : public testing_support::PackageDirTest {
 protected:
  void select(const std::string& out_name = "DICT01") {
    small_.fill(0xEE);  // every byte must be overwritten
    large_.fill(0xEE);
    select_icons(out_name, small_.data(), large_.data());
  }
  // Row r (0 = top row of the picture) of an image stored bottom-up.
  static Bytes row(const std::uint8_t* image, int rows, int digits, int r) {
    const std::uint8_t* p = image + (rows - 1 - r) * (digits / 2);
    return Bytes(p, p + digits / 2);
  }
  Bytes small_row(int r) const { return row(small_.data(), SMALL_ICON_ROWS, SMALL_ICON_DIGITS, r); }
  Bytes large_row(int r) const { return row(large_.data(), LARGE_ICON_ROWS, LARGE_ICON_DIGITS, r); }

  std::array<std::uint8_t, SMALL_ICON_SIZE> small_{};
  std::array<std::uint8_t, LARGE_ICON_SIZE> large_{};
};

TEST_F(Icons, WithoutIconDefBothBuiltInImagesAreUsedBottomUp) {
  select();
  EXPECT_EQ(console_, "    Selected icons: INTERNAL_16, INTERNAL_32\n");
  // Small: ground 4, "EP" in F; row 3 is 44FFFFF44FFFFF44.
  EXPECT_EQ(small_row(0), Bytes(8, 0x44));
  EXPECT_EQ(small_row(2), (Bytes{0x44, 0xFF, 0xFF, 0xF4, 0x4F, 0xFF, 0xFF, 0x44}));
  EXPECT_EQ(small_row(13), Bytes(8, 0x44));
  // Large: row 5 is 7770BFBFBFBFBFBFBFBFB00877777777, row 30 77778808080808080808080888777777.
  EXPECT_EQ(large_row(4), (Bytes{0x77, 0x70, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xB0, 0x08, 0x77,
                                 0x77, 0x77, 0x77}));
  EXPECT_EQ(large_row(29), (Bytes{0x77, 0x77, 0x88, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x88,
                                  0x77, 0x77, 0x77}));
  EXPECT_EQ(large_row(31), Bytes(16, 0x77));
  // The picture's top row is the last row of the array.
  EXPECT_EQ(Bytes(large_.end() - 16, large_.end()), Bytes(16, 0x77));
  EXPECT_EQ(large_[0], 0x77);
}

TEST_F(Icons, OnlyADefaultLargeSectionLeavesTheSmallIconBuiltIn) {
  write_file("icon.def", "[DEFAULT_32]\r\n12345678\r\n");
  select();
  EXPECT_EQ(console_, "    Selected icons: INTERNAL_16, DEFAULT_32\n");
  EXPECT_EQ(large_row(0), (Bytes{0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  for (int r = 1; r < LARGE_ICON_ROWS; ++r) EXPECT_EQ(large_row(r), Bytes(16, 0)) << r;
  EXPECT_EQ(small_row(0), Bytes(8, 0x44));
}

TEST_F(Icons, PackageSectionBeatsDefaultWhateverTheOrder) {
  write_file("icon.def", "[DEFAULT_16]\nAA\n[DICT01_16]\nBB\n[DICT01_32]\nCC\n[DEFAULT_32]\nDD\n");
  select();
  EXPECT_EQ(console_, "    Selected icons: DICT01_16, DICT01_32\n");
  EXPECT_EQ(small_row(0)[0], 0xBB);
  EXPECT_EQ(large_row(0)[0], 0xCC);
}

TEST_F(Icons, HeadersAreCaseSensitiveAndMustStartTheLine) {
  write_file("icon.def", "[dict01_16]\n11\n [DICT01_32]\n22\n");
  select();
  EXPECT_EQ(console_, "    Selected icons: INTERNAL_16, INTERNAL_32\n");
}

TEST_F(Icons, TextAfterTheHeaderIsIgnoredAndTheFirstMatchingHeaderCounts) {
  write_file("icon.def", "[DICT01_16] ; own icon\n12\n[DICT01_16]\n34\n");
  select();
  EXPECT_EQ(console_, "    Selected icons: DICT01_16, INTERNAL_32\n");
  EXPECT_EQ(small_row(0)[0], 0x12);
}

TEST_F(Icons, ShortRowsAreFilledWithZeroDigitsAndBadCharactersCountAsZero) {
  write_file("icon.def", "[DICT01_16]\nF\n1g2Z\r\n");
  select();
  EXPECT_EQ(small_row(0), (Bytes{0xF0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(small_row(1), (Bytes{0x10, 0x20, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Icons, CommentsAndEmptyLinesAreSkippedButABlankStartsARow) {
  write_file("icon.def", "[DICT01_16]\n; comment\n\n\r\n 1ab\n");
  select();
  EXPECT_EQ(small_row(0), (Bytes{0x01, 0xAB, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(small_row(1), Bytes(8, 0));
}

TEST_F(Icons, OnlyTheFirstFifteenSmallRowsAreUsed) {
  std::string def = "[DICT01_16]\n";
  for (int r = 0; r < 16; ++r) def += std::string(16, "0123456789ABCDEF"[r]) + "\n";
  write_file("icon.def", def);
  select();
  for (int r = 0; r < SMALL_ICON_ROWS; ++r) EXPECT_EQ(small_row(r), Bytes(8, static_cast<std::uint8_t>(r * 0x11)));
}

TEST_F(Icons, ASectionEndsAtTheNextHeaderAndMissingRowsAreZero) {
  write_file("icon.def", "[DICT01_32]\n11\n22\n33\n[OTHER_32]\n44\n");
  select();
  EXPECT_EQ(console_, "    Selected icons: INTERNAL_16, DICT01_32\n");
  for (int i = 0; i < LARGE_ICON_SIZE - 48; ++i) ASSERT_EQ(large_[i], 0) << i;
  EXPECT_EQ(large_[LARGE_ICON_SIZE - 48], 0x33);
  EXPECT_EQ(large_[LARGE_ICON_SIZE - 32], 0x22);
  EXPECT_EQ(large_[LARGE_ICON_SIZE - 16], 0x11);
}

TEST_F(Icons, LinesLongerThan127CharactersAreReadAsSeveralRows) {
  // 127 characters, then "3" continues the same line: it becomes row 2.
  write_file("icon.def", "[DICT01_16]\n" + std::string(16, '1') + std::string(111, '2') + "3\n4\n");
  select();
  EXPECT_EQ(small_row(0), Bytes(8, 0x11));
  EXPECT_EQ(small_row(1), (Bytes{0x30, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(small_row(2), (Bytes{0x40, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Icons, AFoundSectionWithoutRowsGivesAnEmptyImageNotAFallback) {
  write_file("icon.def", "[DICT01_16]\n[DEFAULT_16]\n12\n");
  select();
  EXPECT_EQ(console_, "    Selected icons: DICT01_16, INTERNAL_32\n");
  for (auto b : small_) ASSERT_EQ(b, 0);
}

TEST_F(Icons, AnUnreadableIconDefCountsAsAbsent) {
  std::filesystem::create_directory("icon.def");
  select();
  EXPECT_EQ(console_, "    Selected icons: INTERNAL_16, INTERNAL_32\n");
}

TEST_F(Icons, IconDefFileReadsLinesWithTheirEndsAndRewinds) {
  write_file("icon.def", "ab\r\ncd");
  IconDefFile file;
  ASSERT_TRUE(file.open("icon.def"));
  std::string piece;
  ASSERT_TRUE(file.read_line(piece));
  EXPECT_EQ(piece, "ab\r\n");
  ASSERT_TRUE(file.read_line(piece));
  EXPECT_EQ(piece, "cd");
  EXPECT_FALSE(file.read_line(piece));
  file.rewind();
  ASSERT_TRUE(file.read_line(piece));
  EXPECT_EQ(piece, "ab\r\n");
  EXPECT_FALSE(IconDefFile().open("missing.def"));
}

}  // namespace
}  // namespace tolvex
