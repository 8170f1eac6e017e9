// The EB library, an independent reader of the source format, reads every
// page of every component the index page names (text, and separate graphic
// and sound files) as read_block reads it from the files our catalog reader
// finds; for generated books both are the pages the generator meant. The
// library is stricter than our reader, so these books keep every weight above
// zero and end every kind-1 page with the end-of-page symbol. With
// TOLVEX_REALBOOK_DIR (tests/realbook/build-book.sh) the FreePWING book's
// variants, and the books named in TOLVEX_EB_BOOKS, are read too. What the
// packages hold is then the checker's to show (tolvex-check --book).
#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bookfile/book_file.h"
#include "catalog/bytes.h"
#include "catalog/subbook_source.h"
#include "testbook.h"

#ifdef TOLVEX_HAVE_EB_LIBRARY
#include <eb/binary.h>
#include <eb/eb.h>
#include <eb/error.h>
#include <eb/text.h>
#include <eb/zio.h>
#endif

namespace tolvex::testbook {
namespace {

#ifdef TOLVEX_HAVE_EB_LIBRARY

class EbLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(eb_initialize_library(), EB_SUCCESS); }
  static void TearDownTestSuite() { eb_finalize_library(); }
};

// A book bound by the EB library, its only subbook selected.
struct Bound {
  EB_Book book;
  Bound() { eb_initialize_book(&book); }
  ~Bound() { eb_finalize_book(&book); }
  void bind(const std::filesystem::path& root) {
    const EB_Error_Code bound = eb_bind(&book, root.string().c_str());
    ASSERT_EQ(bound, EB_SUCCESS) << eb_error_message(bound);
    EB_Subbook_Code list[EB_MAX_SUBBOOKS];
    int count = 0;
    ASSERT_EQ(eb_subbook_list(&book, list, &count), EB_SUCCESS);
    ASSERT_EQ(count, 1);
    const EB_Error_Code set = eb_set_subbook(&book, list[0]);
    ASSERT_EQ(set, EB_SUCCESS) << eb_error_message(set);
  }
};

// Page p (from 1) of the text, or of the separate graphic or sound file.
bool library_page(EB_Book* eb, Zio* file, std::uint32_t p, std::uint8_t* out) {
  EB_Position position{};
  position.page = static_cast<int>(p);
  if (file ? zio_lseek(file, static_cast<off_t>(p - 1) * PAGE_BYTES, SEEK_SET) < 0
           : eb_seek_text(eb, &position) != EB_SUCCESS)
    return false;
  for (ssize_t got = 0, length = 0; got < static_cast<ssize_t>(PAGE_BYTES); got += length) {
    char* to = reinterpret_cast<char*>(out + got);
    if (file
            ? (length = zio_read(file, to, PAGE_BYTES - static_cast<std::size_t>(got))) <= 0
            : eb_read_rawtext(eb, PAGE_BYTES - static_cast<std::size_t>(got), to, &length) != EB_SUCCESS || length <= 0)
      return false;
  }
  return true;
}

// The book's catalog, under any of the names discs give it.
std::filesystem::path catalog_in(const std::filesystem::path& root) {
  for (const char* name : {"CATALOGS", "catalogs", "CATALOGS;1", "CATALOG"})
    if (std::filesystem::exists(root / name)) return root / name;
  return {};
}

