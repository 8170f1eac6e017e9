#include "bookfile/multi_search.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "catalog/bytes.h"
#include "scratch_dir.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Entry = std::pair<std::uint32_t, std::uint32_t>;  // start page, page count
using Range = std::pair<std::int32_t, std::uint32_t>;   // page count, start page

// A multi-search page: the group count, then the groups from byte 16.
Bytes multi_page(const std::vector<std::vector<Entry>>& groups, std::uint32_t group_count) {
  Bytes page(PAGE_SIZE, 0);
  put_be(&page[0], 2, group_count);
  std::size_t pos = 16;
  for (const std::vector<Entry>& group : groups) {
    page[pos] = static_cast<std::uint8_t>(group.size());
    pos += 32;
    for (const auto& [start, count] : group) {
      put_be(&page[pos + 2], 4, start);
      put_be(&page[pos + 6], 4, count);
      pos += 16;
    }
  }
  return page;
}

// The range of a plain file whose page `at` is `page`, the pages before it blank.
Range range(std::uint32_t at, const Bytes& page, std::uint32_t start = 0) {
  testing_support::ScratchDir dir;
  Bytes file(static_cast<std::size_t>(at - 1) * PAGE_SIZE, 0);
  file.insert(file.end(), page.begin(), page.end());
  testing_support::write_file_text(dir.path() / "F", std::string(file.begin(), file.end()));
  BookFilePtr f = open_book_file((dir.path() / "F").string(), 0);
  start = start == 0 ? at : start;
  PageReader reader;
  const std::int32_t count = multi_search_page_range(reader, f.get(), start);
  return {count, start};
}

TEST(MultiSearch, RangeSpansThePageAndEveryEntryWithPages) {
  EXPECT_EQ(range(3, multi_page({}, 0)), Range(1, 3));
  // An empty group in between takes its 32 bytes; the next group follows it.
  EXPECT_EQ(range(100, multi_page({{{200, 50}}, {}, {{300, 10}, {1, 0}}}, 3)), Range(210, 100));
  EXPECT_EQ(range(99, multi_page({{{40, 20}}}, 1)), Range(60, 40));
  EXPECT_EQ(range(5, multi_page({{{1, 0}, {9000, 0}}}, 1)), Range(1, 5));
  // Failures leave the start page: a page beyond the file, a range too long for a signed page count.
  EXPECT_EQ(range(2, multi_page({}, 0), 7), Range(0, 7));
  EXPECT_EQ(range(3, multi_page({{{3, 0xF0000000u}}}, 1)), Range(0, 3));
}

TEST(MultiSearch, CountsRunningPastThePageStopWithTheRangeSoFar) {
  // 125 entries fill the page exactly (16 + 32 + 125 * 16 = 2048); the group
  // claims 255 and a second group that would lie past the page.
  std::vector<Entry> entries(125, {10, 1});
  entries.back() = {2, 30};
  Bytes page = multi_page({entries}, 2);
  page[16] = 255;
  EXPECT_EQ(range(10, page), Range(30, 2));
  // 65535 groups of no entries: 64 group headers fit, the walk ends at the page end.
  EXPECT_EQ(range(2, multi_page({}, 0xFFFF)), Range(1, 2));
}

}  // namespace
}  // namespace tolvex
