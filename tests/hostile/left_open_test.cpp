// Whole runs on books that reach the places where the format leaves the
// behaviour open: each gets the safe behaviour, shown through the binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "catalog/bytes.h"
#include "hostile_support.h"

namespace tolvex::hostile {
namespace {

class LeftOpen : public ::testing::Test {
 protected:
  // A book with a plain text file: its index page is the file's first 2048 bytes.
  void SetUp() override {
    book_ = testbook::write_book(dir_.path() / "book", small_book(0, false));
    ASSERT_TRUE(book_.ok()) << book_.error;
    text_ = read_file_bytes(book_.subbooks.front().text.path);
  }
  RunResult run(const std::string& catalog = "") {
    write_file_bytes(book_.subbooks.front().text.path, text_);
    work_ = dir_.path() / ("w" + std::to_string(n_++));
    fs::create_directories(work_);
    const fs::path book = catalog.empty() ? book_.catalog : fs::path(catalog);
    RunResult r = run_tolvex_in(work_, {"-a", book.string()}, book.parent_path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Done.\n")) << r.output;
    return r;
  }

  ScratchDir dir_;
  testbook::GeneratedBook book_;
  std::vector<std::uint8_t> text_;
  fs::path work_;
  int n_ = 0;
};

TEST_F(LeftOpen, ComponentsOfMoreThan65535ChunksAreRefusedBeforeAnythingIsRead) {
  const auto& comps = book_.subbooks.front().components;
  const auto body = std::find_if(comps.begin(), comps.end(), [](const auto& c) { return c.code == 0x00; });
  std::uint8_t* const page_count = text_.data() + 16 + 16 * (body - comps.begin()) + 6;
  for (std::uint32_t pages : {65536u * 16u - 15u, 0xFFFFFFFFu}) {
    put_be(page_count, 4, pages);
    RunResult r = run();
    EXPECT_TRUE(contains(r.output,
                         "Component HONMON.DIC is too large: " + std::to_string(pages) + " pages (at most 1048560)\n"))
        << r.output;
    EXPECT_FALSE(contains(r.output, "read_block() failed")) << r.output;
    EXPECT_FALSE(fs::exists(work_ / "Dic" / "SAMPLE" / "HONMON.DIC"));
  }
  // Exactly 65535 chunks fit the header: the file is begun, and the read
  // beyond the book's end is reported with its chunk; the failed file is
  // removed, not left torn.
  put_be(page_count, 4, 65535u * 16u);
  RunResult r = run();
  EXPECT_TRUE(std::regex_search(
      r.output, std::regex("  Writing HONMON.DIC \\(\\d+/65535 chunks\\)\nread_block\\(\\) failed\\. \\([78]\\)\n")))
      << r.output;
  EXPECT_FALSE(fs::exists(work_ / "Dic" / "SAMPLE" / "HONMON.DIC"));
}

TEST_F(LeftOpen, EntryCountsAbove127ReadOnlyThePage) {
  put_be(text_.data(), 2, 0xFFFF);
  RunResult r = run();
  // 127 entries are planned: 4 package files, the fonts, and one per selected entry.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.output, m, std::regex("Total (\\d+) files")));
  EXPECT_LE(std::stoi(m[1]), 4 + 2 + 127);
}

TEST_F(LeftOpen, IndexPageZeroIsPageOneOfAPlainFileAndUnreadableInACompressedOne) {
  run();
  const auto expected = read_tree(work_ / "Dic");
  auto catalog = book_.catalog_bytes;
  put_be(catalog.data() + 16 + 94, 2, 0);
  write_file_bytes(book_.catalog, catalog);
  run();
  EXPECT_EQ(read_tree(work_ / "Dic"), expected);

  auto compressed = testbook::write_book(dir_.path() / "kind2", small_book(2, false));
  ASSERT_TRUE(compressed.ok()) << compressed.error;
  catalog = compressed.catalog_bytes;
  put_be(catalog.data() + 16 + 94, 2, 0);
  write_file_bytes(compressed.catalog, catalog);
  RunResult r = run(compressed.catalog.string());
  EXPECT_TRUE(contains(r.output, "Can't read information block\nNothing to do.\n")) << r.output;
}

TEST_F(LeftOpen, BookPathsLongerThan1023CharactersConvertLikeShortOnes) {
  run();
  const auto expected = read_tree(work_ / "Dic");
  fs::path deep = dir_.path();
  for (int i = 0; i < 6; ++i) deep /= std::string(200, static_cast<char>('a' + i));
  fs::create_directories(deep);
  fs::copy(book_.root, deep / "book", fs::copy_options::recursive);
  const std::string catalog = (deep / "book" / book_.catalog.filename()).string();
  ASSERT_GT(catalog.size(), 1023u);
  // On Windows too, past its 260-character limit (the run unwatched: the
  // test's own directory walk stops at that limit there).
  work_ = dir_.path() / "long";
  fs::create_directories(work_);
  RunResult r = run_tolvex_in(work_, {"-a", catalog});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_tree(work_ / "Dic"), expected);
  // The "Working on" line is cut at 511 characters on the console and in the log.
  const std::string working = ("Working on " + catalog + "\n").substr(0, 511);
  EXPECT_TRUE(contains(r.output, working + "Processing SAMPLE ...\n")) << r.output.substr(0, 600);
  EXPECT_TRUE(contains(read_file_text(work_ / "tolvex.log"), working + "Processing SAMPLE ...\r\n"));
  // A catalog path longer than any path the system takes: refused, status 1.
  const std::string huge = dir_.path().string() + "/" + std::string(5000, 'x') + "/CATALOGS";
  r = run_tolvex_in(work_, {huge});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.output, ("Can't open \"" + huge).substr(0, 511))) << r.output.substr(0, 600);
}

}  // namespace
}  // namespace tolvex::hostile
