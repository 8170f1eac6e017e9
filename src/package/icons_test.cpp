#include "package/icons.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "package/package_test_support.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Icons : public testing_support::PackageDirTest {
 protected:
  void select() {
    small_.fill(0xEE);  // every byte must be overwritten
    large_.fill(0xEE);
    console_.clear();
    select_icons("DICT01", small_.data(), large_.data());
  }
  // Row r (0 = top row of the picture) of an image stored bottom-up.
  static Bytes row(const std::uint8_t* image, int rows, int width, int r) {
    return Bytes(image + (rows - 1 - r) * width, image + (rows - r) * width);
  }
  Bytes small_row(int r) const { return row(small_.data(), SMALL_ICON_ROWS, 8, r); }
  Bytes large_row(int r) const { return row(large_.data(), LARGE_ICON_ROWS, 16, r); }

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
  EXPECT_EQ(large_row(4),
            (Bytes{0x77, 0x70, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xB0, 0x08, 0x77, 0x77, 0x77, 0x77}));
  EXPECT_EQ(large_row(29),
            (Bytes{0x77, 0x77, 0x88, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x88, 0x77, 0x77, 0x77}));
  EXPECT_EQ(large_row(31), Bytes(16, 0x77));
}

TEST_F(Icons, SectionChoiceAndPrecedence) {
  struct Case {
    const char* def;
    const char* chosen;
    int small0, large0;  // first byte of the top rows; -1: the built-in image
  };
  for (const Case& c : std::vector<Case>{
           {"[DEFAULT_32]\r\n12345678\r\n", "INTERNAL_16, DEFAULT_32", -1, 0x12},
           {"[DEFAULT_16]\nAA\n[DICT01_16]\nBB\n[DICT01_32]\nCC\n[DEFAULT_32]\nDD\n", "DICT01_16, DICT01_32", 0xBB,
            0xCC},
           {"[dict01_16]\n11\n [DICT01_32]\n22\n", "INTERNAL_16, INTERNAL_32", -1, -1},  // case, line start
           {"[DICT01_16] ; own icon\n12\n[DICT01_16]\n34\n", "DICT01_16, INTERNAL_32", 0x12, -1},
           {"[DICT01_16]\n[DEFAULT_16]\n12\n", "DICT01_16, INTERNAL_32", 0, -1},  // found but empty: no fallback
       }) {
    SCOPED_TRACE(c.def);
    write_file("icon.def", c.def);
    select();
    EXPECT_EQ(console_, std::string("    Selected icons: ") + c.chosen + "\n");
    EXPECT_EQ(small_row(0)[0], c.small0 < 0 ? 0x44 : c.small0);
    EXPECT_EQ(large_row(0)[0], c.large0 < 0 ? 0x77 : c.large0);
  }
  std::filesystem::remove("icon.def");
  std::filesystem::create_directory("icon.def");  // unreadable: counts as absent
  select();
  EXPECT_EQ(console_, "    Selected icons: INTERNAL_16, INTERNAL_32\n");
}

TEST_F(Icons, RowsAreParsedLineByLineAndMissingDigitsAreZero) {
  std::string sixteen = "[DICT01_16]\n";
  for (int r = 0; r < 16; ++r) sixteen += std::string(16, "0123456789ABCDEF"[r]) + "\n";
  std::vector<Bytes> fifteen;
  for (int r = 0; r < SMALL_ICON_ROWS; ++r) fifteen.push_back(Bytes(8, static_cast<std::uint8_t>(r * 0x11)));
  const std::vector<std::pair<std::string, std::vector<Bytes>>> cases = {
      {"[DICT01_16]\nF\n1g2Z\r\n", {{0xF0, 0, 0, 0, 0, 0, 0, 0}, {0x10, 0x20, 0, 0, 0, 0, 0, 0}}},
      {"[DICT01_16]\n; comment\n\n\r\n 1abf\n", {{0x01, 0xAB, 0xF0, 0, 0, 0, 0, 0}}},
      // 127 characters, then "3" continues the same line: it becomes row 2.
      {"[DICT01_16]\n" + std::string(16, '1') + std::string(111, '2') + "3\n4\n",
       {Bytes(8, 0x11), {0x30, 0, 0, 0, 0, 0, 0, 0}, {0x40, 0, 0, 0, 0, 0, 0, 0}}},
      {sixteen, fifteen},  // only the first fifteen rows are used
  };
  for (const auto& [def, rows] : cases) {
    SCOPED_TRACE(def);
    write_file("icon.def", def);
    select();
    for (int r = 0; r < SMALL_ICON_ROWS; ++r) {
      EXPECT_EQ(small_row(r), r < static_cast<int>(rows.size()) ? rows[r] : Bytes(8, 0)) << r;
    }
  }
}

}  // namespace
}  // namespace tolvex
