#include "huffman_encoder.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "bookfile/book_file.h"
#include "jis_text.h"
#include "source/bytes.h"

namespace tolvex::testbook {
namespace {

namespace fs = std::filesystem;

using TempDir = testing_support::ScratchDir;

std::vector<Page> text_pages(std::size_t count, std::uint64_t seed) {
  Rng rng(seed);
  JisText text(rng);
  std::vector<Page> pages(count);
  for (Page& page : pages) {
    std::size_t at = 0;
    while (true) {
      const Bytes e = text.entry();
      if (at + e.size() > PAGE_BYTES) break;
      std::copy(e.begin(), e.end(), page.begin() + static_cast<std::ptrdiff_t>(at));
      at += e.size();
    }
    while (at < PAGE_BYTES) {  // full pages: no zero tail to cut off
      const Bytes f = text.filler();
      page[at++] = f[0];
      page[at++] = f[1];
    }
  }
  return pages;
}

// Writes the file and reads every page back through read_block.
void expect_round_trip(int kind, const std::vector<Page>& pages, const HuffmanOptions& options,
                       const fs::path& dir, CompressedFile* kept = nullptr) {
  CompressedFile file;
  std::string error;
  ASSERT_TRUE(compress_pages(kind, pages, options, file, error)) << error;
  const fs::path path = dir / "HONMON2";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
  }
  BookFilePtr book = open_book_file(path.string(), kind);
  ASSERT_TRUE(book);
  Page got{};
  for (std::size_t p = 0; p < pages.size(); ++p) {
    // Named pages in reverse, so the page index is used, not the file order.
    const std::size_t q = pages.size() - 1 - p;
    ASSERT_NE(read_block(got.data(), book.get(), static_cast<std::uint32_t>(q + 1)), nullptr) << "page " << q + 1;
    ASSERT_EQ(got, pages[q]) << "page " << q + 1 << " of kind " << kind;
  }
  if (kept) *kept = std::move(file);
}

TEST(HuffmanEncoder, CodesComeFromTheReadersTree) {
  // Weights 5, 3, 1 for 'A', 'B', 'C' and 0 elsewhere give the codes 0, 10,
  // 110 and 1110 for the end of page.
  FrequencyTable table;
  table.kind = 1;
  table.bytes[0x41] = 5;
  table.bytes[0x42] = 3;
  table.bytes[0x43] = 1;
  const HuffmanEncoder encoder(table);
  EXPECT_EQ(encoder.byte_code(0x41), Code({0}));
  EXPECT_EQ(encoder.byte_code(0x42), Code({1, 0}));
  EXPECT_EQ(encoder.byte_code(0x43), Code({1, 1, 0}));
  EXPECT_EQ(encoder.end_code(), Code({1, 1, 1, 0}));
  EXPECT_EQ(encoder.byte_code(0x04), Code({1, 1, 1, 1, 0}));

  Page page{};
  page[0] = 0x41;
  page[1] = 0x42;
  page[2] = 0x43;
  EXPECT_EQ(encoder.encode_page(page, true), (std::vector<std::uint8_t>{0x5B, 0x80}));
}

TEST(HuffmanEncoder, TablesKeepTheirShapeAndWeightsFitSixteenBits) {
  const std::vector<Page> pages = text_pages(40, 7);
  HuffmanOptions options;
  const FrequencyTable k1 = choose_symbols(1, pages, options);
  EXPECT_EQ(k1.quads.size(), 0u);
  EXPECT_GT(k1.pairs.size(), 50u);
  EXPECT_LE(k1.pairs.size(), static_cast<std::size_t>(options.max_pairs));
  EXPECT_EQ(k1.table_length(), static_cast<std::int32_t>(512 + 4 * k1.pairs.size()));

  const FrequencyTable k2 = choose_symbols(2, pages, options);
  EXPECT_EQ(k2.pairs.size(), 1024u);
  EXPECT_GT(k2.quads.size(), 50u);
  for (const auto& t : {k1, k2}) {
    for (const auto& [v, w] : t.pairs) EXPECT_GE(w, 1) << "zero weight although not allowed";
    for (const auto& [v, w] : t.quads) EXPECT_GE(w, 1);
    for (std::uint16_t w : t.bytes) EXPECT_GE(w, 1);
  }
  options.allow_zero_weights = true;
  const FrequencyTable zero = choose_symbols(2, pages, options);
  EXPECT_EQ(zero.bytes[0xFF], 0) << "a byte no page uses";
}

TEST(HuffmanEncoder, EveryPageReadsBackThroughReadBlock) {
  TempDir dir;
  std::vector<Page> pages = text_pages(37, 3);  // three groups, the last one partial
  pages[4] = Page{};                            // all zeros: the end symbol alone
  for (std::size_t i = 0; i < PAGE_BYTES; ++i) pages[9][i] = static_cast<std::uint8_t>(i);
  for (std::size_t i = 100; i < PAGE_BYTES; ++i) pages[20][i] = 0;  // a short page
  for (int kind : {1, 2}) {
    SCOPED_TRACE(kind);
    expect_round_trip(kind, pages, HuffmanOptions{}, dir.path());
  }
}

TEST(HuffmanEncoder, ReaderOnlyOptionsStillReadBack) {
  TempDir dir;
  const std::vector<Page> pages = text_pages(20, 11);
  HuffmanOptions options;
  options.allow_zero_weights = true;
  options.end_symbol_after_full_page = false;
  for (int kind : {1, 2}) {
    SCOPED_TRACE(kind);
    expect_round_trip(kind, pages, options, dir.path());
  }
}

TEST(HuffmanEncoder, KindTwoStoresIncompressiblePagesRaw) {
  TempDir dir;
  std::vector<Page> pages = text_pages(18, 5);
  Rng rng(99);
  for (std::size_t i = 0; i < PAGE_BYTES; ++i) pages[2][i] = static_cast<std::uint8_t>(rng.next());
  HuffmanOptions options;
  options.force_raw_pages = {17};  // a compressible page, raw on request
  CompressedFile file;
  expect_round_trip(2, pages, options, dir.path(), &file);
  ASSERT_EQ(file.raw_pages.size(), pages.size());
  EXPECT_TRUE(file.raw_pages[2]);
  EXPECT_TRUE(file.raw_pages[16]);
  EXPECT_FALSE(file.raw_pages[0]);

  // Kind 1 has no raw pages: the page of noise gets its own pairs as
  // symbols, so that its stream fits the 2048 bytes read_block reads.
  const FrequencyTable plain = choose_symbols(1, pages, HuffmanOptions{});
  expect_round_trip(1, pages, HuffmanOptions{}, dir.path(), &file);
  EXPECT_GT(file.table_length, plain.table_length() + 4 * 500);
}

TEST(HuffmanEncoder, FourByteSymbolsAreUsedAndMayEndThePage) {
  TempDir dir;
  // Two alternating quads fill every page: the whole page is four-byte symbols.
  std::vector<Page> pages(3);
  for (Page& page : pages)
    for (std::size_t i = 0; i < PAGE_BYTES; i += 4) {
      const bool odd = (i / 4) % 3 == 0;
      page[i] = 0x30;
      page[i + 1] = odd ? 0x21 : 0x45;
      page[i + 2] = 0x24;
      page[i + 3] = odd ? 0x4E : 0x72;
    }
  const FrequencyTable table = choose_symbols(2, pages, HuffmanOptions{});
  ASSERT_GE(table.quads.size(), 2u);
  CompressedFile file;
  expect_round_trip(2, pages, HuffmanOptions{}, dir.path(), &file);
  // 512 symbols of at most a few bits each: far below a raw page.
  EXPECT_LT(file.bytes.size(), static_cast<std::size_t>(file.table_offset + file.table_length) + 3 * 400);
}

TEST(HuffmanEncoder, PageIndexSuitsTheEbLibrary) {
  const std::vector<Page> pages = text_pages(21, 2);
  CompressedFile file;
  std::string error;
  ASSERT_TRUE(compress_pages(1, pages, HuffmanOptions{}, file, error)) << error;
  const std::uint8_t* h = file.bytes.data();
  EXPECT_EQ(get_be(h + 4, 4), 2u * 36u) << "word 1 is the length of the page index";
  EXPECT_EQ(get_be(h + 8, 4), static_cast<std::uint32_t>(file.table_offset));
  EXPECT_EQ(get_be(h + 12, 4), static_cast<std::uint32_t>(file.table_length));
  const std::uint8_t* last = h + file.index_offset + 36;
  for (int slot = 1; slot < 5; ++slot) EXPECT_NE(get_be(last + 4 + 2 * slot, 2), 0u) << slot;
  for (int slot = 5; slot < 16; ++slot) EXPECT_EQ(get_be(last + 4 + 2 * slot, 2), 0u) << slot;
  // Each group has a base of its own: its first page is at offset 0 from it.
  EXPECT_EQ(get_be(last + 4, 2), 0u);
  EXPECT_GT(get_be(last, 4), get_be(h + file.index_offset, 4));
}

TEST(HuffmanEncoder, RefusesWhatCannotBeWritten) {
  CompressedFile file;
  std::string error;
  EXPECT_FALSE(compress_pages(1, {}, HuffmanOptions{}, file, error));
  const std::vector<Page> one(1);
  EXPECT_FALSE(compress_pages(3, one, HuffmanOptions{}, file, error));
}

}  // namespace
}  // namespace tolvex::testbook
