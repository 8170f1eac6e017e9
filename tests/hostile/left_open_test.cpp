// Whole runs on books that reach the places where the format leaves the
// behaviour open: each gets the safe behaviour, shown through the binary.
#include <gtest/gtest.h>

#include <regex>

#include "components/component_table.h"
#include "components/data_file_reader.h"
#include "hostile_support.h"
#include "source/bytes.h"

namespace tolvex::hostile {
namespace {

class LeftOpen : public ::testing::Test {
 protected:
  // A book with a plain text file: its index page is the file's first 2048 bytes.
  void make_plain_book() {
    book_ = testbook::write_book(dir_.path() / "book", small_book(0, false));
    ASSERT_TRUE(book_.ok()) << book_.error;
    text_ = e2e::read_file(book_.subbooks.front().text.path);
  }
  // The index entry of the first component with this code.
  std::uint8_t* entry_of(std::uint8_t code) {
    const auto& comps = book_.subbooks.front().components;
    for (std::size_t i = 0; i < comps.size(); ++i) {
      if (comps[i].code == code) return text_.data() + 16 + 16 * i;
    }
    ADD_FAILURE() << "no component with code " << int{code};
    return text_.data();
  }
  RunResult run(const std::vector<std::string>& extra = {}) {
    write_file(book_.subbooks.front().text.path, text_);
    fs::path w = dir_.path() / ("w" + std::to_string(n_++));
    fs::create_directories(w);
    work_ = w;
    std::vector<std::string> args = {"-a", book_.catalog.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_tolvex_in(w, args);
  }

  ScratchDir dir_;
  testbook::GeneratedBook book_;
  std::vector<std::uint8_t> text_;
  fs::path work_;
  int n_ = 0;
};

TEST_F(LeftOpen, AComponentOfMoreThan65535ChunksIsRefusedBeforeAnythingIsRead) {
  make_plain_book();
  // 65536 chunks on a file of a few dozen pages: refused with a message, no file, no read.
  put_be(entry_of(0x00) + 6, 4, 65536u * 16u - 15u);
  RunResult r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.output, "Component HONMON.DIC is too large: 1048561 pages (at most 1048560)\n")) << r.output;
  EXPECT_FALSE(contains(r.output, "read_block() failed")) << r.output;
  EXPECT_FALSE(fs::exists(work_ / "Dic" / "SAMPLE" / "HONMON.DIC"));
  EXPECT_TRUE(contains(r.output, "Done.\n"));

  // Exactly 65535 chunks fit the header: the file is begun, and the read
  // beyond the book's end is reported with its chunk.
  put_be(entry_of(0x00) + 6, 4, 65535u * 16u);
  r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::regex_search(r.output, std::regex("  Writing HONMON.DIC \\(\\d+/65535 chunks\\)\nread_block\\(\\) failed\\. \\([78]\\)\n")))
      << r.output;
  auto header = e2e::read_file(work_ / "Dic" / "SAMPLE" / "HONMON.DIC");
  ASSERT_GE(header.size(), 64u);
  EXPECT_EQ(get_be(header.data() + 22, 2), 65535u);
}

TEST_F(LeftOpen, PageNumbersThatWrapAroundEndNormally) {
  make_plain_book();
  // Start page near the top of the 32-bit range: the last page wraps to a
  // small number; the first read is beyond the file and reported.
  std::uint8_t* body = entry_of(0x00);
  put_be(body + 2, 4, 0xFFFFFFF0u);
  put_be(body + 6, 4, 0x40u);
  RunResult r = run();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "  Writing HONMON.DIC (1/4 chunks)\nread_block() failed. (7)\n")) << r.output;
  EXPECT_TRUE(contains(r.output, "Done.\n")) << r.output;

  // The largest page count: refused by its size, before the body is read.
  make_plain_book();
  put_be(entry_of(0x01) + 6, 4, 0xFFFFFFFFu);
  r = run();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(contains(r.output, " is too large: 4294967295 pages (at most 1048560)\n")) << r.output;
  EXPECT_TRUE(contains(r.output, "Done.\n")) << r.output;
}

TEST_F(LeftOpen, EntryCountsAbove127ReadOnlyThePage) {
  make_plain_book();
  put_be(text_.data(), 2, 0xFFFF);
  RunResult r = run();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "Done.\n")) << r.output;
  // 127 entries are planned: 4 package files, the fonts, and one per selected entry.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.output, m, std::regex("Total (\\d+) files")));
  EXPECT_LE(std::stoi(m[1]), 4 + 2 + 127);
}

