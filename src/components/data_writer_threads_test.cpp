// Whole conversions of generated books with one writer thread and with
// several: the same package files byte for byte, the same console text and
// the same log, also when a page cannot be read in the middle of a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/run_options.h"
#include "bookfile/book_file.h"
#include "components/data_writer.h"
#include "source/catalog.h"
#include "source/pipeline.h"
#include "testbook.h"

namespace tolvex {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Outcome {
  Tree files;  // every file below the run directory (the log included)
  std::string console;
};

class WriterThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           (std::string("tolvex_threads_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    set_console_sink(nullptr);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }

  // Converts the book's catalog in a fresh directory with the given threads.
  Outcome convert(const fs::path& catalog, int threads, int selection = DO_OPTIONAL | DO_GRAPHICS | DO_SOUND) {
    const fs::path run = dir_ / ("run" + std::to_string(runs_++));
    fs::create_directories(run);
    fs::current_path(run);
    Outcome o;
    set_console_sink([&o](std::string_view s) { o.console += s; });
    set_current_page(0);
    std::unique_ptr<CatalogImage> image = load_catalog(catalog.string());
    EXPECT_TRUE(image);
    if (image) {
      RunOptions options;
      options.selection = selection;
      options.threads = threads;
      convert_subbooks(*image, std::nullopt, std::nullopt, options);
    }
    set_console_sink(nullptr);
    fs::current_path(old_);
    for (const auto& e : fs::recursive_directory_iterator(run)) {
      if (e.is_regular_file()) o.files[fs::relative(e.path(), run).generic_string()] = read_all(e.path());
    }
    return o;
  }

  void expect_same_for_thread_counts(const fs::path& catalog, int selection = DO_OPTIONAL | DO_GRAPHICS | DO_SOUND) {
    const Outcome one = convert(catalog, 1, selection);
    ASSERT_GT(one.files.size(), 3u);
    for (int threads : {2, 3, 5}) {
      SCOPED_TRACE(testing::Message() << threads << " threads");
      const Outcome many = convert(catalog, threads, selection);
      EXPECT_EQ(many.console, one.console);
      ASSERT_EQ(many.files.size(), one.files.size());
      for (const auto& [name, bytes] : one.files) {
        auto it = many.files.find(name);
        ASSERT_NE(it, many.files.end()) << name;
        EXPECT_TRUE(it->second == bytes) << name << " differs";
      }
    }
  }

  fs::path dir_, old_;
  int runs_ = 0;
};

TEST_F(WriterThreads, SampleBookIsTheSameOnAnyNumberOfThreads) {
  const testbook::GeneratedBook book = testbook::write_book(dir_ / "book", testbook::sample_book_spec(3));
  ASSERT_TRUE(book.ok()) << book.error;
  expect_same_for_thread_counts(book.catalog);
}

TEST_F(WriterThreads, BooksOfEveryCompressionAreTheSameOnAnyNumberOfThreads) {
  for (int kind : {0, 1, 2}) {
    SCOPED_TRACE(testing::Message() << "text kind " << kind);
    testbook::BookSpec spec = testbook::eb_library_book_spec(kind, 7 + kind);
    spec.subbooks[0].body_pages = 150;  // several 16-page chunks, more than the slots in flight
    const testbook::GeneratedBook book = testbook::write_book(dir_ / ("book" + std::to_string(kind)), spec);
    ASSERT_TRUE(book.ok()) << book.error;
    expect_same_for_thread_counts(book.catalog);
  }
  testbook::BookSpec eb;
  eb.layout = testbook::Layout::EB;
  eb.subbooks.resize(2);
  eb.subbooks[1].dir_name = "SECOND";
  eb.subbooks[1].body_pages = 100;
  const testbook::GeneratedBook book = testbook::write_book(dir_ / "eb", eb);
  ASSERT_TRUE(book.ok()) << book.error;
  expect_same_for_thread_counts(book.catalog);
}

// The text file cut short in the body: the read of a chunk far into the
// body text fails. Every chunk before it is written, none after it, and the
// log names the same chunk whatever the thread count.
TEST_F(WriterThreads, ReadFailureStopsAtTheSameChunk) {
  testbook::BookSpec spec;
  spec.subbooks[0].body_pages = 200;
  spec.subbooks[0].separate_graphic = true;
  const testbook::GeneratedBook book = testbook::write_book(dir_ / "book", spec);
  ASSERT_TRUE(book.ok()) << book.error;
  const testbook::GeneratedSubbook& s = book.subbooks[0];
  const fs::path text = s.text.path;
  // Cut inside page body_start + 150 (chunk 10 of the body).
  fs::resize_file(text, static_cast<std::uintmax_t>(s.body_start + 150) * PAGE_SIZE - 100);
  const Outcome one = convert(book.catalog, 1);
  const std::string log = one.files.at("tolvex.log");
  ASSERT_NE(log.find("(10/13 chunks)\r\nread_block() failed. (7)"), std::string::npos) << log;
  expect_same_for_thread_counts(book.catalog);
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
