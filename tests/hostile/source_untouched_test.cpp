// The source book is only ever read: after every kind of run and failure,
// every file and directory of the book has the same bytes, size,
// permissions and modification time, and nothing was added to it.
#include <gtest/gtest.h>

#include <tuple>

#include "hostile_support.h"

namespace tolvex::hostile {
namespace {

testbook::BookRecipe three_subbooks() {
  testbook::BookRecipe recipe = small_book(2, true);
  testbook::SubbookRecipe appendix;
  appendix.dir_name = "FUROKU";
  appendix.entry_version = 1;
  appendix.body_pages = 8;
  appendix.multi_searches = 1;
  testbook::SubbookRecipe stream;
  stream.dir_name = "GUIDE";
  stream.book_type = 0xF0;
  recipe.subbooks.push_back(appendix);
  recipe.subbooks.push_back(stream);
  return recipe;
}

TEST(SourceBook, IsNeverChangedByAnyRunOrFailure) {
  ScratchDir dir;
  auto book = testbook::write_book(dir.path() / "book", three_subbooks());
  ASSERT_TRUE(book.ok()) << book.error;
  const std::string cat = book.catalog.string();
  const auto before = fingerprint(book.root);
  int n = 0;
  auto check = [&](const std::vector<std::string>& args, const fs::path& w, int status) {
    SCOPED_TRACE(w.filename().string());
    RunResult r = run_tolvex_in(w, args);
    EXPECT_EQ(r.status, status) << r.output;
    EXPECT_EQ(fingerprint(book.root), before) << r.output;
  };
  auto fresh = [&] {
    fs::path w = dir.path() / ("w" + std::to_string(n++));
    fs::create_directories(w);
    return w;
  };

  // Ordinary and refused runs of every kind; the same directory twice replaces the package.
  const fs::path again = fresh();
  for (auto [args, w, status] : std::vector<std::tuple<std::vector<std::string>, fs::path, int>>{
           {{"-a", cat}, again, 0}, {{"-a", cat}, again, 0}, {{"-a", "-r", cat}, fresh(), 0},
           {{"-o", "-n", cat}, fresh(), 0}, {{cat, "furoku", "mydic"}, fresh(), 0}, {{cat, "guide"}, fresh(), 0},
           {{"-x", cat}, fresh(), 1}, {{cat, "sample", "ninechars"}, fresh(), 1}}) {
    check(args, w, status);
  }
  // Failures on the output side: an unwritable log, Dic a file, a full device, a path taken.
  fs::path w = fresh();
  fs::create_directory(w / "tolvex.log");
  check({"-a", cat}, w, 0);
  w = fresh();
  write_file(w / "Dic", {'x'});
  check({"-a", cat}, w, 0);
  w = fresh();
  fs::create_directories(w / "Dic" / "SAMPLE" / "HONMON.DIC");
  check({"-a", cat}, w, 0);
  if (!fs::exists("/dev/full")) return;
  w = fresh();
  fs::create_directories(w / "Dic" / "SAMPLE");
  for (const std::string& path : package_paths(book.subbooks.front(), 7)) fs::create_symlink("/dev/full", w / path);
  check({"-a", cat}, w, 0);
}

TEST(SourceBook, RunsInsideTheBookDirectoryTouchOnlyTheirOutputs) {
  ScratchDir dir;
  auto book = testbook::write_book(dir.path() / "book", three_subbooks());
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

}  // namespace
}  // namespace tolvex::hostile
