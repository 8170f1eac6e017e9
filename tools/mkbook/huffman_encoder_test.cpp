#include "huffman_encoder.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <string>

#include "bookfile/book_file.h"
#include "jis_text.h"  // Rng

namespace tolvex::testbook {
namespace {

// Writes the file and reads every page back through read_block, last page
// first, so that the page index is used and not the file order.
CompressedFile expect_round_trip(int kind, const std::vector<Page>& pages, const HuffmanOptions& options) {
  CompressedFile file;
  std::string error;
  EXPECT_TRUE(compress_pages(kind, pages, options, file, error)) << error;
  testing_support::ScratchDir dir;
  const auto path = dir.path() / "HONMON2";
  testing_support::write_file_text(path, std::string(file.bytes.begin(), file.bytes.end()));
  BookFilePtr book = open_book_file(path.string(), kind);
  EXPECT_TRUE(book);
  Page got{};
  for (std::size_t q = pages.size(); book && q-- > 0;) {
    EXPECT_NE(read_block(got.data(), book.get(), static_cast<std::uint32_t>(q + 1)), nullptr) << "page " << q + 1;
    EXPECT_EQ(got, pages[q]) << "page " << q + 1 << " of kind " << kind;
    if (got != pages[q]) break;
  }
  return file;
}

const HuffmanOptions kReaderOnly = [] {
  HuffmanOptions options;
  options.allow_zero_weights = true;
  options.end_symbol_after_full_page = false;
  return options;
}();

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
  Page page{0x41, 0x42, 0x43};
  EXPECT_EQ(encoder.encode_page(page, true), (std::vector<std::uint8_t>{0x5B, 0x80}));
}

TEST(HuffmanEncoder, EveryPageReadsBackWithEitherOptions) {
  // Three page groups of two-byte text, the last partial; a page of noise,
  // one of zeros (the end symbol alone), one of 0..254, a short one and three
  // of repeated four-byte characters. No page uses the byte 0xFF.
  Rng rng(3);
  std::vector<Page> pages(37);
  for (Page& page : pages)
    for (std::size_t i = 0; i < PAGE_BYTES; i += 2) {
      page[i] = static_cast<std::uint8_t>(0x24 + rng.below(3));
      page[i + 1] = static_cast<std::uint8_t>(0x21 + rng.below(40));
    }
  for (std::size_t i = 0; i < PAGE_BYTES; ++i) {
    pages[2][i] = static_cast<std::uint8_t>(rng.below(0xFF));
    pages[9][i] = static_cast<std::uint8_t>(i % 0xFF);
    if (i >= 100) pages[20][i] = 0;
    static constexpr std::uint8_t quads[2][4] = {{0x30, 0x21, 0x24, 0x4E}, {0x30, 0x45, 0x24, 0x72}};
    for (std::size_t q : {30, 31, 32}) pages[q][i] = quads[(i / 4) % 3 == 0 ? 0 : 1][i % 4];
  }
  pages[4] = Page{};
  for (HuffmanOptions options : {HuffmanOptions{}, kReaderOnly}) {
    options.force_raw_pages = {17};  // kind 2: a compressible page, raw on request
    for (int kind : {1, 2}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << ", zero weights " << options.allow_zero_weights);
      const FrequencyTable table = choose_symbols(kind, pages, options);
      EXPECT_EQ(table.bytes[0xFF] == 0, options.allow_zero_weights) << "a byte no page uses";
      const CompressedFile file = expect_round_trip(kind, pages, options);
      if (kind != 2) continue;
      ASSERT_GE(table.quads.size(), 2u);
      // 512 four-byte symbols of a few bits each: far below a raw page.
      EXPECT_LT(HuffmanEncoder(table).encode_page(pages[30], true).size(), 400u);
      ASSERT_EQ(file.raw_pages.size(), pages.size());
      EXPECT_TRUE(file.raw_pages[2]) << "noise does not compress";
      EXPECT_TRUE(file.raw_pages[16]);
      EXPECT_FALSE(file.raw_pages[0]);
    }
  }
}

}  // namespace
}  // namespace tolvex::testbook
