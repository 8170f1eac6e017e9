// The EB library reads the books the generator writes, and every page it
// returns equals the page read_block returns (and the page the generator
// meant). The library is stricter than our reader, so these books keep every
// weight above zero and end every kind-1 page with the end-of-page symbol.
#include <gtest/gtest.h>

#include "ebzip_tool.h"
#include "scratch_dir.h"

#include <string>
#include <vector>

#include "bookfile/book_file.h"
#include "testbook.h"

#ifdef TOLVEX_HAVE_EB_LIBRARY
#include <eb/binary.h>
#include <eb/eb.h>
#include <eb/error.h>
#include <eb/text.h>
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
  void bind(const GeneratedBook& generated) {
    const EB_Error_Code bound = eb_bind(&book, generated.root.string().c_str());
    ASSERT_EQ(bound, EB_SUCCESS) << eb_error_message(bound);
    EB_Subbook_Code list[EB_MAX_SUBBOOKS];
    int count = 0;
    ASSERT_EQ(eb_subbook_list(&book, list, &count), EB_SUCCESS);
    ASSERT_EQ(count, 1);
    const EB_Error_Code set = eb_set_subbook(&book, list[0]);
    ASSERT_EQ(set, EB_SUCCESS) << eb_error_message(set);
  }
};

// Every text page through the EB library and through read_block.
void expect_text_pages_agree(EB_Book* eb, const SourceFile& text) {
  BookFilePtr ours = open_book_file(text.path.string(), text.kind);
  ASSERT_TRUE(ours);
  std::vector<char> theirs(PAGE_BYTES);
  Page page{};
  for (std::size_t p = 1; p <= text.pages.size(); ++p) {
    EB_Position position{};
    position.page = static_cast<int>(p);
    ASSERT_EQ(eb_seek_text(eb, &position), EB_SUCCESS) << "page " << p;
    ssize_t length = 0;
    const EB_Error_Code read = eb_read_rawtext(eb, PAGE_BYTES, theirs.data(), &length);
    ASSERT_EQ(read, EB_SUCCESS) << "page " << p << ": " << eb_error_message(read);
    ASSERT_EQ(length, static_cast<ssize_t>(PAGE_BYTES)) << "page " << p;
    ASSERT_NE(read_block(page.data(), ours.get(), static_cast<std::uint32_t>(p)), nullptr) << "page " << p;
    ASSERT_TRUE(std::equal(page.begin(), page.end(), reinterpret_cast<const std::uint8_t*>(theirs.data())))
        << "the EB library and read_block differ on page " << p;
    ASSERT_EQ(page, text.pages[p - 1]) << "page " << p;
  }
}

// The separate sound file through the EB library's sound reader: a 44-byte
// wave header, then the bytes from the start position to the end position.
void expect_sound_agrees(EB_Book* eb, const SourceFile& sound) {
  const int pages = static_cast<int>(sound.pages.size());
  EB_Position start{};
  start.page = 1;
  EB_Position end{};
  end.page = pages;
  ASSERT_EQ(eb_set_binary_wave(eb, &start, &end), EB_SUCCESS);
  std::vector<std::uint8_t> got;
  std::vector<char> buffer(4096);
  ssize_t length = 0;
  while (eb_read_binary(eb, buffer.size(), buffer.data(), &length) == EB_SUCCESS && length > 0)
    got.insert(got.end(), buffer.begin(), buffer.begin() + length);
  ASSERT_GE(got.size(), 44u + static_cast<std::size_t>(pages - 1) * PAGE_BYTES);
  for (std::size_t at = 0; at + 44 < got.size(); ++at)
    ASSERT_EQ(got[at + 44], sound.pages[at / PAGE_BYTES][at % PAGE_BYTES]) << "sound byte " << at;
}

// Plain, kind-1 and kind-2 text (with raw pages), each with a sound file of
// the other compressed kind, the catalog fields and the multi-search pages.
TEST_F(EbLibrary, ReadsEveryKindLikeReadBlock) {
  for (int kind : {0, 1, 2}) {
    SCOPED_TRACE(testing::Message() << "text kind " << kind);
    testing_support::ScratchDir dir;
    const GeneratedBook book = write_book(dir.path(), eb_library_book_recipe(kind, 21 + kind));
    ASSERT_TRUE(book.ok()) << book.error;
    const GeneratedSubbook& s = book.subbooks[0];
    ASSERT_EQ(s.text.kind, kind);
    if (kind == 2) {
      ASSERT_NE(std::count(s.text.raw_pages.begin(), s.text.raw_pages.end(), true), 0);
    }
    ASSERT_TRUE(s.sound);
    ASSERT_EQ(s.sound->kind, kind == 1 ? 2 : 1);

    Bound eb;
    ASSERT_NO_FATAL_FAILURE(eb.bind(book));
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
    expect_text_pages_agree(&eb.book, s.text);
    expect_sound_agrees(&eb.book, *s.sound);
  }
}

// The same books kept compressed with ebzip: ebzip stores the decoded pages
// whatever kind the catalog names, and the EB library and read_block (finding
// name.ebz) read the same pages.
TEST_F(EbLibrary, ReadsEbzipdBooksLikeReadBlock) {
  TOLVEX_REQUIRE_EBZIP();
  for (int kind : {0, 1, 2}) {
    for (int level : {0, 5}) {
      SCOPED_TRACE(testing::Message() << "text kind " << kind << ", level " << level);
      testing_support::ScratchDir dir;
      GeneratedBook book = write_book(dir.path() / "plain", eb_library_book_recipe(kind, 21 + kind));
      ASSERT_TRUE(book.ok()) << book.error;
      ASSERT_TRUE(testing_support::ebzip_book(book.root, dir.path() / "ebz", level));
      GeneratedSubbook& s = book.subbooks[0];
      for (SourceFile* f : {&s.text, &*s.sound}) {
        f->path = dir.path() / "ebz" / std::filesystem::relative(f->path, book.root);
        ASSERT_TRUE(std::filesystem::exists(f->path.string() + ".ebz"));
      }
      book.root = dir.path() / "ebz";
      Bound eb;
      ASSERT_NO_FATAL_FAILURE(eb.bind(book));
      expect_text_pages_agree(&eb.book, s.text);
      expect_sound_agrees(&eb.book, *s.sound);
    }
  }
}

#else

TEST(EbLibrary, Skipped) { GTEST_SKIP() << "SKIPPED: libeb16-dev not installed"; }

#endif

}  // namespace
}  // namespace tolvex::testbook
