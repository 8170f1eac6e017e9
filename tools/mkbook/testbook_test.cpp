#include "testbook.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <algorithm>
#include <memory>

#include "bookfile/book_file.h"
#include "bookfile/multi_search.h"
#include "source/bytes.h"

namespace tolvex::testbook {
namespace {

namespace fs = std::filesystem;
using testing_support::read_file_bytes;
using testing_support::ScratchDir;

// Every page of the file, read through read_block (the first page named, the
// others continued with page 0, as the data file writer reads), equals the
// page the generator meant.
void expect_pages(const SourceFile& file) {
  SCOPED_TRACE(file.path.string());
  BookFilePtr book = open_book_file(file.path.string(), file.kind);
  ASSERT_TRUE(book);
  Page got{};
  for (std::size_t p = 0; p < file.pages.size(); ++p) {
    ASSERT_NE(read_block(got.data(), book.get(), p == 0 ? 1u : 0u), nullptr) << "page " << p + 1;
    ASSERT_EQ(got, file.pages[p]) << "page " << p + 1;
  }
}

TEST(TestBook, EveryFileReadsBackForAllKindsAndReaderOnlyOptions) {
  for (auto [kind, reader_only] : {std::pair{0, false}, {1, false}, {2, false}, {1, true}, {2, true}}) {
    SCOPED_TRACE(testing::Message() << "kind " << kind << (reader_only ? ", reader-only options" : ""));
    ScratchDir dir;
    BookSpec recipe = eb_library_book_spec(kind, 5);
    recipe.subbooks[0].body_pages = 70;
    recipe.huffman.allow_zero_weights = reader_only;
    recipe.huffman.end_symbol_after_full_page = !reader_only;
    const GeneratedBook book = write_book(dir.path(), recipe);
    ASSERT_TRUE(book.ok()) << book.error;
    const GeneratedSubbook& s = book.subbooks[0];
    EXPECT_EQ(s.text.kind, kind);
    ASSERT_TRUE(s.graphic && s.sound);
    EXPECT_EQ(s.sound->kind, kind == 1 ? 2 : 1);
    expect_pages(s.text);
    expect_pages(*s.graphic);
    expect_pages(*s.sound);
    if (kind == 2) {  // dictionary-like redundancy
      EXPECT_LT(fs::file_size(s.text.path), s.text.pages.size() * PAGE_BYTES * 7 / 10);
    }
  }
}

// The --sample book, written once for the tests below.
class SampleBook : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<ScratchDir>();
    book_ = std::make_unique<GeneratedBook>(write_book(dir_->path(), sample_book_spec()));
  }
  static void TearDownTestSuite() {
    book_.reset();
    dir_.reset();
  }
  void SetUp() override { ASSERT_TRUE(book_->ok()) << book_->error; }
  static const GeneratedSubbook& main_subbook() { return book_->subbooks[0]; }

  static inline std::unique_ptr<ScratchDir> dir_;
  static inline std::unique_ptr<GeneratedBook> book_;
};

TEST_F(SampleBook, HasRawPagesFontsAndAllSubbookKinds) {
  ASSERT_EQ(book_->subbooks.size(), 3u);
  const GeneratedSubbook& main = main_subbook();
  EXPECT_EQ(main.text.kind, 2);
  EXPECT_GE(main.text.pages.size(), 300u);
  EXPECT_NE(std::count(main.text.raw_pages.begin(), main.text.raw_pages.end(), true), 0)
      << "the page of 0..255 repeated and the unknown component do not compress";
  ASSERT_EQ(main.font_files.size(), 2u);
  for (const auto& f : main.font_files) EXPECT_EQ(fs::file_size(f), 4096u);
  expect_pages(main.text);
  expect_pages(*main.sound);

  const GeneratedSubbook& v1 = book_->subbooks[1];
  EXPECT_EQ(v1.entry_version, 1);
  EXPECT_EQ(v1.text.path.filename(), "HONMON");
  EXPECT_EQ(v1.text.kind, 0);
  expect_pages(v1.text);
  EXPECT_TRUE(book_->subbooks[2].stream_book);
  EXPECT_TRUE(book_->subbooks[2].text.pages.empty());
}

