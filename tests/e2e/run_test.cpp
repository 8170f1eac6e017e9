// The run as a user sees it: exit statuses, console and log, bad catalogs
// and books, names that must not lead outside Dic/.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>

#include "catalog/bytes.h"
#include "e2e_support.h"
#include "ebzip.h"

namespace tolvex::e2e {
namespace {

// One run per row in a directory holding the sample book as book/, a copy
// without its graphic file as nographic/, an empty catalog and one cut inside
// the second subbook's entry. No run changes the book.
TEST(Run, CommandLinesAndCatalogsGiveTheirStatusAndMessages) {
  ScratchDir dir;
  auto book = testbook::write_book(dir.path() / "book", testbook::sample_book_recipe());
  ASSERT_TRUE(book.ok()) << book.error;
  fs::copy(book.root, dir.path() / "nographic", fs::copy_options::recursive);
  fs::remove(dir.path() / "nographic" / fs::relative(book.subbooks[0].graphic->path, book.root));
  write_file_text(dir.path() / "EMPTY", "");
  testbook::BookRecipe eb;
  eb.layout = testbook::Layout::EB;
  ASSERT_TRUE(testbook::write_book(dir.path() / "eb", eb).ok());
  write_file_bytes(dir.path() / "book" / "CUT", std::span(book.catalog_bytes).first(16 + 164 + 100));
  // EVIL: the first subbook's directory name "..", the second's full-width font "../X".
  auto evil = book.catalog_bytes;
  std::memcpy(evil.data() + 16 + 82, "..      ", 8);
  std::memcpy(evil.data() + 16 + 164 + 100, "../X    ", 8);
  write_file_bytes(dir.path() / "book" / "EVIL", evil);
  enum Match { parts, start, whole };  // the output holds the parts in order, begins with them, or is them
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> output;
    Match match = parts;
    std::vector<std::string> not_shown = {};
    const char* made = nullptr;  // a file the run writes, or a directory it leaves empty
    const char* log = nullptr;   // the whole log (times as T), when checked
  } rows[] = {
      {{"-x", "CATALOGS"}, 1, {"tolvex Ver.0.2 2004/11/20\n"}, start},
      {{}, 1, {"tolvex Ver.0.2 2004/11/20\n"}, start},
      {{"-o"}, 1, {"tolvex Ver.0.2 2004/11/20\n"}, start},
      {{"a", "b", "c", "d"}, 1, {"tolvex Ver.0.2 2004/11/20\n"}, start},
      {{"--books"}, 1, {"tolvex Ver.0.2 2004/11/20\n"}, start},
      {{"--list", "--books", "book"}, 1, {"tolvex Ver.0.2 2004/11/20\n"}, start},
      {{"-A", "-N", "CAT"},
       1,
       {"Options: DO_OPTIONAL DO_GRAPHICS DO_SOUND NO_HASH\nCan't open \"CAT\"\n"},
       whole,
       {},
       "tolvex.log",
       "Start: T\r\nOptions: DO_OPTIONAL DO_GRAPHICS DO_SOUND NO_HASH\r\nCan't open \"CAT\"\r\nStop: T\r\n\r\n"},
      {{"book"}, 1, {"Can't open \"book\"\n"}},
      {{"book/CATALOGS", "sample", "ninechars"},
       1,
       {"Working on book/CATALOGS\nNew directory name too long (max 8 characters)\n"},
       parts,
       {"Processing"}},
      {{"book/CATALOGS", "sample", "eightchr"},
       0,
       // Progress is redrawn on the console with a carriage return.
       {"Processing SAMPLE -> EIGHTCHR ...\n", "\r  Writing HONMON.DIC (1/", "  Writing EIGHTCHR.IDX\n",
        "  Writing EIGHTCHR.REG\n"},
       parts,
       {},
       "Dic/EIGHTCHR/EIGHTCHR.IDX"},
      {{"nothing", "sample", "ninechars"}, 1, {"Can't open \"nothing\"\n"}},
      {{"book/CATALOGS", "-o"}, 0, {"Nothing to do.\nDone.\n"}},
      {{"book/CATALOGS", "guide"}, 0, {"Skipping GUIDE (stream book)\nNothing to do.\n"}},
      {{"eb/CATALOG", "other"}, 0, {"Working on eb/CATALOG\nNothing to do.\n"}},
      {{"book/CATALOGS", "furoku"}, 0, {"Processing FUROKU ...\n"}, parts, {"SAMPLE", "Skipping"}, "Dic/FUROKU.REG"},
      {{"EMPTY"},
       0,
       {"Options:\nWorking on EMPTY\nNothing to do.\nDone.\nTime elapsed: 0:00\n"},
       whole,
       {},
       "tolvex.log",
       "Start: T\r\nOptions:\r\nWorking on EMPTY\r\nNothing to do.\r\nDone.\r\nTime elapsed: E\r\nStop: T\r\n\r\n"},
      // The second subbook's record in the second table lies beyond the cut.
      {{"book/CUT"},
       0,
       {"Catalog is truncated: only 1 of 3 subbook entries can be read\n", "Catalog has no file record for SAMPLE\n",
        "Nothing to do.\n"}},
      // The book's folder as typed, then the names the catalog gives.
      {{"-a", "nographic/CATALOGS", "sample"},
       0,
       {"Can't open \"nographic/SAMPLE/DATA/HONMONG\"\nNothing to do.\n"},
       parts,
       {},
       "Dic/SAMPLE"},
      // Names from the book never lead outside Dic/ (the loop checks nothing is written beside it).
      {{"-a", "book/EVIL"}, 0, {"Unusable directory name \"..\"\n", "Can't copy font file \"../X\""}},
      {{"book/CATALOGS", "sample", ".."}, 0, {"Unusable directory name \"..\"\n"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.empty() ? "(none)" : row.args.back());
    fs::remove_all(dir.path() / "Dic");
    fs::remove(dir.path() / "tolvex.log");
    const RunResult r = run_tolvex_in(dir.path(), row.args, dir.path() / "book");
    EXPECT_EQ(r.status, row.status) << r.output;
    std::size_t at = 0;
    for (const std::string& part : row.output) {
      at = r.output.find(part, at);
      ASSERT_NE(at, std::string::npos) << part << "\nnot in:\n" << r.output;
      EXPECT_TRUE(row.match == parts || &part != &row.output.front() || at == 0) << r.output;
      at += part.size();
    }
    EXPECT_TRUE(row.match != whole || at == r.output.size()) << r.output;
    for (const std::string& part : row.not_shown) EXPECT_EQ(r.output.find(part), std::string::npos) << r.output;
    // A refused command line (the usage shown) writes no log, a refused run no package.
    EXPECT_NE(fs::exists(dir.path() / "tolvex.log"), row.output.front().starts_with("tolvex Ver."));
    EXPECT_TRUE(row.status == 0 || !fs::exists(dir.path() / "Dic"));
    const fs::path made = dir.path() / (row.made ? row.made : "");
    EXPECT_TRUE(row.made == nullptr || (fs::is_directory(made) ? fs::is_empty(made) : fs::exists(made)));
    if (row.log != nullptr) {
      EXPECT_EQ(without_times(read_file_text(dir.path() / "tolvex.log")), row.log);
    }
    for (const auto& e : fs::directory_iterator(dir.path())) {
      const std::string name = e.path().filename().string();
      EXPECT_TRUE(name == "Dic" || name == "tolvex.log" || name == "book" || name == "nographic" || name == "EMPTY" ||
                  name == "eb")
          << name;
    }
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "X"));
  }
}

