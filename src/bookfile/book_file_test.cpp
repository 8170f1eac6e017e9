#include "bookfile/book_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bookfile/test_encoder.h"
#include "source/bytes.h"

namespace tolvex {
namespace {

using test_encoding::build_compressed_file;
using test_encoding::CompressedFileLayout;
using test_encoding::FrequencyTables;
using test_encoding::kind2_record;
using test_encoding::TestEncoder;
using Bytes = std::vector<std::uint8_t>;

class BookFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tolvex_bookfile_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir_);
    set_current_page(0);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string write(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  std::filesystem::path dir_;
};

// Weights 5/3/1 for 0x41/0x42/0x43, zero for every other byte.
FrequencyTables abc_tables() {
  FrequencyTables t;
  t.kind = 1;
  t.bytes[0x41] = 5;
  t.bytes[0x42] = 3;
  t.bytes[0x43] = 1;
  return t;
}

// Every byte has some weight, so every byte has a short-ish code.
FrequencyTables all_bytes_tables(int kind) {
  FrequencyTables t;
  t.kind = kind;
  for (int b = 0; b < 256; ++b) t.bytes[b] = static_cast<std::uint16_t>(1 + (b * 7) % 13);
  for (int b = 0x41; b < 0x49; ++b) t.bytes[b] = 4000;  // what numbered_page mostly holds
  if (kind == 2) {
    for (int i = 0; i < 1024; ++i) {
      t.pairs.push_back({{static_cast<std::uint8_t>(0x30 + i / 64), static_cast<std::uint8_t>(0x21 + i % 64)},
                         static_cast<std::uint16_t>(i < 8 ? 200 - i : 0)});
    }
  }
  return t;
}

// Page n: its number in the first byte, then letters A-H in a pattern that
// depends on it (compressible, so a page's stream stays well below 2048 bytes).
Bytes numbered_page(int n) {
  Bytes page(PAGE_SIZE);
  page[0] = static_cast<std::uint8_t>(n);
  for (int i = 1; i < PAGE_SIZE; ++i) page[i] = static_cast<std::uint8_t>(0x41 + ((i * 31 + n * 7) & 7));
  return page;
}

Bytes plain_pages(int count, std::size_t tail = 0) {
  Bytes file;
  for (int n = 1; n <= count; ++n) {
    Bytes p = numbered_page(n);
    file.insert(file.end(), p.begin(), p.end());
  }
  Bytes extra = numbered_page(count + 1);
  file.insert(file.end(), extra.begin(), extra.begin() + static_cast<std::ptrdiff_t>(tail));
  return file;
}

Bytes page_from_prefix(const Bytes& prefix) {
  Bytes page(PAGE_SIZE, 0);
  std::copy(prefix.begin(), prefix.end(), page.begin());
  return page;
}

TEST(BaseName, KeepsWhatFollowsTheLastSeparator) {
  EXPECT_EQ(base_name_of("DATA/HONMON"), "HONMON");
  EXPECT_EQ(base_name_of("C:\\BOOK\\DATA\\HONMON2"), "HONMON2");
  EXPECT_EQ(base_name_of("D:HONMON"), "HONMON");
  EXPECT_EQ(base_name_of("HONMON"), "HONMON");
  EXPECT_EQ(base_name_of("DATA/"), "");
}

TEST_F(BookFileTest, KindsOtherThanOneOrTwoOpenAPlainFileOfAnyLength) {
  const std::string path = write("SHORT", Bytes{1, 2, 3});
  for (int kind : {0, 3, -1}) {
    BookFilePtr f = open_book_file(path, kind);
    ASSERT_NE(f, nullptr) << kind;
    EXPECT_EQ(f->kind, 0);
    EXPECT_EQ(f->name, "SHORT");
    EXPECT_EQ(f->header, nullptr);
    EXPECT_EQ(f->tree, nullptr);
    EXPECT_EQ(close_book_file(f), 0);
    EXPECT_EQ(f, nullptr);
  }
  BookFilePtr none;
  EXPECT_EQ(close_book_file(none), 0);
  EXPECT_EQ(open_book_file((dir_ / "MISSING").string(), 0), nullptr);
}

TEST_F(BookFileTest, CompressedFileShorterThanItsHeaderCannotBeOpened) {
  const std::string path = write("SHORT", Bytes(19, 0));
  EXPECT_EQ(open_book_file(path, 1), nullptr);
  EXPECT_EQ(open_book_file(path, 2), nullptr);
}

TEST_F(BookFileTest, PlainPageThreeThenPageZeroReadsPageFour) {
  BookFilePtr f = open_book_file(write("HONMON", plain_pages(5)), 0);
  ASSERT_NE(f, nullptr);
  Bytes page(PAGE_SIZE);
  ASSERT_EQ(read_block(page.data(), f.get(), 3), page.data());
  EXPECT_EQ(page, numbered_page(3));
  EXPECT_EQ(current_page(), 4);
  ASSERT_NE(read_block(page.data(), f.get(), 0), nullptr);
  EXPECT_EQ(page, numbered_page(4));
  EXPECT_EQ(current_page(), 5);
}

TEST_F(BookFileTest, PlainPageZeroRightAfterOpenReadsPageOne) {
  BookFilePtr f = open_book_file(write("HONMON", plain_pages(2)), 0);
  Bytes page(PAGE_SIZE);
  ASSERT_NE(read_block(page.data(), f.get(), 0), nullptr);
  EXPECT_EQ(page, numbered_page(1));
  EXPECT_EQ(current_page(), 1);
}

TEST_F(BookFileTest, ShortLastPlainPageFailsAndKeepsTheNamedPage) {
  BookFilePtr f = open_book_file(write("HONMON", plain_pages(2, 100)), 0);
  Bytes page(PAGE_SIZE);
  ASSERT_NE(read_block(page.data(), f.get(), 2), nullptr);
  EXPECT_EQ(current_page(), 3);
  EXPECT_EQ(read_block(page.data(), f.get(), 0), nullptr);
  EXPECT_EQ(current_page(), 3);  // a failed read does not advance
  EXPECT_EQ(read_block(page.data(), f.get(), 3), nullptr);
  EXPECT_EQ(current_page(), 3);
}

TEST_F(BookFileTest, CurrentPageFollowsSuccessAndFailure) {
  BookFilePtr f = open_book_file(write("HONMON", plain_pages(8)), 0);
  Bytes page(PAGE_SIZE);
  ASSERT_NE(read_block(page.data(), f.get(), 5), nullptr);
  EXPECT_EQ(current_page(), 6);
  EXPECT_EQ(read_block(page.data(), f.get(), 9), nullptr);
  EXPECT_EQ(current_page(), 9);
  EXPECT_EQ(read_block(page.data(), nullptr, 2), nullptr);
  EXPECT_EQ(current_page(), 9);
}

TEST_F(BookFileTest, DocumentedStreamDecodesToABCThenZeros) {
  FrequencyTables t = abc_tables();
  Bytes file = build_compressed_file(t.table_length(), t.serialize(), {Bytes{0x5B, 0x80}});
  BookFilePtr f = open_book_file(write("HONMON", file), 1);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->tree->nodes.size(), 513u);
  Bytes page(PAGE_SIZE, 0xEE);
  ASSERT_NE(read_block(page.data(), f.get(), 1), nullptr);
  EXPECT_EQ(page, page_from_prefix({0x41, 0x42, 0x43}));
  EXPECT_EQ(current_page(), 2);
}

