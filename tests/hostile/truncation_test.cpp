// Source files cut at and just around the first and last page boundaries of
// every component written: each run ends normally (status 0, "Done."), and
// gives the package of the whole book unless it reports the failed read with
// the file and chunk, or the unreadable index or file: a cut is never passed
// over in silence.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <span>

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
    return run_tolvex_in(w, {"-a", book.catalog.string()}, book.root);
  };
  ASSERT_EQ(run().status, 0);
  const auto whole = read_tree(w / "Dic");
  for (const testbook::Component& c : book.subbooks.front().components)
    if (&testbook::component_file(book.subbooks.front(), c) == &file && c.range_count > 0)
      pages.insert({c.start_page, c.range_start, c.range_start + c.range_count - 1, c.range_start + c.range_count});
  const std::vector<std::uint8_t> pristine = read_file_bytes(file.path);
  std::set<std::uint64_t> cuts;
  for (std::uint32_t p : pages) {
    const std::uint64_t at = testbook::page_offset(file, p);
    for (std::uint64_t c : {at - 1, at, at + 1})
      if (at > 0 && c < pristine.size()) cuts.insert(c);
  }
  ASSERT_GT(cuts.size(), 3u);
  for (std::uint64_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    write_file_bytes(file.path, std::span(pristine).first(cut));
    RunResult r = run();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Done.\nTime elapsed: ")) << r.output;
    const bool reported = std::regex_search(r.output, kChunkFailure) ||
        contains(r.output, "Can't read information block\n") ||
        (contains(r.output, "Can't open \"") && contains(r.output, file.path.filename().string() + "\"\n"));
    EXPECT_EQ(reported, read_tree(w / "Dic") != whole) << r.output;
  }
  write_file_bytes(file.path, pristine);
}

TEST(Truncation, TextGraphicAndSoundFilesCutAroundTheComponentsPages) {
  for (int kind : {0, 1, 2}) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    ScratchDir dir;
    // Every cut is a whole run: the pages are few.
    auto book = testbook::write_book(dir.path() / "book", small_book(kind, kind != 0, 6));
    ASSERT_TRUE(book.ok()) << book.error;
    const testbook::GeneratedSubbook& sub = book.subbooks.front();
    cut_and_run(book, sub.text, {sub.index_page});
    if (kind != 2) continue;
    cut_and_run(book, *sub.graphic, {});  // plain
    cut_and_run(book, *sub.sound, {});    // kind 1
  }
}

// A plain text cut in the body's 16th page fails the first chunk's own read,
// in its 17th page the read of the page after the chunk: each failure has its
// number, for raw (-r) and compressed chunks, and ends the subbook's data files.
TEST(Truncation, AFailedReadNamesWhereItFailed) {
  ScratchDir dir;
  auto book = testbook::write_book(dir.path() / "book", small_book(0, false));
  ASSERT_TRUE(book.ok()) << book.error;
  const testbook::SourceFile& text = book.subbooks.front().text;
  const std::vector<std::uint8_t> pristine = read_file_bytes(text.path);
  const struct {
    const char* flag;
    std::uint32_t whole_pages;
    const char* code;
  } rows[] = {{"-a", 15, "(7)"}, {"-r", 15, "(1)"}, {"-a", 16, "(8)"}, {"-r", 16, "(2)"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.flag) + " " + row.code);
    const std::uint64_t cut = testbook::page_offset(text, book.subbooks.front().body_start + row.whole_pages) + 100;
    write_file_bytes(text.path, std::span(pristine).first(cut));
    fs::remove_all(dir.path() / "Dic");
    const RunResult r = run_tolvex_in(dir.path(), {row.flag, book.catalog.string()}, book.root);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.output, std::string("  Writing HONMON.DIC (1/2 chunks)\nread_block() failed. ") + row.code))
        << r.output;
    EXPECT_FALSE(fs::exists(dir.path() / "Dic" / "SAMPLE" / "KAINDEX.DIC"));  // the data files after it are not begun
  }
}

}  // namespace
}  // namespace tolvex::hostile