// Every page of every component of the book's first subbook, through the
// library and through read_block; for a generated subbook `s`, also every
// text page against the generator's.
void expect_library_reads_like_read_block(const std::filesystem::path& root, const GeneratedSubbook* s = nullptr) {
  SCOPED_TRACE(root.string());
  Bound eb;
  ASSERT_NO_FATAL_FAILURE(eb.bind(root));
  const std::unique_ptr<CatalogImage> catalog = read_catalog(catalog_in(root).string());
  ASSERT_TRUE(catalog && catalog_entry(*catalog, 0));
  SubbookSource source = name_subbook(*catalog_entry(*catalog, 0));
  ASSERT_TRUE(find_source_files(*catalog, 0, source));
  BookFilePtr text = open_book_file(source.text_path, source.text_kind);
  BookFilePtr graphic = source.graphic_path.empty() ? nullptr : open_book_file(source.graphic_path, 0);
  BookFilePtr sound = source.sound_path.empty() ? nullptr : open_book_file(source.sound_path, source.sound_kind);
  ASSERT_TRUE(text && !graphic == source.graphic_path.empty() && !sound == source.sound_path.empty());
  PageReader reader;
  Page theirs{}, ours{};
  const auto same = [&](Zio* zio, BookFile* file, std::uint32_t p) {
    ASSERT_TRUE(library_page(&eb.book, zio, p, theirs.data())) << "page " << p;
    ASSERT_NE(reader.read_block(ours.data(), file, p), nullptr) << "page " << p;
    ASSERT_EQ(ours, theirs) << "the EB library and read_block differ on page " << p;
  };
  for (std::uint32_t p = 1; s && p <= s->text.pages.size(); ++p) {
    ASSERT_NO_FATAL_FAILURE(same(nullptr, text.get(), p));
    ASSERT_EQ(ours, s->text.pages[p - 1]) << "page " << p;
  }
  ASSERT_TRUE(library_page(&eb.book, nullptr, source.index_page, theirs.data()));
  const Page index = theirs;
  EB_Subbook* sub = eb.book.subbook_current;
  int pages = 0;
  for (std::uint32_t i = 0; i < get_be(index.data(), 2); ++i) {
    const std::uint8_t* e = &index[16 + 16 * i];
    const bool own = (e[0] == 0xD2 && graphic) || (e[0] == 0xD8 && sound);
    Zio* zio = !own ? nullptr : e[0] == 0xD2 ? &sub->graphic_zio : &sub->sound_zio;
    BookFile* file = !own ? text.get() : e[0] == 0xD2 ? graphic.get() : sound.get();
    SCOPED_TRACE(testing::Message() << "entry " << i << ", code " << int{e[0]});
    for (std::uint32_t p = get_be(e + 2, 4); p < get_be(e + 2, 4) + get_be(e + 6, 4); ++p, ++pages)
      ASSERT_NO_FATAL_FAILURE(same(zio, file, p));
  }
  EXPECT_GT(pages, 0);
}

// Plain, kind-1 and kind-2 text (with raw pages), each with separate graphic
// and sound files (the sound of the other compressed kind); the catalog
// fields and the multi-search pages. Then the real book's variants and the
// books run-package.sh names (its ebzip'd copies).
TEST_F(EbLibrary, ReadsEveryBookLikeReadBlock) {
  testing_support::ScratchDir dir;
  for (int kind : {0, 1, 2}) {
    SCOPED_TRACE(testing::Message() << "text kind " << kind);
    GeneratedBook book = write_book(dir.path() / std::to_string(kind), eb_library_book_recipe(kind, 21 + kind));
    ASSERT_TRUE(book.ok()) << book.error;
    GeneratedSubbook& s = book.subbooks[0];
    ASSERT_TRUE(kind != 2 || std::count(s.text.raw_pages.begin(), s.text.raw_pages.end(), true) != 0);
    ASSERT_EQ(s.sound->kind, kind == 1 ? 2 : 1);
    expect_library_reads_like_read_block(book.root, &s);
    Bound eb;
    ASSERT_NO_FATAL_FAILURE(eb.bind(book.root));
    char directory[EB_MAX_DIRECTORY_NAME_LENGTH + 1] = {};
    EXPECT_EQ(eb_subbook_directory(&eb.book, directory), EB_SUCCESS);
    EXPECT_STRCASEEQ(directory, "EBTEST");
    EB_Position menu{};
    EXPECT_EQ(eb_menu(&eb.book, &menu), EB_SUCCESS);
    EB_Multi_Search_Code multis[EB_MAX_MULTI_SEARCHES];
    int count = 0, entries = 0;
    EXPECT_EQ(eb_multi_search_list(&eb.book, multis, &count), EB_SUCCESS);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(eb_multi_entry_count(&eb.book, multis[1], &entries), EB_SUCCESS);
    EXPECT_EQ(entries, 2) << "the second multi-search has two groups";
  }
  const char* real = std::getenv("TOLVEX_REALBOOK_DIR");
  std::vector<std::filesystem::path> books;
  if (real && std::filesystem::exists(std::filesystem::path(real) / "BOOK.OK"))
    for (const char* v : {"epwing", "lower", "iso9660", "v2", "v2-z1", "v2-z2", "eb"})
      books.push_back(std::filesystem::path(real) / v);
  std::istringstream extra(std::getenv("TOLVEX_EB_BOOKS") ? std::getenv("TOLVEX_EB_BOOKS") : "");
  for (std::string path; extra >> path;) books.push_back(path);
  for (const auto& book : books) expect_library_reads_like_read_block(book);
}

#else

// CI installs the library: there a missing one is a failure, not a skip.
TEST(EbLibrary, Skipped) {
  if (std::getenv("CI") != nullptr) FAIL() << "libeb16-dev not installed, and CI must run this test";
  GTEST_SKIP() << "SKIPPED: libeb16-dev not installed";
}

#endif

}  // namespace
}  // namespace tolvex::testbook
