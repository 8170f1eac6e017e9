#include "bookfile/book_file.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "catalog/bytes.h"
#include "huffman_encoder.h"
#include "scratch_dir.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testbook::Page;

// Page n: its number in the first byte, then letters 'A'.
Page numbered_page(int n) {
  Page page;
  page.fill(0x41);
  page[0] = static_cast<std::uint8_t>(n);
  return page;
}

// The pages as the sample-book generator compresses them (kind 1 or 2).
testbook::CompressedFile compressed(int kind, int pages, const testbook::HuffmanOptions& options = {}) {
  std::vector<Page> all;
  for (int n = 1; n <= pages; ++n) all.push_back(numbered_page(n));
  testbook::CompressedFile out;
  std::string error;
  EXPECT_TRUE(testbook::compress_pages(kind, all, options, out, error)) << error;
  return out;
}

using Read = std::pair<int, std::int32_t>;

class BookFileTest : public ::testing::Test {
 protected:
  // Writes the bytes to a new file of the scratch directory and opens it.
  BookFilePtr open(const Bytes& bytes, int kind) {
    const auto path = dir_.path() / ("F" + std::to_string(files_++));
    testing_support::write_file_text(path, std::string(bytes.begin(), bytes.end()));
    return open_book_file(path.string(), kind);
  }
  // Reads the page into page_: the number of the numbered page read (0 for
  // another page, -1 when the read fails), and current_page after it.
  Read read(BookFile* file, std::uint32_t page) {
    if (reader_.read_block(page_.data(), file, page) == nullptr) return {-1, reader_.current_page()};
    return {page_ == numbered_page(page_[0]) ? page_[0] : 0, reader_.current_page()};
  }

  testing_support::ScratchDir dir_;
  PageReader reader_;
  int files_ = 0;
  Page page_{};
};

Bytes plain_pages(int count, std::size_t short_last_page = 0) {
  Bytes file(static_cast<std::size_t>(count) * PAGE_SIZE + short_last_page, 0x41);
  for (int n = 1; n <= count; ++n) file[static_cast<std::size_t>(n - 1) * PAGE_SIZE] = static_cast<std::uint8_t>(n);
  return file;
}

TEST(BaseName, KeepsWhatFollowsTheLastSeparator) {
  EXPECT_EQ(base_name_of("C:\\BOOK\\DATA/HONMON2"), "HONMON2");
  EXPECT_EQ(base_name_of("D:HONMON"), "HONMON");
  EXPECT_EQ(base_name_of("HONMON"), "HONMON");
}

TEST_F(BookFileTest, PlainFileReadsPagesAndKeepsCurrentPage) {
  BookFilePtr f = open(plain_pages(4, 100), 0);  // four pages and 100 bytes of a fifth
  EXPECT_EQ(read(f.get(), 0), Read(1, 1));       // right after the open, page 0 is page 1
  EXPECT_EQ(read(f.get(), 3), Read(3, 4));
  EXPECT_EQ(read(f.get(), 0), Read(4, 5));
  EXPECT_EQ(read(f.get(), 0), Read(-1, 5));  // the short last page fails; a failed read does not advance
  EXPECT_EQ(read(f.get(), 9), Read(-1, 9));  // a named page becomes current even when it fails
  EXPECT_EQ(read(nullptr, 2), Read(-1, 9));
  // Page 0 reads on where this file's own last read ended, whichever file
  // was read in between (their pages come from one read-ahead).
  const BookFilePtr g = open(plain_pages(3), 0);
  EXPECT_EQ(read(g.get(), 2), Read(2, 3));
  EXPECT_EQ(read(f.get(), 1), Read(1, 2));
  EXPECT_EQ(read(g.get(), 0), Read(3, 3));
  EXPECT_EQ(read(f.get(), 0), Read(2, 4));
  const BookFilePtr other = open(Bytes{1, 2, 3}, 3);  // any other kind: a plain file of any length
  EXPECT_TRUE(other && other->kind == 0);
  EXPECT_EQ(open_book_file((dir_.path() / "MISSING").string(), 0), nullptr);
  EXPECT_EQ(close_book_file(f), 0);
  EXPECT_EQ(f, nullptr);
}

