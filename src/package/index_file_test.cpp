#include "package/index_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "catalog/bytes.h"
#include "components/run_options.h"
#include "package/icons.h"
#include "package/package_test_support.h"
#include "testbook.h"

namespace tolvex {
namespace {

using testbook::index_page;

class IndexFile : public testing_support::PackageDirTest {
 protected:
  void SetUp() override {
    PackageDirTest::SetUp();
    make_package_dir("ABC");
    // Read only for multi-search components, which the whole-run tests cover.
    const std::string text(PAGE_SIZE, '\0');
    write_file("HONMON", text);
    text_file_ = open_book_file("HONMON", 0);
    ASSERT_NE(text_file_, nullptr);
  }
  void TearDown() override {
    text_file_.reset();  // closed before the scratch directory goes
    PackageDirTest::TearDown();
  }

  int write(const testbook::Page& page, int selection, const std::string& title = "Title",
            const std::string& full_font = "", const std::string& half_font = "") {
    PackageDescription abc = package("ABC", title, 0x01230000);
    abc.full_font = full_font;
    abc.half_font = half_font;
    abc.catalog_head = {0x02, 0x01};
    abc.options.selection = selection;
    return write_index_file(abc, plan_subbook(page.data(), {text_file_.get()}, selection, reader_));
  }
  static std::vector<std::uint8_t> idx() { return testing_support::read_file_bytes("Dic/ABC/ABC.IDX"); }
  static std::uint32_t be(const std::vector<std::uint8_t>& f, std::size_t at, int n) { return get_be(&f[at], n); }
  static std::string name_of(const std::vector<std::uint8_t>& f, std::size_t record) {
    std::size_t at = 128 + 48 * record;
    return std::string(f.begin() + at + 17, f.begin() + at + 17 + f[at + 16]);
  }

  BookFilePtr text_file_;
  PageReader reader_;
};

TEST_F(IndexFile, HeaderRecordsAndIconsOfAFiveRecordPackage) {
  auto page = index_page({{0x00, 100, 10, 0x11, {1, 2, 3}},
                          {0x02, 5, 1},  // COPYR.DIC is never part of a package
                          {0x01, 110, 3},
                          {0x80, 120, 4},  // optional, not selected
                          {0x30, 130, 16, 0x22, {4, 5, 6}}});
  ASSERT_EQ(write(page, 0, "Title", "FONT16F", "FONT16H"), 0);
  auto f = idx();
  ASSERT_EQ(f.size(), 1000u);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 8), "VORQINFO");
  EXPECT_EQ(be(f, 8, 4), 0x00020002u);
  EXPECT_EQ(f[12], 5);
  EXPECT_EQ(std::string(f.begin() + 13, f.begin() + 18), "Title");
  EXPECT_EQ(f[18], 0);
  EXPECT_EQ(f[77], 5);
  EXPECT_EQ(f[78], 0x02);
  EXPECT_EQ(f[79], 0x01);
  const std::uint32_t fields[] = {368, 512, 880, 120, 0x01230000};  // icons at 368 and 880, their sizes, the id
  for (int i = 0; i < 5; ++i) EXPECT_EQ(be(f, 80 + 4 * i, 4), fields[i]) << i;
  for (int i = 100; i < 128; ++i) EXPECT_EQ(f[i], 0) << i;

  // Record 1: HONMON.DIC, pages 100..109, attribute and parameters kept.
  std::vector<std::uint8_t> honmon = {0, 0, 0, 0x00, 0, 0, 0, 100, 0, 0, 0, 109, 0x11, 1, 2, 3, 10};
  for (char c : std::string("HONMON.DIC")) honmon.push_back(static_cast<std::uint8_t>(c));
  honmon.resize(48);
  EXPECT_EQ(std::vector<std::uint8_t>(f.begin() + 128, f.begin() + 176), honmon);
  EXPECT_EQ(name_of(f, 1), "MENU.DIC");
  EXPECT_EQ(be(f, 176 + 8, 4), 112u);
  EXPECT_EQ(name_of(f, 2), "KAINDEX.DIC");
  EXPECT_EQ(f[224 + 12], 0x22);
  // Font records: code and name only.
  for (std::size_t r : {3u, 4u}) {
    std::size_t at = 128 + 48 * r;
    EXPECT_EQ(f[at + 3], r == 3 ? 0xF1 : 0xF2);
    for (std::size_t i = 4; i < 16; ++i) EXPECT_EQ(f[at + i], 0) << r << ":" << i;
    EXPECT_EQ(name_of(f, r), r == 3 ? "FONT16F" : "FONT16H");
  }

  EXPECT_EQ(console_, "  Writing ABC.IDX\n    Selected icons: INTERNAL_16, INTERNAL_32\n");

  std::array<std::uint8_t, SMALL_ICON_SIZE> small{};
  std::array<std::uint8_t, LARGE_ICON_SIZE> large{};
  select_icons("ABC", small.data(), large.data());
  EXPECT_TRUE(std::equal(large.begin(), large.end(), f.begin() + 368));
  EXPECT_TRUE(std::equal(small.begin(), small.end(), f.begin() + 880));

  // A title longer than its 64 bytes is cut to them.
  ASSERT_EQ(write(page, 0, std::string(64, 'T') + "XYZ"), 0);
  f = idx();
  EXPECT_EQ(f[12], 64);
  EXPECT_EQ(std::string(f.begin() + 13, f.begin() + 77), std::string(64, 'T'));
  EXPECT_EQ(f[77], 3);
}

}  // namespace
}  // namespace tolvex
