// Source files cut at, just before and just after the first and last page
// boundaries of every component written: each run ends normally (status 0, "Done."), and a
// cut that takes away pages a data file needs is reported with the file and
// chunk, never passed over in silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

#include "components/component_table.h"
#include "hostile_support.h"

namespace tolvex::hostile {
namespace {

// Byte ranges of a file that a run with every flag must read: the index page,
// and for each written component its pages (a multi-search component needs
// its own page first; without it the range is unknown and nothing more is read).
struct Need {
  std::uint64_t gate_end = 0;  // end of the page that must be read to learn about the rest (0: none)
  std::uint64_t end = 0;       // end of the last page needed
};

const std::regex kChunkFailure("  Writing \\S+ \\(\\d+/\\d+ chunks\\)\nread_block\\(\\) failed\\. \\([1278]\\)\n");

class Truncation : public ::testing::Test {
 protected:
  // Cuts `file` (of the given kind, where page p is stored at location(p))
  // at and around the boundaries of the pages in `boundaries`, runs a whole
  // conversion after each cut, and checks the run against `needs`.
  void cut_and_run(const testbook::GeneratedBook& book, const fs::path& file, int kind,
                   const std::set<std::uint32_t>& boundaries, const std::vector<Need>& needs) {
    const std::vector<std::uint8_t> pristine = e2e::read_file(file);
    std::set<std::uint64_t> cuts;
    for (std::uint32_t p : boundaries) {
      const std::uint64_t at = page_location(file, kind, p);
      for (std::uint64_t c : {at - 1, at, at + 1}) {
        if (at > 0 && c < pristine.size()) cuts.insert(c);
      }
    }
    ASSERT_GT(cuts.size(), 3u);
    const fs::path w = dir_.path() / "work";
    for (std::uint64_t cut : cuts) {
      SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + file.string());
      write_file(file, std::vector<std::uint8_t>(pristine.begin(), pristine.begin() + static_cast<long>(cut)));
      fs::remove_all(w);
      fs::create_directories(w);
      RunResult r = run_tolvex_in(w, {"-a", book.catalog.string()});
      EXPECT_EQ(r.status, 0) << r.output;
      EXPECT_TRUE(contains(r.output, "Done.\nTime elapsed: ")) << r.output;
      bool lost = false;
      for (const Need& n : needs) {
        if (n.gate_end > cut) continue;  // the range could not be learnt: nothing is missed
        if (n.end > cut) lost = true;
      }
      const bool reported = std::regex_search(r.output, kChunkFailure) ||
                            contains(r.output, "Can't read information block\n") ||
                            contains(r.output, "Can't open \"" + file.string() + "\"\n");
      if (lost) {
        EXPECT_TRUE(reported) << "pages lost without a message:\n" << r.output;
      } else if (kind == 0) {
        EXPECT_FALSE(contains(r.output, "failed")) << r.output;
      }
    }
    write_file(file, pristine);
  }

  ScratchDir dir_;
};

// Pages of the text file that a run with -a needs, and the page boundaries
// of every written component. A compressed page whose stream is cut part way
// fails its read; a message is required at least once its whole stream is gone; and
// the pages that the run must read to learn the others (the index page, a
// multi-search page) gate their needs until their whole stream is there.
void text_needs(const testbook::GeneratedSubbook& sub, const fs::path& file, int kind, std::vector<Need>& needs,
                std::set<std::uint32_t>& boundaries) {
  std::set<std::uint64_t> starts;
  for (std::uint32_t p = 1; p <= sub.text.pages.size(); ++p) starts.insert(page_location(file, kind, p));
  const std::uint64_t size = fs::file_size(file);
  auto lost_below = [&](std::uint32_t page) { return page_location(file, kind, page) + (kind == 0 ? 2048 : 1); };
  auto whole_at = [&](std::uint32_t page) {
    if (kind == 0) return std::uint64_t{page} * 2048;
    auto next = starts.upper_bound(page_location(file, kind, page));
    return next == starts.end() ? size : *next;
  };
  const std::uint64_t index_gate = whole_at(sub.index_page);
  needs.push_back({0, lost_below(sub.index_page)});
  boundaries.insert(sub.index_page);
  for (const testbook::Component& c : sub.components) {
    if (match_component(c.code, 7) < 0 || c.file != testbook::FileRole::Text || c.range_count == 0) continue;
    const std::uint32_t last = c.range_start + c.range_count - 1;
    const std::uint64_t gate = c.code == MULTI_SEARCH_CODE ? std::max(index_gate, whole_at(c.start_page)) : index_gate;
    needs.push_back({gate, lost_below(last)});
    boundaries.insert({c.range_start, last, last + 1});
  }
}

TEST_F(Truncation, PlainAndCompressedTextCutAroundTheComponentsPages) {
  for (int kind : {0, 1, 2}) {
    SCOPED_TRACE("kind " + std::to_string(kind));
    testbook::BookSpec recipe = small_book(kind, kind != 0);
    recipe.subbooks.front().body_pages = 6;  // every cut is a whole run: keep the pages few
    auto book = testbook::write_book(dir_.path() / ("book" + std::to_string(kind)), recipe);
    ASSERT_TRUE(book.ok()) << book.error;
    const auto& sub = book.subbooks.front();
    std::vector<Need> needs;
    std::set<std::uint32_t> boundaries;
    text_needs(sub, sub.text.path, kind, needs, boundaries);
    cut_and_run(book, sub.text.path, kind, boundaries, needs);
  }
}

TEST_F(Truncation, SeparateGraphicAndSoundFilesCutAroundTheirPages) {
  auto book = testbook::write_book(dir_.path() / "book", small_book(0, true));
  ASSERT_TRUE(book.ok()) << book.error;
  const auto& sub = book.subbooks.front();
  for (const testbook::Component& c : sub.components) {
    if (c.file == testbook::FileRole::Text) continue;
    const testbook::SourceFile& f = testbook::component_file(sub, c);
    SCOPED_TRACE(f.path.string());
    const std::uint32_t last = c.range_start + c.range_count - 1;
    std::set<std::uint32_t> boundaries = {c.range_start, last, last + 1};
    const std::uint64_t end = page_location(f.path, f.kind, last) + (f.kind == 0 ? 2048 : 1);
    cut_and_run(book, f.path, f.kind, boundaries, {Need{0, end}});
  }
}

}  // namespace
}  // namespace tolvex::hostile