TEST_F(BookFileTest, ZeroWeightBytesMovedByTheSortRoundTrip) {
  // 0x03 has the longest code (256 bits), 0x04 the first unmoved zero weight.
  FrequencyTables t = abc_tables();
  TestEncoder enc(t);
  EXPECT_EQ(enc.byte_code(0x04), "11110");
  EXPECT_EQ(enc.byte_code(0x03), std::string(256, '1'));
  const Bytes text{0x03, 0x04, 0x00, 0xFF, 0x41, 0x03};
  Bytes file = build_compressed_file(t.table_length(), t.serialize(), {enc.encode(text, true)});
  BookFilePtr f = open_book_file(write("HONMON", file), 1);
  ASSERT_NE(f, nullptr);
  Bytes page(PAGE_SIZE);
  ASSERT_NE(read_block(page.data(), f.get(), 1), nullptr);
  EXPECT_EQ(page, page_from_prefix(text));
}

TEST_F(BookFileTest, PagesSixteenAndSeventeenComeFromRecordZeroSlotFifteenAndRecordOneSlotZero) {
  FrequencyTables t = all_bytes_tables(1);
  TestEncoder enc(t);
  std::vector<Bytes> records;
  for (int n = 1; n <= 20; ++n) records.push_back(enc.encode(numbered_page(n), false));
  ASSERT_LT(records.back().size(), 1200u);
  CompressedFileLayout layout;
  Bytes file = build_compressed_file(t.table_length(), t.serialize(), records, &layout);
  // Pin the index layout the reader must follow.
  ASSERT_EQ(get_be(&file[layout.index_offset], 4) + get_be(&file[layout.index_offset + 4 + 2 * 15], 2),
            static_cast<std::uint32_t>(layout.page_offsets[15]));
  ASSERT_EQ(get_be(&file[layout.index_offset + 36], 4) + get_be(&file[layout.index_offset + 36 + 4], 2),
            static_cast<std::uint32_t>(layout.page_offsets[16]));

  BookFilePtr f = open_book_file(write("HONMON", file), 1);
  ASSERT_NE(f, nullptr);
  Bytes page(PAGE_SIZE);
  ASSERT_NE(read_block(page.data(), f.get(), 16), nullptr);
  EXPECT_EQ(page, numbered_page(16));
  ASSERT_NE(read_block(page.data(), f.get(), 0), nullptr);
  EXPECT_EQ(page, numbered_page(17));
  EXPECT_EQ(current_page(), 18);
  ASSERT_NE(read_block(page.data(), f.get(), 1), nullptr);
  EXPECT_EQ(page, numbered_page(1));
  // Page 33 would need a third record, which the index does not have.
  EXPECT_EQ(read_block(page.data(), f.get(), 33), nullptr);
  EXPECT_EQ(current_page(), 33);
}

