// The EB library reads the books the generator writes, and every page it
// returns equals the page read_block returns (and the page the generator
// meant). The library is stricter than our reader, so these books keep every
// weight above zero and end every kind-1 page with the end-of-page symbol.
#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <atomic>
#include <filesystem>
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

namespace fs = std::filesystem;

#ifdef TOLVEX_HAVE_EB_LIBRARY

using TempDir = testing_support::ScratchDir;

class EbLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(eb_initialize_library(), EB_SUCCESS); }
  static void TearDownTestSuite() { eb_finalize_library(); }

  void SetUp() override { eb_initialize_book(&eb_); }
  void TearDown() override { eb_finalize_book(&eb_); }

  // Binds the book and selects its only subbook.
  void open(const GeneratedBook& book) {
    ASSERT_TRUE(book.ok()) << book.error;
    const EB_Error_Code bound = eb_bind(&eb_, book.root.string().c_str());
    ASSERT_EQ(bound, EB_SUCCESS) << eb_error_message(bound);
    EB_Subbook_Code list[EB_MAX_SUBBOOKS];
    int count = 0;
    ASSERT_EQ(eb_subbook_list(&eb_, list, &count), EB_SUCCESS);
    ASSERT_EQ(count, static_cast<int>(book.subbooks.size()));
    const EB_Error_Code set = eb_set_subbook(&eb_, list[0]);
    ASSERT_EQ(set, EB_SUCCESS) << eb_error_message(set);
  }

  // Every text page through the EB library and through read_block.
  void expect_text_pages_agree(const GeneratedSubbook& s) {
    BookFilePtr ours = open_book_file(s.text.path.string(), s.text.kind);
    ASSERT_TRUE(ours);
    std::vector<char> theirs(PAGE_BYTES);
    Page page{};
    for (std::size_t p = 1; p <= s.text.pages.size(); ++p) {
      EB_Position position{};
      position.page = static_cast<int>(p);
      position.offset = 0;
      ASSERT_EQ(eb_seek_text(&eb_, &position), EB_SUCCESS) << "page " << p;
      ssize_t length = 0;
      const EB_Error_Code read = eb_read_rawtext(&eb_, PAGE_BYTES, theirs.data(), &length);
      ASSERT_EQ(read, EB_SUCCESS) << "page " << p << ": " << eb_error_message(read);
      ASSERT_EQ(length, static_cast<ssize_t>(PAGE_BYTES)) << "page " << p;
      ASSERT_NE(read_block(page.data(), ours.get(), static_cast<std::uint32_t>(p)), nullptr) << "page " << p;
      ASSERT_TRUE(std::equal(page.begin(), page.end(), reinterpret_cast<const std::uint8_t*>(theirs.data())))
          << "the EB library and read_block differ on page " << p;
      ASSERT_EQ(page, s.text.pages[p - 1]) << "page " << p;
    }
  }

  EB_Book eb_{};
};

TEST_F(EbLibrary, ReadsKindOneTextLikeReadBlock) {
  TempDir dir;
  const GeneratedBook book = write_book(dir.path(), eb_library_book_spec(1, 21));
  open(book);
  ASSERT_EQ(book.subbooks[0].text.kind, 1);
  expect_text_pages_agree(book.subbooks[0]);
}

TEST_F(EbLibrary, ReadsKindTwoTextWithRawPagesLikeReadBlock) {
  TempDir dir;
  const GeneratedBook book = write_book(dir.path(), eb_library_book_spec(2, 22));
  open(book);
  const GeneratedSubbook& s = book.subbooks[0];
  ASSERT_EQ(s.text.kind, 2);
  ASSERT_NE(std::count(s.text.raw_pages.begin(), s.text.raw_pages.end(), true), 0);
  expect_text_pages_agree(s);
}

TEST_F(EbLibrary, ReadsPlainTextAndTheCatalogFields) {
  TempDir dir;
  const GeneratedBook book = write_book(dir.path(), eb_library_book_spec(0, 23));
  open(book);
  char directory[EB_MAX_DIRECTORY_NAME_LENGTH + 1] = {};
  ASSERT_EQ(eb_subbook_directory(&eb_, directory), EB_SUCCESS);
  EXPECT_STRCASEEQ(directory, "EBTEST");
  EB_Position menu{};
  EXPECT_EQ(eb_menu(&eb_, &menu), EB_SUCCESS);
  expect_text_pages_agree(book.subbooks[0]);
}

// The separate sound file, compressed with the other kind, through the EB
// library's sound reader: it returns a 44-byte wave header and then the
// bytes from the start position to the end position.
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
  for (std::size_t i = 44; i < got.size(); ++i) {
    const std::size_t at = i - 44;
    ASSERT_EQ(got[i], sound.pages[at / PAGE_BYTES][at % PAGE_BYTES]) << "sound byte " << at;
  }
}

TEST_F(EbLibrary, ReadsSoundFilesOfBothKinds) {
  for (int text_kind : {1, 2}) {
    SCOPED_TRACE(text_kind);
    TempDir dir;
    const GeneratedBook book = write_book(dir.path(), eb_library_book_spec(text_kind, 25));
    eb_finalize_book(&eb_);
    eb_initialize_book(&eb_);
    open(book);
    ASSERT_TRUE(book.subbooks[0].sound);
    EXPECT_EQ(book.subbooks[0].sound->kind, text_kind == 1 ? 2 : 1);
    expect_sound_agrees(&eb_, *book.subbooks[0].sound);
  }
}

TEST_F(EbLibrary, ReadsTheMultiSearchPages) {
  TempDir dir;
  const GeneratedBook book = write_book(dir.path(), eb_library_book_spec(2, 24));
  open(book);
  EB_Multi_Search_Code multis[EB_MAX_MULTI_SEARCHES];
  int count = 0;
  ASSERT_EQ(eb_multi_search_list(&eb_, multis, &count), EB_SUCCESS);
  EXPECT_EQ(count, 3);
  int entries = 0;
  ASSERT_EQ(eb_multi_entry_count(&eb_, multis[1], &entries), EB_SUCCESS);
  EXPECT_EQ(entries, 2) << "the second multi-search has two groups";
}

#else

TEST(EbLibrary, Skipped) { GTEST_SKIP() << "SKIPPED: libeb16-dev not installed"; }

#endif

}  // namespace
}  // namespace tolvex::testbook
