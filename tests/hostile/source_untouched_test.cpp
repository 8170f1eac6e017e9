// The source book is only ever read (every whole-run test checks that after
// each run): runs inside the book's own directories, and book files that are
// not regular files.
#include <gtest/gtest.h>

#include "hostile_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace tolvex::hostile {
namespace {

// Puts a file that is not a regular file at p: "FIFO", "loop" (a link to
// itself), "directory", or a link to the device named. False when
// this system cannot have it.
bool make_special(const std::string& kind, const fs::path& p) {
  std::error_code ec;
  if (kind == "directory") return fs::create_directory(p, ec);
#ifdef _WIN32
  return false;
#else
  if (kind == "FIFO") return ::mkfifo(p.c_str(), 0644) == 0;
  fs::create_symlink(kind == "loop" ? p.filename() : fs::path(kind), p, ec);
  return !ec;
#endif
}

TEST(SourceBook, RunsInsideTheBookDirectoryTouchOnlyTheirOutputs) {
  ScratchDir dir;
  auto book = testbook::write_book(dir.path() / "book", small_book(2, true));
  ASSERT_TRUE(book.ok()) << book.error;
  // Directories that receive Dic/ or the log get a new time; their files do not.
  auto files = [&] {
    auto print = fingerprint(book.root);
    std::erase_if(print, [&](const auto& e) { return fs::is_directory(book.root / e.first); });
    return print;
  };
  const auto before = files();
  // Output beside the catalog, and inside the subbook's DATA directory,
  // whose package directory would be named like the subbook.
  for (const fs::path& w : {book.root, book.root / "SAMPLE" / "DATA", book.root / "SAMPLE"}) {
    SCOPED_TRACE(w.string());
    RunResult r = run_tolvex_in(w, {"-a", book.catalog.string()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(fs::exists(w / "Dic" / "SAMPLE.REG")) << r.output;
    fs::remove_all(w / "Dic");
    fs::remove(w / "tolvex.log");
    EXPECT_EQ(files(), before) << "a file changed, or one was added outside Dic/ and the log";
  }
}

// Archives can carry FIFOs, device links and link loops. Each one in
// the place of a book file or of icon.def is refused at once, as if it were
// missing (the font copy says why): same status, same package, nothing
// written for it, and the book left as it was.
TEST(SourceBook, FilesThatAreNotRegularFilesAreTakenForMissingOnes) {
  ScratchDir dir;
  auto book = testbook::write_book(dir.path() / "book", small_book(1, true));
  ASSERT_TRUE(book.ok()) << book.error;
  const testbook::GeneratedSubbook& s = book.subbooks.front();
  const std::vector<std::string> args = {"-a", book.catalog.string()};
  const fs::path font = s.font_files.front(), aside = dir.path() / "aside", icon_def = "icon.def";
  int n = 0;
  std::string skipped;
  for (const fs::path& place : {book.catalog, s.text.path, s.graphic->path, s.sound->path, font, icon_def}) {
    SCOPED_TRACE(place.string());
    if (place.is_absolute()) fs::rename(place, aside);
    const fs::path w0 = dir.path() / ("w" + std::to_string(n++));
    fs::create_directories(w0);
    const RunResult missing = run_tolvex_in(w0, args, {}, 60);
    std::string expected = e2e::without_times(missing.output);
    if (place == font) {
      const std::string line = "  Writing " + font.filename().string() + "\n";
      ASSERT_TRUE(contains(expected, line)) << expected;
      expected.replace(expected.find(line), line.size(),
                       "Can't copy font file \"" + font.filename().string() + "\": not a regular file\n");
    }
    for (const std::string kind : {"FIFO", "/dev/zero", "/dev/null", "loop", "directory"}) {
      SCOPED_TRACE(kind);
      const fs::path w = dir.path() / ("w" + std::to_string(n++));
      fs::create_directories(w);
      const fs::path special = place.is_absolute() ? place : w / place;
      if (!make_special(kind, special)) {
        if (place == font) skipped += " " + kind;
        continue;
      }
      RunResult r = run_tolvex_in(w, args, book.root, 60);
      EXPECT_EQ(r.status, missing.status) << r.output;
      EXPECT_EQ(e2e::without_times(r.output), expected);
      EXPECT_TRUE(read_tree(w / "Dic") == read_tree(w0 / "Dic")) << "Dic/ differs from a run without it";
      fs::remove(special);
    }
    if (place.is_absolute()) fs::rename(aside, place);
  }
  if (!skipped.empty()) GTEST_SKIP() << "this system cannot make:" << skipped << " (only the others were tried)";
}

}  // namespace
}  // namespace tolvex::hostile
