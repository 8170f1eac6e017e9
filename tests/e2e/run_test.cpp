// The run as a user sees it: exit statuses, console and log, bad catalogs
// and books, names that must not lead outside Dic/.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>

#include "catalog/bytes.h"
#include "e2e_support.h"

namespace tolvex::e2e {
namespace {

std::string log_of(const ScratchDir& dir) { return read_text(dir.path() / "tolvex.log"); }

// The log without the times of the Start/Stop lines.
std::string without_times(std::string log) {
  log = std::regex_replace(
      log, std::regex("(Start|Stop): [A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}"), "$1: T");
  return std::regex_replace(log, std::regex("Time elapsed: \\d+:\\d\\d"), "Time elapsed: E");
}

TEST(Run, RefusedCommandLinesShowTheUsageAndLogNothing) {
  ScratchDir dir;
  for (std::vector<std::string> args : {std::vector<std::string>{"-x", "CATALOGS"}, {}, {"-o"}, {"a", "b", "c", "d"}}) {
    RunResult r = run_tolvex_in(dir.path(), args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.rfind("tolvex Ver.0.2 2004/11/20\n", 0), 0u);
  }
  EXPECT_FALSE(fs::exists(dir.path() / "tolvex.log"));
}

TEST(Run, AMissingCatalogIsReportedAndLoggedWithCrLf) {
  ScratchDir dir;
  RunResult r = run_tolvex_in(dir.path(), {"-A", "-N", "CAT"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "Options: DO_OPTIONAL DO_GRAPHICS DO_SOUND NO_HASH\nCan't open \"CAT\"\n");
  EXPECT_EQ(without_times(log_of(dir)),
            "Start: T\r\nOptions: DO_OPTIONAL DO_GRAPHICS DO_SOUND NO_HASH\r\nCan't open \"CAT\"\r\nStop: T\r\n\r\n");
  fs::create_directory(dir.path() / "ADIR");
  EXPECT_EQ(run_tolvex_in(dir.path(), {"ADIR"}).status, 1);
}

TEST(Run, NewNamesLongerThanEightAreRefusedAfterLoading) {
  ScratchDir dir;
  testbook::BookRecipe recipe;
  auto book = testbook::write_book(dir.path() / "book", recipe);
  ASSERT_TRUE(book.ok()) << book.error;
  RunResult r = run_tolvex_in(dir.path(), {book.catalog.string(), "sample", "ninechars"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("Working on " + book.catalog.string() + "\nNew directory name too long (max 8 characters)\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(dir.path() / "Dic"));
  r = run_tolvex_in(dir.path(), {book.catalog.string(), "sample", "eightchr"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Processing SAMPLE -> EIGHTCHR ...\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir.path() / "Dic" / "EIGHTCHR" / "EIGHTCHR.IDX"));
  EXPECT_TRUE(fs::exists(dir.path() / "Dic" / "EIGHTCHR.REG"));
  // A missing catalog is reported before the name's length is looked at.
  r = run_tolvex_in(dir.path(), {"nothing", "sample", "ninechars"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("Can't open \"nothing\""), std::string::npos);
}

TEST(Run, AWholeRunLogsEveryMessageInOrder) {
  ScratchDir dir;
  testbook::BookRecipe recipe;
  recipe.subbooks[0].body_pages = 20;
  auto book = testbook::write_book(dir.path() / "book", recipe);
  ASSERT_TRUE(book.ok()) << book.error;
  RunResult r = run_tolvex_in(dir.path(), {"-o", "book/CATALOGS"});
  ASSERT_EQ(r.status, 0) << r.output;
  std::string log = without_times(log_of(dir));
  EXPECT_EQ(log.rfind("Start: T\r\nOptions: DO_OPTIONAL\r\nWorking on book/CATALOGS\r\nProcessing SAMPLE ...\r\n"
                      "  Total ",
                      0),
            0u)
      << log;
  EXPECT_NE(log.find("  Writing HONMON.DIC ("), std::string::npos);
  EXPECT_NE(log.find("    Selected icons: INTERNAL_16, INTERNAL_32\r\n"), std::string::npos);
  EXPECT_NE(log.find("  Writing DICPROF.INI\r\n  Writing EXINFO.INI\r\n  Writing SAMPLE.REG\r\nDone.\r\n"
                     "Time elapsed: E\r\nStop: T\r\n\r\n"),
            std::string::npos)
      << log;
  // Progress lines redrawn with a carriage return reach the console only.
  EXPECT_NE(r.output.find("\r  Writing HONMON.DIC (1/"), std::string::npos);
  EXPECT_EQ(log.find("\r  Writing"), std::string::npos);
  // No line of the log lacks its CR.
  for (std::size_t i = log.find('\n'); i != std::string::npos; i = log.find('\n', i + 1)) {
    ASSERT_GT(i, 0u);
    EXPECT_EQ(log[i - 1], '\r');
  }
}

TEST(Run, SubdirSelectsAndNothingToDoOtherwise) {
  ScratchDir dir;
  auto book = testbook::write_book(dir.path() / "book", testbook::sample_book_recipe());
  ASSERT_TRUE(book.ok()) << book.error;
  RunResult r = run_tolvex_in(dir.path(), {book.catalog.string(), "-o"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("Nothing to do.\nDone.\n"), std::string::npos);
  r = run_tolvex_in(dir.path(), {book.catalog.string(), "guide"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("Skipping GUIDE (stream book)\nNothing to do.\n"), std::string::npos);
  r = run_tolvex_in(dir.path(), {book.catalog.string(), "furoku"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("Processing FUROKU ...\n"), std::string::npos);
  EXPECT_EQ(r.output.find("SAMPLE"), std::string::npos);
  EXPECT_EQ(r.output.find("Skipping"), std::string::npos);
}

TEST(Run, EmptyAndTruncatedCatalogsEndNormally) {
  ScratchDir dir;
  { std::ofstream(dir.path() / "EMPTY", std::ios::binary); }
  RunResult r = run_tolvex_in(dir.path(), {"EMPTY"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output.substr(r.output.find("Working on")),
            "Working on EMPTY\nNothing to do.\nDone.\nTime elapsed: 0:00\n");

  auto book = testbook::write_book(dir.path() / "book", testbook::sample_book_recipe());
  ASSERT_TRUE(book.ok());
  // Cut the catalog inside the second subbook's entry: the first one still converts.
  auto bytes = book.catalog_bytes;
  bytes.resize(16 + 164 + 100);
  std::ofstream(dir.path() / "book" / "CUT", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  r = run_tolvex_in(dir.path(), {"book/CUT"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("Catalog is truncated: only 1 of 3 subbook entries can be read\n"), std::string::npos);
  // Its second-table record lies beyond the cut: refused with a message, not read.
  EXPECT_NE(r.output.find("Catalog has no file record for SAMPLE\n"), std::string::npos);
  EXPECT_NE(r.output.find("Nothing to do.\n"), std::string::npos);
}

TEST(Run, AMissingGraphicFileStopsTheSubbookAndLeavesItsDirectoryEmpty) {
  ScratchDir dir;
  auto book = testbook::write_book(dir.path() / "book", testbook::sample_book_recipe());
  ASSERT_TRUE(book.ok());
  fs::remove(book.subbooks[0].graphic->path);
  RunResult r = run_tolvex_in(dir.path(), {"-a", book.catalog.string(), "sample"});
  EXPECT_EQ(r.status, 0);
  // The book's folder as typed (its separator kept), then the names the catalog gives.
  const std::string folder = book.catalog.string().substr(0, book.catalog.string().size() - 8);
  EXPECT_NE(r.output.find("Can't open \"" + folder + "SAMPLE/DATA/HONMONG\"\nNothing to do.\n"), std::string::npos)
      << r.output;
  EXPECT_TRUE(fs::is_empty(dir.path() / "Dic" / "SAMPLE"));
}

TEST(Run, NamesFromTheBookNeverLeadOutsideDic) {
  ScratchDir dir;
  auto book = testbook::write_book(dir.path() / "book", testbook::sample_book_recipe());
  ASSERT_TRUE(book.ok());
  auto bytes = book.catalog_bytes;
  // Directory name of the first subbook: ".."; full-width font name of the second: "../X".
  std::uint8_t* entry = bytes.data() + 16;
  std::memset(entry + 82, ' ', 8);
  std::memcpy(entry + 82, "..", 2);
  std::uint8_t* furoku = entry + 164;
  std::memset(furoku + 100, ' ', 8);
  std::memcpy(furoku + 100, "../X", 4);
  std::ofstream(dir.path() / "book" / "EVIL", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  fs::create_directories(dir.path() / "work");
  RunResult r = run_tolvex_in(dir.path() / "work", {"-a", "../book/EVIL"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("Unusable directory name \"..\"\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Can't copy font file \"../X\""), std::string::npos) << r.output;
  // Only Dic/ and the log were written in the working directory, nothing beside it.
  for (const auto& e : fs::directory_iterator(dir.path() / "work")) {
    std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "Dic" || name == "tolvex.log") << name;
  }
  EXPECT_FALSE(fs::exists(dir.path() / "X"));
  EXPECT_FALSE(fs::exists(dir.path() / "work" / "X"));
  RunResult n = run_tolvex_in(dir.path() / "work", {book.catalog.string(), "sample", ".."});
  EXPECT_NE(n.output.find("Unusable directory name \"..\"\n"), std::string::npos);
}

}  // namespace
}  // namespace tolvex::e2e
