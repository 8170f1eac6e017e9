// The source book is only ever read: after every kind of run and failure,
// every file and directory of the book has the same bytes, size,
// permissions and modification time, and nothing was added to it.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "hostile_support.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace tolvex::hostile {
namespace {

// Puts a file that is not a regular file at p: "FIFO", "socket", "loop" (a
// link to itself), "directory", or a link to the device named. False when
// this system cannot have it.
bool make_special(const std::string& kind, const fs::path& p) {
  std::error_code ec;
  if (kind == "directory") return fs::create_directory(p, ec);
#ifdef _WIN32
  return false;
#else
  if (kind == "FIFO") return ::mkfifo(p.c_str(), 0644) == 0;
  if (kind == "socket") {
    // Bound by its relative name: the full path may not fit in sun_path.
    const fs::path cwd = fs::current_path();
    fs::current_path(p.parent_path());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, p.filename().c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool made = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    fs::current_path(cwd);
    return made;
  }
  fs::create_symlink(kind == "loop" ? p.filename() : fs::path(kind), p, ec);
  return !ec;
#endif
}

std::string without_elapsed_time(std::string output) { return output.substr(0, output.rfind("Done.")); }

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
  for (auto [args, w, status] :
       std::vector<std::tuple<std::vector<std::string>, fs::path, int>>{{{"-a", cat}, again, 0},
                                                                        {{"-a", cat}, again, 0},
                                                                        {{"-a", "-r", cat}, fresh(), 0},
                                                                        {{"-o", "-n", cat}, fresh(), 0},
                                                                        {{cat, "furoku", "mydic"}, fresh(), 0},
                                                                        {{cat, "guide"}, fresh(), 0},
                                                                        {{"-x", cat}, fresh(), 1},
                                                                        {{cat, "sample", "ninechars"}, fresh(), 1}}) {
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

// Archives can carry FIFOs, device links, sockets and link loops. Each one in
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
    const RunResult missing = run_tolvex_in(w0, args, 60);
    std::string expected = without_elapsed_time(missing.output);
    if (place == font) {
      const std::string line = "  Writing " + font.filename().string() + "\n";
      ASSERT_TRUE(contains(expected, line)) << expected;
      expected.replace(expected.find(line), line.size(),
                       "Can't copy font file \"" + font.filename().string() + "\": not a regular file\n");
    }
    for (const std::string kind : {"FIFO", "/dev/zero", "/dev/null", "socket", "loop", "directory"}) {
      SCOPED_TRACE(kind);
      const fs::path w = dir.path() / ("w" + std::to_string(n++));
      fs::create_directories(w);
      const fs::path special = place.is_absolute() ? place : w / place;
      if (!make_special(kind, special)) {
        if (place == font) skipped += " " + kind;
        continue;
      }
      const auto before = fingerprint(book.root);
      RunResult r = run_tolvex_in(w, args, 60);
      EXPECT_EQ(r.status, missing.status) << r.output;
      EXPECT_EQ(without_elapsed_time(r.output), expected);
      EXPECT_TRUE(e2e::read_tree(w / "Dic") == e2e::read_tree(w0 / "Dic")) << "Dic/ differs from a run without it";
      EXPECT_EQ(fingerprint(book.root), before);
      fs::remove(special);
    }
    if (place.is_absolute()) fs::rename(aside, place);
  }
  if (!skipped.empty()) GTEST_SKIP() << "this system cannot make:" << skipped << " (only the others were tried)";
}

}  // namespace
}  // namespace tolvex::hostile
