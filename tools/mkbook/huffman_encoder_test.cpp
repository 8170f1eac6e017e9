#include "huffman_encoder.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <string>

#include "bookfile/book_file.h"
#include "jis_text.h"  // Rng

namespace tolvex::testbook {
namespace {

using testing_support::ScratchDir;

// Pages of two-byte text from a small repertoire, filled to the last byte.
std::vector<Page> text_pages(std::size_t count, std::uint64_t seed) {
  Rng rng(seed);
  std::vector<Page> pages(count);
  for (Page& page : pages)
    for (std::size_t i = 0; i < PAGE_BYTES; i += 2) {
      page[i] = static_cast<std::uint8_t>(0x24 + rng.below(3));
      page[i + 1] = static_cast<std::uint8_t>(0x21 + rng.below(40));
    }
  return pages;
}

// Writes the file and reads every page back through read_block, last page
// first, so that the page index is used and not the file order.
CompressedFile expect_round_trip(int kind, const std::vector<Page>& pages, const HuffmanOptions& options) {
  CompressedFile file;
  std::string error;
  EXPECT_TRUE(compress_pages(kind, pages, options, file, error)) << error;
  ScratchDir dir;
  const auto path = dir.path() / "HONMON2";
  testing_support::write_file_text(path, std::string(file.bytes.begin(), file.bytes.end()));
  BookFilePtr book = open_book_file(path.string(), kind);
  EXPECT_TRUE(book);
  if (!book) return file;
  Page got{};
  for (std::size_t q = pages.size(); q-- > 0;) {
    EXPECT_NE(read_block(got.data(), book.get(), static_cast<std::uint32_t>(q + 1)), nullptr) << "page " << q + 1;
    EXPECT_EQ(got, pages[q]) << "page " << q + 1 << " of kind " << kind;
    if (got != pages[q]) break;
  }
  return file;
}

HuffmanOptions reader_only() {
  HuffmanOptions options;
  options.allow_zero_weights = true;
  options.end_symbol_after_full_page = false;
  return options;
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

TEST(HuffmanEncoder, EveryPageReadsBackWithEitherOptions) {
  // Three page groups, the last partial; a page of noise, one of zeros (the
  // end symbol alone), one of 0..255 and a short one.
  std::vector<Page> pages = text_pages(37, 3);
  Rng rng(99);
  for (std::size_t i = 0; i < PAGE_BYTES; ++i) {
    pages[2][i] = static_cast<std::uint8_t>(rng.next());
    pages[9][i] = static_cast<std::uint8_t>(i);
    if (i >= 100) pages[20][i] = 0;
  }
  pages[4] = Page{};
  for (HuffmanOptions options : {HuffmanOptions{}, reader_only()}) {
    options.force_raw_pages = {17};  // kind 2: a compressible page, raw on request
    for (int kind : {1, 2}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << ", zero weights " << options.allow_zero_weights);
      const CompressedFile file = expect_round_trip(kind, pages, options);
      if (kind != 2) continue;
      ASSERT_EQ(file.raw_pages.size(), pages.size());
      EXPECT_TRUE(file.raw_pages[2]) << "noise does not compress";
      EXPECT_TRUE(file.raw_pages[16]);
      EXPECT_FALSE(file.raw_pages[0]);
    }
  }
}

TEST(HuffmanEncoder, FourByteSymbolsFillWholePages) {
  std::vector<Page> pages(3);
  for (Page& page : pages)
    for (std::size_t i = 0; i < PAGE_BYTES; i += 4) {
      const bool first = (i / 4) % 3 == 0;
      page[i] = 0x30;
      page[i + 1] = first ? 0x21 : 0x45;
      page[i + 2] = 0x24;
      page[i + 3] = first ? 0x4E : 0x72;
    }
  for (const HuffmanOptions& options : {HuffmanOptions{}, reader_only()}) {
    const FrequencyTable table = choose_symbols(2, pages, options);
    ASSERT_GE(table.quads.size(), 2u);
    EXPECT_EQ(table.bytes[0xFF] == 0, options.allow_zero_weights) << "a byte no page uses";
    const CompressedFile file = expect_round_trip(2, pages, options);
    // 512 symbols of a few bits each: far below a raw page.
    EXPECT_LT(file.bytes.size(), static_cast<std::size_t>(file.table_offset + file.table_length) + 3 * 400);
  }
}

TEST(HuffmanEncoder, RefusesWhatCannotBeWritten) {
  CompressedFile file;
  std::string error;
  EXPECT_FALSE(compress_pages(1, {}, HuffmanOptions{}, file, error));
  EXPECT_FALSE(compress_pages(3, std::vector<Page>(1), HuffmanOptions{}, file, error));
}

}  // namespace
}  // namespace tolvex::testbook