TEST_F(BookFileTest, CompressedPageZeroBeforeAnyReadFails) {
  FrequencyTables t = abc_tables();
  Bytes file = build_compressed_file(t.table_length(), t.serialize(), {Bytes{0x5B, 0x80}});
  BookFilePtr f = open_book_file(write("HONMON", file), 1);
  Bytes page(PAGE_SIZE);
  EXPECT_EQ(read_block(page.data(), f.get(), 0), nullptr);
  EXPECT_EQ(current_page(), 0);
  ASSERT_NE(read_block(page.data(), f.get(), 1), nullptr);
}

TEST_F(BookFileTest, PageZeroContinuesAfterTheLastPageReadOnAnyFile) {
  BookFilePtr plain = open_book_file(write("PLAIN", plain_pages(4)), 0);
  FrequencyTables t = all_bytes_tables(1);
  TestEncoder enc(t);
  std::vector<Bytes> records;
  for (int n = 1; n <= 4; ++n) records.push_back(enc.encode(numbered_page(n), false));
  BookFilePtr packed = open_book_file(write("PACKED", build_compressed_file(t.table_length(), t.serialize(), records)), 1);
  Bytes page(PAGE_SIZE);
  ASSERT_NE(read_block(page.data(), plain.get(), 2), nullptr);
  ASSERT_NE(read_block(page.data(), packed.get(), 0), nullptr);  // the counter is shared
  EXPECT_EQ(page, numbered_page(3));
  EXPECT_EQ(current_page(), 4);
}

