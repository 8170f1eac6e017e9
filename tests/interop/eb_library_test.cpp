// The EB library reads the books the generator writes, and every page it
// returns equals the page read_block returns (and the page the generator
// meant). The library is stricter than our reader, so these books keep every
// weight above zero and end every kind-1 page with the end-of-page symbol.
// And every package tolvex writes holds the pages the library reads from the
// book, for generated books and (when TOLVEX_REALBOOK_DIR holds one built by
// tests/realbook/build-book.sh) every variant of the FreePWING book.
#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "bookfile/book_file.h"
#include "catalog/bytes.h"
#include "components/data_file_reader.h"
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

// Binds the book, then reads every text page through the EB library and
// through read_block. (The separate sound file's pages are the library's in
// every package: PackagesHoldTheLibrarysPages.)
void expect_library_reads_like_read_block(Bound& eb, const std::filesystem::path& root, const GeneratedSubbook& s) {
  ASSERT_NO_FATAL_FAILURE(eb.bind(root));
  BookFilePtr ours = open_book_file(s.text.path.string(), s.text.kind);
  ASSERT_TRUE(ours);
  Page theirs{}, page{};
  PageReader reader;
  for (std::uint32_t p = 1; p <= s.text.pages.size(); ++p) {
    ASSERT_TRUE(library_page(&eb.book, nullptr, p, theirs.data())) << "page " << p;
    ASSERT_NE(reader.read_block(page.data(), ours.get(), p), nullptr) << "page " << p;
    ASSERT_EQ(page, theirs) << "the EB library and read_block differ on page " << p;
    ASSERT_EQ(page, s.text.pages[p - 1]) << "page " << p;
  }
}

