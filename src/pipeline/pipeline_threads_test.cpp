// Whole conversions of generated books with one writer thread and with
// several: the same package files byte for byte, the same console text and
// the same log, also when a write or a read fails in the middle of a file.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "catalog/catalog.h"
#include "components/data_writer.h"
#include "components/run_options.h"
#include "pipeline/pipeline.h"
#include "scratch_dir.h"
#include "testbook.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace tolvex {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  std::map<std::string, std::vector<std::uint8_t>> files;  // every file below the run directory, the log included
  std::string console;
};

class WriterThreads : public ::testing::Test {
 protected:
  // Converts the catalog with -a on `threads` threads in a fresh directory.
  Outcome convert(const fs::path& catalog, int threads) {
    const fs::path run = dir_.path() / ("run" + std::to_string(runs_++)), old = fs::current_path();
    fs::create_directories(run);
    fs::current_path(run);
    Outcome o;
    set_console_sink([&o](std::string_view s) { o.console += s; });
    const std::unique_ptr<CatalogImage> image = load_catalog(catalog.string());
    EXPECT_TRUE(image);
    RunOptions options;
    options.selection = DO_OPTIONAL | DO_GRAPHICS | DO_SOUND;
    options.threads = threads;
    if (image) convert_subbooks(*image, std::nullopt, std::nullopt, options);
    set_console_sink(nullptr);
    fs::current_path(old);
    o.files = testing_support::read_tree(run);
    return o;
  }

  // Returns the outcome on one thread.
  Outcome expect_same_on_any_thread_count(const fs::path& catalog) {
    Outcome one = convert(catalog, 1);
    EXPECT_GT(one.files.size(), 2u);
    for (int threads : {2, 3, 5}) {
      const Outcome many = convert(catalog, threads);
      EXPECT_EQ(many.console, one.console) << threads << " threads";
      EXPECT_TRUE(many.files == one.files) << threads << " threads";
    }
    return one;
  }

  testbook::GeneratedBook write_book(const testbook::BookRecipe& recipe) {
    testbook::GeneratedBook book = testbook::write_book(dir_.path() / ("book" + std::to_string(runs_++)), recipe);
    EXPECT_TRUE(book.ok()) << book.error;
    return book;
  }

  testing_support::ScratchDir dir_;
  int runs_ = 0;
};

TEST_F(WriterThreads, BooksOfEveryLayoutAndCompressionAreTheSameOnAnyNumberOfThreads) {
  std::vector<testbook::BookRecipe> recipes = {testbook::sample_book_recipe(3)};
  for (int kind : {0, 1, 2}) {
    recipes.push_back(testbook::eb_library_book_recipe(kind, 7 + kind));
    recipes.back().subbooks[0].body_pages = 150;  // several 16-page chunks, more than the slots in flight
  }
  testbook::BookRecipe& eb = recipes.emplace_back();
  eb.layout = testbook::Layout::EB;
  eb.subbooks.resize(2);
  eb.subbooks[1].dir_name = "SECOND";
  eb.subbooks[1].body_pages = 100;
  for (std::size_t i = 0; i < recipes.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "book " << i);
    expect_same_on_any_thread_count(write_book(recipes[i]).catalog);
  }
}

// A write failure, then a read failure, in the middle of the body text, with
// later chunks already read ahead on several threads: console, log and files
// must still be those of one thread, and the log names the failing chunk.
TEST_F(WriterThreads, AWriteOrReadFailureLooksTheSameOnAnyNumberOfThreads) {
  testbook::BookRecipe recipe;
  recipe.subbooks[0].body_pages = 200;
  recipe.subbooks[0].separate_graphic = true;
  const testbook::GeneratedBook book = write_book(recipe);
#ifndef _WIN32
  // Files may grow to 40 KB only: the body text fails while its records are written.
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 40 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string console = expect_same_on_any_thread_count(book.catalog).console;
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_NE(console.find("write() failed. (9)"), std::string::npos) << console;
#endif
  const testbook::GeneratedSubbook& s = book.subbooks[0];
  fs::resize_file(s.text.path, static_cast<std::uintmax_t>(s.body_start + 150) * PAGE_SIZE - 100);  // chunk 10
  const auto log_bytes = expect_same_on_any_thread_count(book.catalog).files["tolvex.log"];
  const std::string log(log_bytes.begin(), log_bytes.end());
  EXPECT_NE(log.find("(10/13 chunks)\r\nread_block() failed. (7)"), std::string::npos) << log;
}

// The low bits of the first eight characters of the package name (pinned:
// no other test computes it from a name).
TEST(DicId, LowBitsOfTheFirstEightCharacters) {
  EXPECT_EQ(make_dic_id("DICT01"), 0x04934040u);
  EXPECT_EQ(make_dic_id("ABCDEFGJXY"), 0x01234BBAu);
}

TEST(WriterThreadCount, ZeroMeansOnePerCoreAndTheCountIsBounded) {
  EXPECT_GE(writer_thread_count(0), 1);
  EXPECT_EQ(writer_thread_count(1), 1);
  EXPECT_EQ(writer_thread_count(3), 3);
  EXPECT_EQ(writer_thread_count(-2), writer_thread_count(0));
  EXPECT_EQ(writer_thread_count(1000), MAX_WRITER_THREADS);
}

}  // namespace
}  // namespace tolvex