// Kind 1: the page index (pages 16 and 17 are record 0's slot 15 and record
// 1's slot 0), table lengths of three spare bytes (no further pair), and
// damage: an index slot or base moved, the index below offset 0, a stream
// that runs out before the page is complete (a file cut short).
TEST_F(BookFileTest, Kind1PagesThroughThePageIndex) {
  const testbook::CompressedFile z = compressed(1, 20);
  Bytes file = z.bytes;
  BookFilePtr f = open(file, 1);
  EXPECT_EQ(read(f.get(), 0), Read(-1, 0));  // page 0 before any page was read names no page
  EXPECT_EQ(read(f.get(), 16), Read(16, 17));
  EXPECT_EQ(read(open(plain_pages(2), 0).get(), 2), Read(2, 3));
  EXPECT_EQ(read(f.get(), 0), Read(3, 4));  // page 0 goes on after the last page read on any file
  EXPECT_EQ(read(f.get(), 17), Read(17, 18));
  EXPECT_EQ(read(f.get(), 0), Read(18, 19));
  put_be(&file[12], 4, static_cast<std::uint32_t>(z.table_length + 3));
  EXPECT_EQ(read(open(file, 1).get(), 20), Read(20, 21));
  file.resize(file.size() - 20);
  EXPECT_EQ(read(open(file, 1).get(), 20), Read(-1, 20));
  // Record 0's slot 15 moved to page 1's stream, record 1's base past the end of the file.
  const std::size_t index = static_cast<std::size_t>(z.index_offset);
  put_be(&file[index + 4 + 2 * 15], 2, 0);
  put_be(&file[index + 36], 4, 0x00FFFFFF);
  f = open(file, 1);
  EXPECT_EQ(read(open(z.bytes, 1).get(), 16), Read(16, 17));  // the same record offset in another file
  EXPECT_EQ(read(f.get(), 16), Read(1, 17));
  EXPECT_EQ(read(f.get(), 0), Read(-1, 17));
  put_be(&file[0], 4, 0xFFFFFFF0u);  // the index below offset 0
  f = open(file, 1);
  EXPECT_EQ(read(f.get(), 1), Read(-1, 1));
}

// Kind 2: page 1 compressed, pages 2 and 3 raw, page 3 with flag 0x7F (any
// non-zero flag means raw); cut by a byte, page 3 runs into the end of the file.
TEST_F(BookFileTest, Kind2PagesStoredRawOrCompressed) {
  testbook::HuffmanOptions options;
  options.force_raw_pages = {2, 3};
  Bytes file = compressed(2, 3, options).bytes;
  file[file.size() - PAGE_SIZE - 1] = 0x7F;
  BookFilePtr f = open(file, 2);
  EXPECT_EQ(read(f.get(), 1), Read(1, 2));
  EXPECT_EQ(read(f.get(), 0), Read(2, 3));
  EXPECT_EQ(read(f.get(), 0), Read(3, 4));
  file.pop_back();
  EXPECT_EQ(read(open(file, 2).get(), 3), Read(-1, 3));
}

// Negative counts; tables outside the file; a table cut short (and one just
// whole); one leaf above MAX_LEAVES; no whole header.
TEST_F(BookFileTest, CorruptHeadersAndTablesMakeTheOpenFail) {
  const std::uint32_t over = 4608 + 6 * static_cast<std::uint32_t>(MAX_LEAVES - 1281 + 1);
  using Case = std::tuple<int, std::uint32_t, std::uint32_t, std::size_t, bool>;  // kind, table offset, length, size
  for (auto [kind, offset, length, size, opens] : std::vector<Case>{{1, 20, 511, 4096, false},
                                                                    {2, 20, 4607, 8192, false},
                                                                    {1, 20, 0x80000000u, 4096, false},
                                                                    {1, 4000, 512, 4096, false},
                                                                    {1, 0x80000000u, 512, 4096, false},
                                                                    {1, 20, 0x7FFFFFFF, 4096, false},
                                                                    {2, 20, 0x7FFFFFFF, 4096, false},
                                                                    {1, 20, 512, 20 + 511, false},
                                                                    {1, 20, 512, 20 + 512, true},
                                                                    {2, 20, 4608, 20 + 4608, true},
                                                                    {2, 20, over, 20 + over, false},
                                                                    {1, 20, 512, 19, false}}) {
    Bytes file(size, 0);
    put_be(&file[0], 4, 20);
    put_be(&file[8], 4, offset);
    put_be(&file[12], 4, length);
    EXPECT_EQ(open(file, kind) != nullptr, opens) << offset << " " << length << " " << size;
  }
}

}  // namespace
}  // namespace tolvex