// Plain, kind-1 and kind-2 text (with raw pages), each with a sound file of
// the other compressed kind, the catalog fields and the multi-search pages.
// (Books kept with ebzip: tests/e2e/ebzip_test gives them the plain book's
// package, and the real book's ebzip'd copies come to PackagesHoldTheLibrarysPages.)
TEST_F(EbLibrary, ReadsEveryKindLikeReadBlock) {
  for (int kind : {0, 1, 2}) {
    SCOPED_TRACE(testing::Message() << "text kind " << kind);
    testing_support::ScratchDir dir;
    GeneratedBook book = write_book(dir.path() / "plain", eb_library_book_recipe(kind, 21 + kind));
    ASSERT_TRUE(book.ok()) << book.error;
    GeneratedSubbook& s = book.subbooks[0];
    ASSERT_EQ(s.text.kind, kind);
    ASSERT_TRUE(kind != 2 || std::count(s.text.raw_pages.begin(), s.text.raw_pages.end(), true) != 0);
    ASSERT_EQ(s.sound->kind, kind == 1 ? 2 : 1);
    Bound eb;
    expect_library_reads_like_read_block(eb, book.root, s);
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
}

// BCD page numbers decoded here, not with the converter's own decoder.
std::uint32_t bcd(const std::uint8_t* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = v * 100 + (p[i] >> 4) * 10 + (p[i] & 15);
  return v;
}

// Converts the book with tolvex -a, then checks every data file the index
// file lists: its page range is the component's in the merged numbering
// (separate graphic and sound files behind the text's pages, graphics first)
// and its pages (decoded, or raw) are the library's. In the body text of a
// book with separate files the BCD page numbers of graphic (1F 4D, bytes
// 14-17) and sound (1F 4A, bytes 6-9 and 12-15) references have moved by
// exactly that shift; every other byte is the library's.
void expect_package_holds_library_pages(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  SCOPED_TRACE(root.string());
  fs::path catalog;
  for (const char* name : {"CATALOGS", "catalogs", "CATALOGS;1", "CATALOG"})
    if (catalog.empty() && fs::exists(root / name)) catalog = root / name;
  const char* bin = std::getenv("TOLVEX_BIN_DIR");
  ASSERT_TRUE(bin && !catalog.empty());
  testing_support::ScratchDir out;
  const std::string run = "cd '" + out.path().string() + "' && '" + bin + "/src/tolvex' -a '" + catalog.string() +
      "' > convert.out 2>&1";
  ASSERT_EQ(std::system(run.c_str()), 0) << testing_support::read_file_text(out.path() / "convert.out");

  Bound eb;
  ASSERT_NO_FATAL_FAILURE(eb.bind(root));
  EB_Disc_Code disc{};
  ASSERT_EQ(eb_disc_type(&eb.book, &disc), EB_SUCCESS);
  EB_Subbook* sub = eb.book.subbook_current;
  Zio* own[2] = {nullptr, nullptr};  // graphic and sound files apart from the text
  if (disc != EB_DISC_EB && std::strcmp(sub->graphic_file_name, sub->text_file_name) != 0) own[0] = &sub->graphic_zio;
  if (disc != EB_DISC_EB && std::strcmp(sub->sound_file_name, sub->text_file_name) != 0) own[1] = &sub->sound_zio;
  Page index{};
  ASSERT_TRUE(library_page(&eb.book, nullptr, 1, index.data()));
  struct Entry {
    std::uint8_t code;
    std::uint32_t start, count, merged;
    Zio* file;
  };
  std::vector<Entry> entries;
  std::uint32_t end = 0, moved = 0;
  for (std::uint32_t i = 0; i < get_be(index.data(), 2); ++i) {
    const std::uint8_t* e = &index[16 + 16 * i];
    Zio* file = e[0] == 0xD2 ? own[0] : e[0] == 0xD8 ? own[1] : nullptr;
    entries.push_back({e[0], get_be(e + 2, 4), get_be(e + 6, 4), get_be(e + 2, 4), file});
    if (!file) end = std::max(end, get_be(e + 2, 4) + get_be(e + 6, 4));
  }
  std::int32_t shift[2] = {0, 0};
  for (std::uint8_t code : {0xD2, 0xD8})
    for (Entry& e : entries)
      if (e.file && e.code == code) {
        e.merged = end + moved;
        moved += e.count;
        shift[code == 0xD8] = static_cast<std::int32_t>(e.merged - e.start);
      }

  fs::path dic;
  for (const auto& d : fs::directory_iterator(out.path() / "Dic"))
    if (d.is_directory()) dic = d.path();
  const std::vector<std::uint8_t> idx = testing_support::read_file_bytes(dic / (dic.filename().string() + ".IDX"));
  ASSERT_GE(idx.size(), 128u + 48u * idx[77]);
  int files = 0;
  for (unsigned k = 0; k < idx[77]; ++k) {
    const std::uint8_t* r = &idx[128 + 48 * k];
    const std::string name(reinterpret_cast<const char*>(r + 17), std::min<std::size_t>(r[16], 31));
    const std::uint32_t first = get_be(r + 4, 4), last = get_be(r + 8, 4);
    if ((r[3] == 0xF1 || r[3] == 0xF2) && first == 0 && last == 0) continue;  // a font copy
    SCOPED_TRACE(name);
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const Entry& e) { return e.code == r[3] && e.merged == first; });
    ASSERT_NE(entry, entries.end()) << "no component of code " << int{r[3]} << " starts at page " << first;
    ASSERT_EQ(last, first + entry->count - 1);
    std::vector<std::uint8_t> got = testing_support::read_file_bytes(dic / name);
    if (got.size() >= 8 && std::memcmp(got.data(), "VORQDATA", 8) == 0) {
      DataFile data;
      std::string error;
      ASSERT_TRUE(parse_data_file(got, data, error)) << error;
      ASSERT_TRUE(data.code == r[3] && data.first_page == first && data.last_page == last);
      got = std::move(data.pages);
    }
    ASSERT_EQ(got.size(), entry->count * PAGE_BYTES);
    std::vector<std::uint8_t> theirs(got.size());
    for (std::uint32_t p = 0; p < entry->count; ++p)
      ASSERT_TRUE(library_page(&eb.book, entry->file, entry->start + p, &theirs[p * PAGE_BYTES])) << "page " << p;
    std::vector<bool> reference(theirs.size());
    int references = 0;
    for (std::size_t at = 0; r[3] == 0x00 && (own[0] || own[1]) && at + 1 < theirs.size(); at += 2) {
      const bool graphic = theirs[at] == 0x1F && theirs[at + 1] == 0x4D;
      if (!graphic && !(theirs[at] == 0x1F && theirs[at + 1] == 0x4A)) continue;
      ++references;
      for (std::size_t field :
           graphic ? std::vector<std::size_t>{at + 14} : std::vector<std::size_t>{at + 6, at + 12}) {
        if (field + 4 > theirs.size()) continue;  // runs past the component: left alone
        std::fill_n(reference.begin() + static_cast<long>(field), 4, true);
        ASSERT_EQ(std::int64_t{bcd(&got[field])} - bcd(&theirs[field]), shift[graphic ? 0 : 1]) << "at byte " << field;
      }
      at += graphic ? 18 : 16;
    }
    EXPECT_TRUE(r[3] != 0x00 || (!own[0] && !own[1]) || references > 0) << "no reference to check the relocation with";
    for (std::size_t i = 0; i < got.size(); ++i)
      ASSERT_TRUE(reference[i] || got[i] == theirs[i])
          << "page " << first + i / PAGE_BYTES << ", byte " << i % PAGE_BYTES;
    ++files;
  }
  EXPECT_GT(files, 0);
}

// Generated books with separate graphic and sound files of every kind, and
// the real book's variants and their ebzip'd copies (named in TOLVEX_EB_BOOKS,
// as run-package.sh does).
TEST_F(EbLibrary, PackagesHoldTheLibrarysPages) {
  testing_support::ScratchDir dir;
  std::vector<std::filesystem::path> books;
  for (int kind : {0, 1, 2}) {
    BookRecipe recipe = eb_library_book_recipe(kind, 31 + kind);
    recipe.subbooks[0].multi_searches = 0;  // their records cover the pages their entries name
    const GeneratedBook book = write_book(dir.path() / std::to_string(kind), recipe);
    ASSERT_TRUE(book.ok()) << book.error;
    books.push_back(book.root);
  }
  const char* real = std::getenv("TOLVEX_REALBOOK_DIR");
  if (real && std::filesystem::exists(std::filesystem::path(real) / "BOOK.OK"))
    for (const char* v : {"epwing", "lower", "iso9660", "v2", "v2-z1", "v2-z2", "eb"})
      books.push_back(std::filesystem::path(real) / v);
  std::istringstream extra(std::getenv("TOLVEX_EB_BOOKS") ? std::getenv("TOLVEX_EB_BOOKS") : "");
  for (std::string path; extra >> path;) books.push_back(path);
  for (const auto& book : books) expect_package_holds_library_pages(book);
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