// A library: the sample book; an EB book at depth 2 whose subbook SAMPLE
// collides with it; an ebzip'd book; one under a disc name ("catalogs;1",
// its subbook's folder "disc"); a damaged one; one without a font file; a
// file named CATALOG that is none; a link to the sample's catalog; and a
// folder empty but for a link to a catalog outside it.
TEST(Run, ALibraryRunConvertsEachBookAsItsOwnRunAndRefusesACollision) {
  ScratchDir dir;
  const fs::path lib = dir.path() / "lib";
  const auto book = [&](const char* where, const char* name, testbook::BookRecipe recipe) {
    recipe.subbooks[0].dir_name = name;
    recipe.subbooks[0].body_pages = 20;
    auto b = testbook::write_book(lib / where, recipe);
    EXPECT_TRUE(b.ok()) << b.error;
    return b;
  };
  testbook::BookRecipe eb;
  eb.layout = testbook::Layout::EB;
  const auto sample = testbook::write_book(lib / "a", testbook::sample_book_recipe());
  book("b/deep", "SAMPLE", eb);
  const auto zipped = book("c", "ZIPPED", testbook::BookRecipe{});
  const fs::path text = zipped.subbooks[0].text.path;
  write_file_bytes(text.string() + ".ebz", ebzip_bytes(read_file_bytes(text), 2));
  fs::remove(text);
  fs::rename(book("d", "disc", testbook::BookRecipe{}).catalog, lib / "d" / "catalogs;1");  // names upper-cased
  fs::remove(book("e", "BROKEN", testbook::BookRecipe{}).subbooks[0].text.path);
  fs::create_directories(lib / "f");
  write_file_text(lib / "f" / "CATALOG", "This is not a catalog.");
  fs::remove(book("g", "NOFONT", testbook::BookRecipe{}).subbooks[0].font_files[0]);
  fs::create_directories(dir.path() / "empty");
#ifndef _WIN32  // Wine makes no symbolic links
  fs::create_symlink("../a/CATALOGS", lib / "b" / "CATALOGS");
  fs::create_symlink("../lib/a/CATALOGS", dir.path() / "empty" / "CATALOGS");  // leads out of the folder
#endif

  RunResult r = run_tolvex_in(dir.path(), {"-a", "--books", "lib", "empty"}, lib);
#ifdef _WIN32  // the folders found are named with Windows' separator
  std::replace(r.output.begin(), r.output.end(), '\\', '/');
#endif
  EXPECT_EQ(r.status, 2) << r.output;
#ifndef _WIN32
  EXPECT_NE(r.output.find("Skipping \"lib/b/CATALOGS\": the same file as \"lib/a/CATALOGS\"\n"), std::string::npos);
#endif
  for (const char* part :
       {"No books in \"empty\"\n", "Book 1 of 7: lib/a/CATALOGS\n", "Book 2 of 7: lib/b/deep/CATALOG\n",
        "Refusing SAMPLE of lib/b/deep/CATALOG: Dic/SAMPLE was made by lib/a/CATALOGS in this run\n"
        "  To convert it under another name: tolvex -a lib/b/deep/CATALOG SAMPLE <newdir>\n",
        "Book 4 of 7: lib/d/catalogs;1\n",
        "Summary:\n"
        "  lib/a/CATALOGS  SAMPLE  Dic/SAMPLE  ok\n"
        "  lib/a/CATALOGS  FUROKU  Dic/FUROKU  ok\n"
        "  lib/a/CATALOGS  GUIDE  -  skipped (stream book)\n"
        "  lib/b/deep/CATALOG  SAMPLE  -  refused: Dic/SAMPLE was made by lib/a/CATALOGS\n"
        "  lib/c/CATALOGS  ZIPPED  Dic/ZIPPED  ok\n"
        "  lib/d/catalogs;1  DISC  Dic/DISC  ok\n"
        "  lib/e/CATALOGS  BROKEN  Dic/BROKEN  Can't open \"lib/e/BROKEN/DATA/HONMON\"\n"
        "  lib/f/CATALOG  -  -  not a catalog (21608 subbooks, more than a book holds)\n"
        "  lib/g/CATALOGS  NOFONT  Dic/NOFONT  Writing GAI16F00 failed\n"
        "Total 7 books (1 not read): 4 subbooks ok, 3 failed, 1 skipped\nDone.\n"}) {
    EXPECT_NE(r.output.find(part), std::string::npos) << part << "\nnot in:\n" << r.output;
  }
  // Every package is the one the book's own run writes; the refused book wrote nothing.
  const auto library = read_tree(dir.path() / "Dic");
  std::size_t compared = 0;
  for (const char* catalog : {"lib/a/CATALOGS", "lib/c/CATALOGS", "lib/d/catalogs;1", "lib/g/CATALOGS"}) {
    ScratchDir own;
    EXPECT_EQ(run_tolvex_in(own.path(), {"-a", (dir.path() / catalog).string()}).status, 0);
    for (const auto& [name, bytes] : read_tree(own.path() / "Dic")) {
      EXPECT_EQ(library.count(name) ? library.at(name) : std::vector<std::uint8_t>{}, bytes) << name;
      ++compared;
    }
  }
  EXPECT_EQ(compared, library.size());
  // A library without faults ends with status 0.
  ScratchDir clean;
  EXPECT_EQ(run_tolvex_in(clean.path(), {"--books", (lib / "a").string(), (lib / "c").string()}).status, 0);
}

}  // namespace
}  // namespace tolvex::e2e