TEST_F(SampleBook, CatalogHoldsEntriesAndSecondTable) {
  const std::vector<std::uint8_t> cat = read_file_bytes(book_->catalog);
  ASSERT_EQ(cat, book_->catalog_bytes);
  EXPECT_EQ(book_->catalog.filename(), "CATALOGS");
  ASSERT_EQ(cat.size(), 2048u);
  EXPECT_EQ(get_be(&cat[0], 2), 3u);
  EXPECT_NE(cat[3], 0) << "byte 3 marks the EPWING layout";
  EXPECT_NE(get_be(&cat[2], 2), 1u) << "the EB library reads the second table only then";
  const std::uint8_t* e0 = &cat[16];
  EXPECT_EQ(e0[1], 2);
  EXPECT_EQ(copy_trimmed(e0 + 82, 8), "SAMPLE");
  EXPECT_EQ(get_be(e0 + 94, 2), 1u);
  EXPECT_EQ(copy_trimmed(e0 + 100, 8), "GAI16F00");
  EXPECT_EQ(copy_trimmed(e0 + 132, 8), "GAI16H00");
  EXPECT_EQ(cat[16 + 164 + 1], 1) << "the second subbook is EPWING V1";
  EXPECT_EQ(cat[16 + 2 * 164], 0xF0) << "a stream book";
  const std::uint8_t* f0 = &cat[16 + 3 * 164];
  EXPECT_EQ(copy_trimmed(f0 + 4, 8), "HONMON2");
  EXPECT_EQ(f0[55], 0x12);
  EXPECT_EQ(copy_trimmed(f0 + 44, 8), "HONMONG");
  EXPECT_EQ(copy_trimmed(f0 + 56, 8), "HONMONS");
  EXPECT_EQ(f0[53], 0x11);
  EXPECT_EQ(f0[41] & 3, 1) << "sound name in the slot at 56";
  EXPECT_EQ(f0[42] & 3, 2) << "graphic name in the slot at 44";
}

TEST_F(SampleBook, IndexPageListsEveryKindOfComponent) {
  const GeneratedSubbook& s = main_subbook();
  const Page& index = s.text.pages[0];
  ASSERT_EQ(get_be(&index[0], 2), s.components.size());
  std::vector<std::uint8_t> codes;
  int below = 0, above = 0;  // multi-search pages before and after the pages they name
  for (std::size_t i = 0; i < s.components.size(); ++i) {
    const std::uint8_t* e = &index[16 + 16 * i];
    const Component& c = s.components[i];
    codes.push_back(e[0]);
    EXPECT_EQ(e[0], c.code);
    EXPECT_EQ(get_be(e + 2, 4), c.start_page);
    EXPECT_EQ(get_be(e + 6, 4), c.page_count);
    EXPECT_EQ(e[10], c.attribute);
    if (c.code == 0xFF) (c.range_start < c.start_page ? below : above)++;
  }
  for (std::uint8_t code : {0x00, 0x01, 0x02, 0x03, 0x0C, 0x30, 0x80, 0x81, 0xF1, 0xF2, 0xD2, 0xD8})
    EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << int(code);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 0xFF), 3);
  EXPECT_GT(below, 0);
  EXPECT_GT(above, 0);
}

