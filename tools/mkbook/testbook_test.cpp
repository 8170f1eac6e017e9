#include "testbook.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "bookfile/book_file.h"
#include "bookfile/multi_search.h"
#include "source/bytes.h"

namespace tolvex::testbook {
namespace {

namespace fs = std::filesystem;

using TempDir = testing_support::ScratchDir;

std::vector<std::uint8_t> slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every page of the file, read through read_block (first page named, the
// others continued with page 0, as the data file writer reads), equals the
// page the generator meant.
void expect_pages(const SourceFile& file) {
  SCOPED_TRACE(file.path.string());
  BookFilePtr book = open_book_file(file.path.string(), file.kind);
  ASSERT_TRUE(book);
  Page got{};
  for (std::size_t p = 0; p < file.pages.size(); ++p) {
    const auto page = p == 0 ? 1u : 0u;
    ASSERT_NE(read_block(got.data(), book.get(), page), nullptr) << "page " << p + 1;
    ASSERT_EQ(got, file.pages[p]) << "page " << p + 1;
  }
}

GeneratedBook make(const fs::path& dir, const BookSpec& recipe) {
  GeneratedBook book = write_book(dir, recipe);
  EXPECT_TRUE(book.ok()) << book.error;
  return book;
}

TEST(TestBook, EveryFileReadsBackAsIntendedForAllKinds) {
  for (int kind : {0, 1, 2}) {
    SCOPED_TRACE(kind);
    TempDir dir;
    BookSpec recipe = eb_library_book_spec(kind, 5);
    recipe.subbooks[0].body_pages = 70;
    const GeneratedBook book = make(dir.path(), recipe);
    ASSERT_TRUE(book.ok());
    const GeneratedSubbook& s = book.subbooks[0];
    EXPECT_EQ(s.text.kind, kind);
    ASSERT_TRUE(s.graphic && s.sound);
    EXPECT_EQ(s.sound->kind, kind == 1 ? 2 : 1);
    expect_pages(s.text);
    expect_pages(*s.graphic);
    expect_pages(*s.sound);
  }
}

TEST(TestBook, ReaderOnlyBooksReadBackToo) {
  TempDir dir;
  BookSpec recipe = eb_library_book_spec(1, 9);
  recipe.huffman.allow_zero_weights = true;
  recipe.huffman.end_symbol_after_full_page = false;
  const GeneratedBook book = make(dir.path(), recipe);
  ASSERT_TRUE(book.ok());
  expect_pages(book.subbooks[0].text);
  expect_pages(*book.subbooks[0].sound);
}

TEST(TestBook, SampleBookHasRawPagesFontsAndAllSubbookKinds) {
  TempDir dir;
  const GeneratedBook book = make(dir.path(), sample_book_spec());
  ASSERT_TRUE(book.ok());
  ASSERT_EQ(book.subbooks.size(), 3u);
  const GeneratedSubbook& main = book.subbooks[0];
  EXPECT_EQ(main.text.kind, 2);
  EXPECT_GE(main.text.pages.size(), 300u);
  EXPECT_NE(std::count(main.text.raw_pages.begin(), main.text.raw_pages.end(), true), 0)
      << "the page of 0..255 repeated and the unknown component do not compress";
  ASSERT_EQ(main.font_files.size(), 2u);
  for (const auto& f : main.font_files) EXPECT_EQ(fs::file_size(f), 4096u);
  expect_pages(main.text);
  expect_pages(*main.sound);

  const GeneratedSubbook& v1 = book.subbooks[1];
  EXPECT_EQ(v1.entry_version, 1);
  EXPECT_EQ(v1.text.path.filename(), "HONMON");
  EXPECT_EQ(v1.text.kind, 0);
  EXPECT_FALSE(v1.graphic);
  expect_pages(v1.text);

  EXPECT_TRUE(book.subbooks[2].stream_book);
  EXPECT_TRUE(book.subbooks[2].text.pages.empty());
}

TEST(TestBook, EpwingCatalogHoldsEntriesAndSecondTable) {
  TempDir dir;
  const GeneratedBook book = make(dir.path(), sample_book_spec());
  ASSERT_TRUE(book.ok());
  const std::vector<std::uint8_t> cat = slurp(book.catalog);
  ASSERT_EQ(cat, book.catalog_bytes);
  EXPECT_EQ(book.catalog.filename(), "CATALOGS");
  EXPECT_EQ(cat.size(), 2048u);
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

TEST(TestBook, EbLayoutBookHasStartFileAndFortyByteEntries) {
  TempDir dir;
  BookSpec recipe;
  recipe.layout = Layout::EB;
  recipe.subbooks.resize(2);
  recipe.subbooks[0].dir_name = "JITEN";
  recipe.subbooks[1].dir_name = "FUROKU";
  recipe.subbooks[1].body_pages = 20;
  const GeneratedBook book = make(dir.path(), recipe);
  ASSERT_TRUE(book.ok());
  const std::vector<std::uint8_t> cat = slurp(book.catalog);
  EXPECT_EQ(book.catalog.filename(), "CATALOG");
  EXPECT_EQ(get_be(&cat[0], 2), 2u);
  EXPECT_EQ(cat[3], 0);
  EXPECT_EQ(copy_trimmed(&cat[16 + 32], 8), "JITEN");
  EXPECT_EQ(copy_trimmed(&cat[16 + 40 + 32], 8), "FUROKU");
  for (const auto& s : book.subbooks) {
    EXPECT_EQ(s.text.path, dir.path() / s.dir_name / "START");
    EXPECT_EQ(s.text.kind, 0);
    EXPECT_TRUE(s.font_files.empty());
    expect_pages(s.text);
  }
}

TEST(TestBook, IndexPageListsEveryKindOfComponent) {
  TempDir dir;
  const GeneratedBook book = make(dir.path(), sample_book_spec());
  ASSERT_TRUE(book.ok());
  const GeneratedSubbook& s = book.subbooks[0];
  const Page& index = s.text.pages[0];
  ASSERT_EQ(get_be(&index[0], 2), s.components.size());
  std::vector<std::uint8_t> codes;
  for (std::size_t i = 0; i < s.components.size(); ++i) {
    const std::uint8_t* e = &index[16 + 16 * i];
    const Component& c = s.components[i];
    codes.push_back(e[0]);
    EXPECT_EQ(e[0], c.code);
    EXPECT_EQ(get_be(e + 2, 4), c.start_page);
    EXPECT_EQ(get_be(e + 6, 4), c.page_count);
    EXPECT_EQ(e[10], c.attribute);
  }
  for (std::uint8_t code : {0x00, 0x01, 0x02, 0x03, 0x0C, 0x30, 0x80, 0x81, 0xF1, 0xF2, 0xD2, 0xD8})
    EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << int(code);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 0xFF), 3);

  // Components of the text file do not overlap and stay inside the file.
  std::vector<int> owner(s.text.pages.size() + 1, 0);
  for (const Component& c : s.components) {
    if (c.file != FileRole::Text) {
      EXPECT_EQ(component_pages(s, c).size(), c.page_count);
      continue;
    }
    for (std::uint32_t p = c.start_page; p < c.start_page + c.page_count; ++p) {
      ASSERT_LE(p, s.text.pages.size());
      EXPECT_EQ(owner[p]++, 0) << "page " << p;
    }
  }
}

TEST(TestBook, MultiSearchRangesSpreadOverTheText) {
  TempDir dir;
  const GeneratedBook book = make(dir.path(), sample_book_spec(4));
  ASSERT_TRUE(book.ok());
  const GeneratedSubbook& s = book.subbooks[0];
  BookFilePtr text = open_book_file(s.text.path.string(), s.text.kind);
  ASSERT_TRUE(text);
  int below = 0, above = 0;
  for (const Component& c : s.components) {
    if (c.code != 0xFF) continue;
    std::uint32_t start = c.start_page;
    EXPECT_EQ(multi_search_page_range(text.get(), start), static_cast<std::int32_t>(c.range_count));
    EXPECT_EQ(start, c.range_start);
    EXPECT_GE(c.range_count, 2u);
    (c.range_start < c.start_page ? below : above)++;
  }
  EXPECT_GT(below, 0) << "a multi-search page after the pages it names";
  EXPECT_GT(above, 0) << "a multi-search page before the pages it names";
}

// Bytes of the text file from page/offset on, across page ends.
std::vector<std::uint8_t> text_bytes(const GeneratedSubbook& s, std::uint32_t page, std::uint32_t offset,
                                     std::size_t n) {
  std::vector<std::uint8_t> out;
  std::size_t at = (page - 1) * PAGE_BYTES + offset;
  for (std::size_t i = 0; i < n; ++i, ++at) out.push_back(s.text.pages[at / PAGE_BYTES][at % PAGE_BYTES]);
  return out;
}

TEST(TestBook, ReferencesPointIntoTheirComponentsAndStraddleChunks) {
  TempDir dir;
  const GeneratedBook book = make(dir.path(), sample_book_spec());
  ASSERT_TRUE(book.ok());
  const GeneratedSubbook& s = book.subbooks[0];
  const Component* graphic = nullptr;
  const Component* sound = nullptr;
  for (const Component& c : s.components) {
    if (c.code == 0xD2) graphic = &c;
    if (c.code == 0xD8) sound = &c;
  }
  ASSERT_TRUE(graphic && sound);
  int graphics = 0, sounds = 0, straddling = 0;
  bool graphic_at_chunk_end_then_sound = false;
  for (const Reference& r : s.references) {
    EXPECT_EQ(r.offset % 2, 0u);
    const std::vector<std::uint8_t> b = text_bytes(s, r.text_page, r.offset, 20);
    ASSERT_EQ(b[0], 0x1F);
    if (r.graphic) {
      ++graphics;
      ASSERT_EQ(b[1], 0x4D);
      EXPECT_EQ(bcd_to_int(&b[14]), r.pages[0]);
      EXPECT_GE(r.pages[0], graphic->start_page);
      EXPECT_LT(r.pages[0], graphic->start_page + graphic->page_count);
      if (r.offset + 14 >= PAGE_BYTES) ++straddling;
      const std::uint32_t body_page = r.text_page - s.body_start;
      if (r.offset == PAGE_BYTES - 20 && body_page % 16 == 15) {
        const std::vector<std::uint8_t> next = text_bytes(s, r.text_page + 1, 0, 2);
        graphic_at_chunk_end_then_sound = next[0] == 0x1F && next[1] == 0x4A;
      }
    } else {
      ++sounds;
      ASSERT_EQ(b[1], 0x4A);
      EXPECT_EQ(bcd_to_int(&b[6]), r.pages[0]);
      EXPECT_EQ(bcd_to_int(&b[12]), r.pages[1]);
      EXPECT_GE(r.pages[0], sound->start_page);
      EXPECT_LE(r.pages[0], r.pages[1]);
      EXPECT_LT(r.pages[1], sound->start_page + sound->page_count);
      if (r.offset + 6 >= PAGE_BYTES) ++straddling;
    }
  }
  EXPECT_GT(graphics, 20);
  EXPECT_GT(sounds, 10);
  EXPECT_GE(straddling, 3);
  EXPECT_TRUE(graphic_at_chunk_end_then_sound);

  // The pathological body pages.
  const Page& zeros = s.text.pages[s.body_start - 1 + 7];
  const Page& ramp = s.text.pages[s.body_start - 1 + 8];
  EXPECT_EQ(std::count(zeros.begin(), zeros.end(), 0), static_cast<std::ptrdiff_t>(PAGE_BYTES));
  for (std::size_t i = 0; i < PAGE_BYTES; ++i) ASSERT_EQ(ramp[i], i % 256);
}

TEST(TestBook, SameSpecGivesSameBytesAndSeedChangesThem) {
  TempDir a, b, c;
  const GeneratedBook one = make(a.path(), eb_library_book_spec(2, 3));
  const GeneratedBook two = make(b.path(), eb_library_book_spec(2, 3));
  const GeneratedBook other = make(c.path(), eb_library_book_spec(2, 4));
  ASSERT_TRUE(one.ok() && two.ok() && other.ok());
  EXPECT_EQ(slurp(one.subbooks[0].text.path), slurp(two.subbooks[0].text.path));
  EXPECT_EQ(slurp(one.subbooks[0].sound->path), slurp(two.subbooks[0].sound->path));
  EXPECT_NE(slurp(one.subbooks[0].text.path), slurp(other.subbooks[0].text.path));
}

TEST(TestBook, TextRepeatsItselfLikeADictionary) {
  // Realistic redundancy: kind 2 keeps the body far below its plain size.
  TempDir dir;
  BookSpec recipe = eb_library_book_spec(2, 1);
  recipe.subbooks[0].body_pages = 120;
  const GeneratedBook book = make(dir.path(), recipe);
  ASSERT_TRUE(book.ok());
  const auto plain = book.subbooks[0].text.pages.size() * PAGE_BYTES;
  EXPECT_LT(fs::file_size(book.subbooks[0].text.path), plain * 7 / 10);
}

TEST(TestBook, RefusesBadDirectoryNames) {
  TempDir dir;
  BookSpec recipe;
  recipe.subbooks[0].dir_name = "TOOLONGNAME";
  EXPECT_FALSE(write_book(dir.path(), recipe).ok());
}

}  // namespace
}  // namespace tolvex::testbook