TEST_F(LeftOpen, AZeroPageEntryBecomesAFileOfItsHeaderAlone) {
  make_plain_book();
  put_be(entry_of(0x01) + 6, 4, 0);
  RunResult r = run();
  EXPECT_EQ(r.status, 0) << r.output;
  const auto names = e2e::package_names(book_.subbooks.front(), 7);
  const auto& comps = book_.subbooks.front().components;
  std::string menu;
  for (std::size_t i = 0; i < comps.size(); ++i) {
    if (comps[i].code == 0x01) menu = names[i];
  }
  ASSERT_FALSE(menu.empty());
  EXPECT_TRUE(contains(r.output, "  Writing " + menu + " (0/0 chunks)\n")) << r.output;
  EXPECT_EQ(fs::file_size(work_ / "Dic" / "SAMPLE" / menu), 64u);
  EXPECT_FALSE(contains(r.output, "failed")) << r.output;
}

TEST_F(LeftOpen, IndexPageZeroIsPageOneOfAPlainFileAndUnreadableInACompressedOne) {
  make_plain_book();
  RunResult normal = run();
  ASSERT_EQ(normal.status, 0);
  const auto expected = e2e::read_tree(work_ / "Dic");
  auto catalog = book_.catalog_bytes;
  put_be(catalog.data() + 16 + 94, 2, 0);
  write_file(book_.catalog, catalog);
  RunResult r = run();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(e2e::read_tree(work_ / "Dic"), expected);

  auto compressed = testbook::write_book(dir_.path() / "kind2", small_book(2, false));
  ASSERT_TRUE(compressed.ok()) << compressed.error;
  catalog = compressed.catalog_bytes;
  put_be(catalog.data() + 16 + 94, 2, 0);
  write_file(compressed.catalog, catalog);
  fs::create_directories(dir_.path() / "wz");
  r = run_tolvex_in(dir_.path() / "wz", {"-a", compressed.catalog.string()});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "Can't read information block\nNothing to do.\n")) << r.output;
}

TEST_F(LeftOpen, BookPathsLongerThan1023CharactersConvertLikeShortOnes) {
  make_plain_book();
  RunResult normal = run();
  ASSERT_EQ(normal.status, 0);
  const auto expected = e2e::read_tree(work_ / "Dic");

  fs::path deep = dir_.path();
  for (int i = 0; i < 6; ++i) deep /= std::string(200, static_cast<char>('a' + i));
  fs::create_directories(deep);
  fs::copy(book_.root, deep / "book", fs::copy_options::recursive);
  const std::string catalog = (deep / "book" / book_.catalog.filename()).string();
  ASSERT_GT(catalog.size(), 1023u);
  fs::create_directories(dir_.path() / "wl");
  RunResult r = run_tolvex_in(dir_.path() / "wl", {"-a", catalog});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(e2e::read_tree(dir_.path() / "wl" / "Dic"), expected);
  // The "Working on" line is cut at 511 characters on the console and in the log.
  const std::string working = ("Working on " + catalog + "\n").substr(0, 511);
  EXPECT_TRUE(contains(r.output, working + "Processing SAMPLE ...\n")) << r.output.substr(0, 600);
  EXPECT_TRUE(contains(e2e::read_text(dir_.path() / "wl" / "tolvex.log"), working + "Processing SAMPLE ...\r\n"));

  // A missing text file at that depth: its message is cut too, the run goes on.
  fs::remove(deep / "book" / "SAMPLE" / "DATA" / book_.subbooks.front().text.path.filename());
  r = run_tolvex_in(dir_.path() / "wl", {"-a", catalog});
  EXPECT_EQ(r.status, 0);
  const std::string cant = ("Can't open \"" + catalog.substr(0, catalog.size() - book_.catalog.filename().string().size()))
                               .substr(0, 511);
  EXPECT_TRUE(contains(r.output, cant + "Nothing to do.\n")) << r.output.substr(0, 1200);

  // A catalog path longer than any path the system takes: refused, status 1.
  const std::string huge = dir_.path().string() + "/" + std::string(5000, 'x') + "/CATALOGS";
  r = run_tolvex_in(dir_.path() / "wl", {huge});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.output, ("Can't open \"" + huge).substr(0, 511))) << r.output.substr(0, 600);
  EXPECT_FALSE(contains(r.output, huge));
}

}  // namespace
}  // namespace tolvex::hostile
