#include "bookfile/multi_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "source/bytes.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Entry = std::pair<std::uint32_t, std::uint32_t>;  // start page, page count

// A multi-search page: groups of entries laid out from byte 16.
Bytes multi_page(const std::vector<std::vector<Entry>>& groups, std::uint32_t group_count) {
  Bytes page(PAGE_SIZE, 0);
  put_be(&page[0], 2, group_count);
  std::size_t pos = 16;
  for (const auto& g : groups) {
    page[pos] = static_cast<std::uint8_t>(g.size());
    std::size_t e = pos + 32;
    for (const auto& [start, count] : g) {
      put_be(&page[e + 2], 4, start);
      put_be(&page[e + 6], 4, count);
      e += 16;
    }
    pos = e;
  }
  return page;
}

class MultiSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("tolvex_multi_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())))
                .string();
  }
  void TearDown() override {
    file_.reset();
    std::filesystem::remove(path_);
  }
  // A plain text file whose page `at` is `page`, the pages before it blank.
  BookFile* with_page(std::uint32_t at, const Bytes& page) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    const Bytes blank(PAGE_SIZE, 0);
    for (std::uint32_t n = 1; n < at; ++n) out.write(reinterpret_cast<const char*>(blank.data()), PAGE_SIZE);
    out.write(reinterpret_cast<const char*>(page.data()), PAGE_SIZE);
    out.close();
    file_ = open_book_file(path_, 0);
    return file_.get();
  }

  std::string path_;
  BookFilePtr file_;
};

TEST_F(MultiSearchTest, NoGroupsGiveThePageAlone) {
  BookFile* f = with_page(3, multi_page({}, 0));
  std::uint32_t start = 3;
  EXPECT_EQ(multi_search_page_range(f, start), 1);
  EXPECT_EQ(start, 3u);
  EXPECT_EQ(current_page(), 4);
}

TEST_F(MultiSearchTest, RangeSpansThePageAndEveryEntry) {
  // An empty group in between takes its 32 bytes; the next group follows it.
  BookFile* f = with_page(100, multi_page({{{200, 50}}, {}, {{300, 10}, {1, 0}}}, 3));
  std::uint32_t start = 100;
  EXPECT_EQ(multi_search_page_range(f, start), 210);
  EXPECT_EQ(start, 100u);

  f = with_page(100, multi_page({{{40, 20}}}, 1));
  start = 100;
  EXPECT_EQ(multi_search_page_range(f, start), 61);
  EXPECT_EQ(start, 40u);
}

TEST_F(MultiSearchTest, EntriesWithoutPagesDoNotWidenTheRange) {
  BookFile* f = with_page(5, multi_page({{{1, 0}, {9000, 0}}}, 1));
  std::uint32_t start = 5;
  EXPECT_EQ(multi_search_page_range(f, start), 1);
  EXPECT_EQ(start, 5u);
}

TEST_F(MultiSearchTest, CountsRunningPastThePageStopWithTheRangeSoFar) {
  // 125 entries fill the page exactly (16 + 32 + 125 * 16 = 2048); the group
  // claims 255 and a second group that would lie past the page.
  std::vector<Entry> entries(125, {10, 1});
  entries.back() = {2, 30};
  Bytes page = multi_page({entries}, 2);
  page[16] = 255;
  BookFile* f = with_page(10, page);
  std::uint32_t start = 10;
  EXPECT_EQ(multi_search_page_range(f, start), 30);
  EXPECT_EQ(start, 2u);

  // 65535 groups of no entries: 64 group headers fit, the walk ends at the page end.
  Bytes empty_groups = multi_page({}, 0xFFFF);
  f = with_page(2, empty_groups);
  start = 2;
  EXPECT_EQ(multi_search_page_range(f, start), 1);
}

TEST_F(MultiSearchTest, FailureLeavesTheStartPage) {
  BookFile* f = with_page(2, multi_page({}, 0));
  std::uint32_t start = 7;  // beyond the file
  EXPECT_EQ(multi_search_page_range(f, start), 0);
  EXPECT_EQ(start, 7u);
  EXPECT_EQ(multi_search_page_range(nullptr, start), 0);

  // A range longer than a signed page count can hold is no real component.
  f = with_page(2, multi_page({{{3, 0xF0000000u}}}, 1));
  start = 2;
  EXPECT_EQ(multi_search_page_range(f, start), 0);
  EXPECT_EQ(start, 2u);
}

}  // namespace
}  // namespace tolvex