TEST_F(SampleBook, ReferencesMatchTheirEscapesAndStraddlePages) {
  const GeneratedSubbook& s = main_subbook();
  auto byte_at = [&](std::uint32_t page, std::size_t offset) {
    const std::size_t at = (page - 1) * PAGE_BYTES + offset;
    return s.text.pages[at / PAGE_BYTES][at % PAGE_BYTES];
  };
  auto bcd_at = [&](const Reference& r, std::size_t from) {
    std::uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = byte_at(r.text_page, r.offset + from + i);
    return bcd_to_int(b);
  };
  int straddling = 0;
  bool graphic_at_chunk_end_then_sound = false;
  for (const Reference& r : s.references) {
    EXPECT_EQ(r.offset % 2, 0u);
    ASSERT_EQ(byte_at(r.text_page, r.offset), 0x1F);
    ASSERT_EQ(byte_at(r.text_page, r.offset + 1), r.graphic ? 0x4D : 0x4A);
    EXPECT_EQ(bcd_at(r, r.graphic ? 14 : 6), r.pages[0]);
    if (!r.graphic) {
      EXPECT_EQ(bcd_at(r, 12), r.pages[1]);
    }
    if (r.offset + (r.graphic ? 14 : 6) >= PAGE_BYTES) ++straddling;
    if (r.graphic && r.offset == PAGE_BYTES - 20 && (r.text_page - s.body_start) % 16 == 15)
      graphic_at_chunk_end_then_sound = byte_at(r.text_page + 1, 0) == 0x1F && byte_at(r.text_page + 1, 1) == 0x4A;
  }
  EXPECT_GT(s.references.size(), 30u);
  EXPECT_GE(straddling, 3);
  EXPECT_TRUE(graphic_at_chunk_end_then_sound);
}

TEST(TestBook, EbLayoutBookHasStartFilesAndFortyByteEntries) {
  ScratchDir dir;
  BookSpec recipe;
  recipe.layout = Layout::EB;
  recipe.subbooks.resize(2);
  recipe.subbooks[0].dir_name = "JITEN";
  recipe.subbooks[1].dir_name = "FUROKU";
  recipe.subbooks[1].body_pages = 20;
  const GeneratedBook book = write_book(dir.path(), recipe);
  ASSERT_TRUE(book.ok()) << book.error;
  const std::vector<std::uint8_t> cat = read_file_bytes(book.catalog);
  EXPECT_EQ(book.catalog.filename(), "CATALOG");
  EXPECT_EQ(get_be(&cat[0], 2), 2u);
  EXPECT_EQ(cat[3], 0);
  EXPECT_EQ(copy_trimmed(&cat[16 + 32], 8), "JITEN");
  EXPECT_EQ(copy_trimmed(&cat[16 + 40 + 32], 8), "FUROKU");
  for (const auto& s : book.subbooks) {
    EXPECT_EQ(s.text.path, dir.path() / s.dir_name / "START");
    EXPECT_EQ(s.text.kind, 0);
    expect_pages(s.text);
  }
}

TEST(TestBook, SameRecipeGivesSameBytesAndTheSeedChangesThem) {
  ScratchDir a, b, c;
  const GeneratedBook one = write_book(a.path(), eb_library_book_spec(2, 3));
  const GeneratedBook two = write_book(b.path(), eb_library_book_spec(2, 3));
  const GeneratedBook other = write_book(c.path(), eb_library_book_spec(2, 4));
  ASSERT_TRUE(one.ok() && two.ok() && other.ok());
  EXPECT_EQ(read_file_bytes(one.subbooks[0].text.path), read_file_bytes(two.subbooks[0].text.path));
  EXPECT_EQ(read_file_bytes(one.subbooks[0].sound->path), read_file_bytes(two.subbooks[0].sound->path));
  EXPECT_NE(read_file_bytes(one.subbooks[0].text.path), read_file_bytes(other.subbooks[0].text.path));
}

TEST(TestBook, RefusesBadDirectoryNames) {
  ScratchDir dir;
  BookSpec recipe;
  recipe.subbooks[0].dir_name = "TOOLONGNAME";
  EXPECT_FALSE(write_book(dir.path(), recipe).ok());
}

}  // namespace
}  // namespace tolvex::testbook
