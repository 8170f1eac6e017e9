#include "bookfile/book_file.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bookfile/test_encoder.h"
#include "catalog/bytes.h"
#include "scratch_dir.h"

namespace tolvex {
namespace {

using namespace test_encoding;

// Page n: its number in the first byte, then letters 'A'.
Bytes numbered_page(int n) {
  Bytes page(PAGE_SIZE, 0x41);
  page[0] = static_cast<std::uint8_t>(n);
  return page;
}

using Read = std::pair<int, std::int32_t>;

class BookFileTest : public ::testing::Test {
 protected:
  void SetUp() override { set_current_page(0); }

  // Writes the bytes to a new file of the scratch directory and opens it.
  BookFilePtr open(const Bytes& bytes, int kind) {
    const auto path = dir_.path() / ("F" + std::to_string(files_++));
    testing_support::write_file_text(path, std::string(bytes.begin(), bytes.end()));
    return open_book_file(path.string(), kind);
  }
  // Reads the page into page_: the number of the numbered page read (0 for
  // another page, -1 when the read fails), and current_page after it.
  Read read(BookFile* file, std::uint32_t page) {
    if (read_block(page_.data(), file, page) == nullptr) return {-1, current_page()};
    return {page_ == numbered_page(page_[0]) ? page_[0] : 0, current_page()};
  }

  testing_support::ScratchDir dir_;
  int files_ = 0;
  Bytes page_ = Bytes(PAGE_SIZE);
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

// The pinned stream 5B 80 as page 1, with table lengths 512 and 515 (three
// spare bytes, no pair); page 2 a stream that runs out before its end symbol
// (40 symbols 'A', as in a file cut short).
TEST_F(BookFileTest, PinnedStreamDecodesAndAStreamThatRunsOutFails) {
  for (std::int32_t length : {512, 515}) {
    Bytes table = abc_tables().serialize();
    table.resize(static_cast<std::size_t>(length), 0xFF);
    BookFilePtr f = open(build_compressed_file(length, table, {Bytes{0x5B, 0x80}, Bytes(5, 0)}), 1);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->tree->nodes.size(), 513u);
    set_current_page(0);
    EXPECT_EQ(read(f.get(), 0), Read(-1, 0));  // page 0 before any page was read names no page
    EXPECT_EQ(read(f.get(), 1), Read(0, 2));
    EXPECT_EQ(page_, page_with_prefix({0x41, 0x42, 0x43}));
    EXPECT_EQ(read(f.get(), 0), Read(-1, 2));
  }
}

TEST_F(BookFileTest, PagesSixteenAndSeventeenAreRecordZeroSlotFifteenAndRecordOneSlotZero) {
  const TestEncoder enc(abc_tables());
  std::vector<Bytes> records;
  for (int n = 1; n <= 20; ++n) records.push_back(enc.encode(numbered_page(n), false));
  Bytes file = build_compressed_file(512, abc_tables().serialize(), records);
  BookFilePtr f = open(file, 1);
  EXPECT_EQ(read(f.get(), 16), Read(16, 17));
  EXPECT_EQ(read(open(plain_pages(2), 0).get(), 2), Read(2, 3));
  EXPECT_EQ(read(f.get(), 0), Read(3, 4));  // page 0 goes on after the last page read on any file
  EXPECT_EQ(read(f.get(), 17), Read(17, 18));
  EXPECT_EQ(read(f.get(), 0), Read(18, 19));
  // Record 0's slot 15 moved to page 1's stream, record 1's base past the end of the file.
  put_be(&file[20 + 4 + 2 * 15], 2, 0);
  put_be(&file[20 + 36], 4, 0x00FFFFFF);
  f = open(file, 1);
  EXPECT_EQ(read(f.get(), 16), Read(1, 17));
  EXPECT_EQ(read(f.get(), 0), Read(-1, 17));
  put_be(&file[0], 4, 0xFFFFFFF0u);  // the index below offset 0
  f = open(file, 1);
  EXPECT_EQ(read(f.get(), 1), Read(-1, 1));
}

// Kind 2 pages: compressed, raw, a full one whose last pair has room for
// one byte only (the bits after it are ignored), one with flag 0x7F (any
// non-zero flag means raw) and a cut raw one, which run into the end of the file.
TEST_F(BookFileTest, Kind2PagesStoredRawOrCompressed) {
  FrequencyTables t = abc_tables();
  t.kind = 2;
  t.pairs.assign(1024, {{0x30, 0x21}, 0});
  t.pairs[0].second = 7;
  const TestEncoder enc(t);
  const Bytes raw = numbered_page(2), text{0x30, 0x21, 0x30, 0x21, 0x41, 0x30, 0x21};  // pairs and a byte
  Bytes full(PAGE_SIZE - 1, 0x41);
  full.insert(full.end(), {0x30, 0x21});
  const std::vector<Bytes> records{kind2_record(false, enc.encode(text, true)), kind2_record(true, raw),
                                   kind2_record(false, enc.encode(full, false)), Bytes{0x7F, 0x00, 0x01},
                                   kind2_record(true, {raw.data(), 1000})};
  BookFilePtr f = open(build_compressed_file(4608, t.serialize(), records), 2);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->tree->nodes.size(), 2u * 1281 - 1);
  EXPECT_EQ(read(f.get(), 1), Read(0, 2));
  EXPECT_EQ(page_, page_with_prefix(text));
  EXPECT_EQ(read(f.get(), 0), Read(2, 3));
  EXPECT_EQ(read(f.get(), 0), Read(0, 4));
  EXPECT_EQ(page_, Bytes(full.begin(), full.begin() + PAGE_SIZE));
  EXPECT_EQ(read(f.get(), 0), Read(-1, 4));
  EXPECT_EQ(read(f.get(), 5), Read(-1, 5));
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