TEST_F(BookFileTest, EndOfPageSymbolAfterHundredBytesZerosTheRest) {
  FrequencyTables t = all_bytes_tables(1);
  TestEncoder enc(t);
  Bytes text = numbered_page(7);
  text.resize(100);
  // The last page's stream is the last thing in the file: far fewer than 2048 bytes remain.
  Bytes file = build_compressed_file(t.table_length(), t.serialize(), {enc.encode(text, true)});
  BookFilePtr f = open_book_file(write("HONMON", file), 1);
  Bytes page(PAGE_SIZE, 0xEE);
  ASSERT_NE(read_block(page.data(), f.get(), 1), nullptr);
  EXPECT_EQ(page, page_from_prefix(text));
}

TEST_F(BookFileTest, AStreamThatRunsOutBeforeTheEndSymbolFailsThePage) {
  // No end-of-page symbol: the stream is cut after 40 whole symbols of 'A'
  // (code 0), as in a file cut short. The page is not handed on as zeros.
  FrequencyTables t = abc_tables();
  Bytes file = build_compressed_file(t.table_length(), t.serialize(), {Bytes{0x00, 0x00, 0x00, 0x00, 0x00}});
  BookFilePtr f = open_book_file(write("HONMON", file), 1);
  Bytes page(PAGE_SIZE, 0xEE);
  set_current_page(3);
  EXPECT_EQ(read_block(page.data(), f.get(), 1), nullptr);
  EXPECT_EQ(current_page(), 1);
}

TEST_F(BookFileTest, Kind2RawPageComesBackUnchangedAndACutOneFails) {
  FrequencyTables t = all_bytes_tables(2);
  TestEncoder enc(t);
  const Bytes raw = numbered_page(2);
  const Bytes text{0x30, 0x21, 0x30, 0x22, 0x41, 0x30, 0x21};  // pairs and a lone byte
  Bytes cut(raw.begin(), raw.begin() + 1000);
  Bytes file = build_compressed_file(t.table_length(), t.serialize(),
                                     {kind2_record(false, enc.encode(text, true)), kind2_record(true, raw),
                                      Bytes{0x7F, 0x00, 0x01}, kind2_record(true, cut)});
  BookFilePtr f = open_book_file(write("HONMON", file), 2);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->tree->nodes.size(), 2u * 1281 - 1);
  Bytes page(PAGE_SIZE);
  ASSERT_NE(read_block(page.data(), f.get(), 1), nullptr);
  EXPECT_EQ(page, page_from_prefix(text));
  ASSERT_NE(read_block(page.data(), f.get(), 0), nullptr);
  EXPECT_EQ(page, raw);
  // Any non-zero flag means raw: page 3 (flag 0x7F) and page 4 hit the end of the file.
  EXPECT_EQ(read_block(page.data(), f.get(), 3), nullptr);
  EXPECT_EQ(read_block(page.data(), f.get(), 4), nullptr);
  EXPECT_EQ(current_page(), 4);
}

TEST_F(BookFileTest, SpareTableBytesAreIgnored) {
  FrequencyTables t = abc_tables();
  Bytes table = t.serialize();
  table.insert(table.end(), {0xFF, 0xFF, 0xFF});
  Bytes file = build_compressed_file(515, table, {Bytes{0x5B, 0x80}});
  BookFilePtr f = open_book_file(write("HONMON", file), 1);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->tree->nodes.size(), 513u);
  Bytes page(PAGE_SIZE);
  ASSERT_NE(read_block(page.data(), f.get(), 1), nullptr);
  EXPECT_EQ(page, page_from_prefix({0x41, 0x42, 0x43}));
}

