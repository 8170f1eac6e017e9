// Source files cut at and just around the first and last page boundaries of
// every component written: each run ends normally (status 0, "Done."), and
// gives the package of the whole book unless it reports the failed read with
// the file and chunk, or the unreadable index or file: a cut is never passed
// over in silence.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "hostile_support.h"

namespace tolvex::hostile {
namespace {

const std::regex kChunkFailure("  Writing \\S+ \\(\\d+/\\d+ chunks\\)\nread_block\\(\\) failed\\. \\([1278]\\)\n");

// Cuts the file (of the given kind) around the pages that the components
// stored in it start and end on, and runs a whole conversion after each cut.
void cut_and_run(const testbook::GeneratedBook& book, const testbook::SourceFile& file, std::set<std::uint32_t> pages) {
  SCOPED_TRACE(file.path.string());
  const fs::path w = book.root.parent_path() / "work";
  auto run = [&] {
    fs::remove_all(w);
    fs::create_directories(w);
    return run_tolvex_in(w, {"-a", book.catalog.string()});
  };
  ASSERT_EQ(run().status, 0);
  const auto whole = e2e::read_tree(w / "Dic");
  for (const testbook::Component& c : book.subbooks.front().components)
    if (&testbook::component_file(book.subbooks.front(), c) == &file && c.range_count > 0)
      pages.insert({c.start_page, c.range_start, c.range_start + c.range_count - 1, c.range_start + c.range_count});
  const std::vector<std::uint8_t> pristine = e2e::read_file(file.path);
  std::set<std::uint64_t> cuts;
  for (std::uint32_t p : pages) {
    const std::uint64_t at = page_location(file.path, file.kind, p);
    for (std::uint64_t c : {at - 1, at, at + 1})
      if (at > 0 && c < pristine.size()) cuts.insert(c);
  }
  ASSERT_GT(cuts.size(), 3u);
  for (std::uint64_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    write_file(file.path, std::vector<std::uint8_t>(pristine.begin(), pristine.begin() + static_cast<long>(cut)));
    RunResult r = run();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Done.\nTime elapsed: ")) << r.output;
    const bool reported = std::regex_search(r.output, kChunkFailure) ||
        contains(r.output, "Can't read information block\n") ||
        (contains(r.output, "Can't open \"") && contains(r.output, file.path.filename().string() + "\"\n"));
    EXPECT_EQ(reported, e2e::read_tree(w / "Dic") != whole) << r.output;
  }
  write_file(file.path, pristine);
}

TEST(Truncation, PlainAndCompressedTextCutAroundTheComponentsPages) {
  for (int kind : {0, 1, 2}) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    ScratchDir dir;
    testbook::BookRecipe recipe = small_book(kind, kind != 0);
    recipe.subbooks.front().body_pages = 6;  // every cut is a whole run: keep the pages few
    auto book = testbook::write_book(dir.path() / "book", recipe);
    ASSERT_TRUE(book.ok()) << book.error;
    cut_and_run(book, book.subbooks.front().text, {book.subbooks.front().index_page});
  }
}

TEST(Truncation, SeparateGraphicAndSoundFilesCutAroundTheirPages) {
  ScratchDir dir;
  auto book = testbook::write_book(dir.path() / "book", small_book(0, true));
  ASSERT_TRUE(book.ok()) << book.error;
  cut_and_run(book, *book.subbooks.front().graphic, {});
  cut_and_run(book, *book.subbooks.front().sound, {});
}

}  // namespace
}  // namespace tolvex::hostile