TEST_F(BookFileTest, Kind1PairsAndKind2QuadsDecode) {
  FrequencyTables k1 = all_bytes_tables(1);
  k1.pairs.push_back({{0x24, 0x22}, 900});
  TestEncoder e1(k1);
  const Bytes text1{0x24, 0x22, 0x24, 0x22, 0x41};
  BookFilePtr f1 = open_book_file(write("K1", build_compressed_file(k1.table_length(), k1.serialize(), {e1.encode(text1, true)})), 1);
  ASSERT_NE(f1, nullptr);
  EXPECT_EQ(f1->tree->nodes.size(), 2u * 258 - 1);

  FrequencyTables k2 = all_bytes_tables(2);
  k2.quads.push_back({{0x1F, 0x0A, 0x24, 0x22}, 1000});
  TestEncoder e2(k2);
  const Bytes text2{0x1F, 0x0A, 0x24, 0x22, 0x30, 0x21};
  BookFilePtr f2 = open_book_file(write("K2", build_compressed_file(k2.table_length(), k2.serialize(), {kind2_record(false, e2.encode(text2, true))})), 2);
  ASSERT_NE(f2, nullptr);

  Bytes page(PAGE_SIZE);
  ASSERT_NE(read_block(page.data(), f1.get(), 1), nullptr);
  EXPECT_EQ(page, page_from_prefix(text1));
  ASSERT_NE(read_block(page.data(), f2.get(), 1), nullptr);
  EXPECT_EQ(page, page_from_prefix(text2));
}

// Header words: index_offset, unused, table_offset, table_length, unused.
Bytes header_only(std::uint32_t table_offset, std::uint32_t table_length, std::size_t file_size) {
  Bytes file(std::max<std::size_t>(file_size, 20), 0);
  put_be(&file[0], 4, 20);
  put_be(&file[8], 4, table_offset);
  put_be(&file[12], 4, table_length);
  return file;
}

TEST_F(BookFileTest, CorruptHeadersAndTablesMakeTheOpenFail) {
  // Counts that would be negative.
  EXPECT_EQ(open_book_file(write("A", header_only(20, 511, 4096)), 1), nullptr);
  EXPECT_EQ(open_book_file(write("B", header_only(20, 4607, 8192)), 2), nullptr);
  EXPECT_EQ(open_book_file(write("C", header_only(20, 0x80000000u, 4096)), 1), nullptr);
  // Tables that cannot lie inside the file, including absurd lengths.
  EXPECT_EQ(open_book_file(write("D", header_only(4000, 512, 4096)), 1), nullptr);
  EXPECT_EQ(open_book_file(write("E", header_only(0x80000000u, 512, 4096)), 1), nullptr);
  EXPECT_EQ(open_book_file(write("F", header_only(20, 0x7FFFFFFF, 4096)), 1), nullptr);
  EXPECT_EQ(open_book_file(write("G", header_only(20, 0x7FFFFFFF, 4096)), 2), nullptr);
  // A table record cut short by the end of the file.
  EXPECT_EQ(open_book_file(write("H", header_only(20, 512, 20 + 511)), 1), nullptr);
  EXPECT_NE(open_book_file(write("I", header_only(20, 512, 20 + 512)), 1), nullptr);
  // One leaf above the bound, although the file is long enough to hold the table.
  const std::uint32_t quads = static_cast<std::uint32_t>(MAX_LEAVES - 1281 + 1);
  const std::uint32_t length = 4608 + 6 * quads;
  EXPECT_EQ(open_book_file(write("J", header_only(20, length, 20 + length)), 2), nullptr);
}

TEST_F(BookFileTest, BadPageIndexFailsTheRead) {
  FrequencyTables t = abc_tables();
  Bytes file = build_compressed_file(t.table_length(), t.serialize(), {Bytes{0x5B, 0x80}});
  Bytes beyond = file;
  put_be(&beyond[20], 4, 0x00FFFFFF);  // page data past the end of the file
  Bytes negative = file;
  put_be(&negative[0], 4, 0xFFFFFFF0u);  // index offset below zero
  BookFilePtr a = open_book_file(write("A", beyond), 1);
  BookFilePtr b = open_book_file(write("B", negative), 1);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  Bytes page(PAGE_SIZE);
  EXPECT_EQ(read_block(page.data(), a.get(), 1), nullptr);
  EXPECT_EQ(read_block(page.data(), b.get(), 1), nullptr);
  EXPECT_EQ(current_page(), 1);
}

}  // namespace
}  // namespace tolvex
