// Real faults around a run: a full device, output paths taken by
// directories, source files that cannot be read, a log that cannot be
// written. Every run ends with its documented messages and status 0.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "hostile_support.h"

namespace tolvex::hostile {
namespace {

std::string normalised(const std::string& output) {
  return std::regex_replace(output, std::regex("Time elapsed: \\d+:\\d\\d"), "Time elapsed: E");
}

bool ends_normally(const RunResult& r) { return r.status == 0 && contains(r.output, "Done.\nTime elapsed: "); }

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = testbook::write_book(dir_.path() / "book", small_book(2, true));
    ASSERT_TRUE(book_.ok()) << book_.error;
    catalog_ = book_.catalog.string();
  }
  // A fresh working directory with Dic/SAMPLE made.
  fs::path work(const std::string& name) {
    fs::path w = dir_.path() / name;
    fs::create_directories(w / "Dic" / "SAMPLE");
    return w;
  }
  const testbook::GeneratedSubbook& sample() const { return book_.subbooks.front(); }

  ScratchDir dir_;
  testbook::GeneratedBook book_;
  std::string catalog_;
};

TEST_F(FaultInjection, EveryPackageFileOnAFullDeviceIsReportedAndTheRunGoesOn) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "SKIPPED: no /dev/full on this platform";
  const std::vector<std::string> paths = package_paths(sample(), 7);
  ASSERT_GE(paths.size(), 10u);
  int n = 0;
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    fs::path w = work("full" + std::to_string(n++));
    fs::create_symlink("/dev/full", w / path);
    RunResult r = run_tolvex_in(w, {"-a", catalog_});
    EXPECT_TRUE(ends_normally(r)) << r.output;
    EXPECT_TRUE(contains(r.output, "failed.")) << r.output;
    // The files after the failing one in the writers' order are still attempted.
    EXPECT_TRUE(contains(r.output, "  Writing SAMPLE.REG\n")) << r.output;
  }
  // Every file at once.
  fs::path w = work("all-full");
  for (const std::string& path : paths) fs::create_symlink("/dev/full", w / path);
  RunResult r = run_tolvex_in(w, {"-a", catalog_});
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_TRUE(contains(r.output, "write() failed. (4)\n")) << r.output;
  EXPECT_TRUE(contains(r.output, "write() failed. (12)\n")) << r.output;
}

TEST_F(FaultInjection, OutputPathsTakenByDirectoriesAreReportedAndLeftAlone) {
  const std::vector<std::string> paths = package_paths(sample(), 7);
  int n = 0;
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    fs::path w = work("dir" + std::to_string(n++));
    fs::create_directories(w / path / "inner");
    RunResult r = run_tolvex_in(w, {"-a", catalog_});
    EXPECT_TRUE(ends_normally(r)) << r.output;
    const bool data_or_index = path.ends_with(".DIC") || path.ends_with(".IDX");
    if (data_or_index) {
      EXPECT_TRUE(contains(r.output, "Can't create \"" + path + "\"\n")) << r.output;
    }
    EXPECT_TRUE(fs::is_directory(w / path / "inner"));
    EXPECT_TRUE(contains(r.output, "  Writing SAMPLE.REG\n")) << r.output;
  }
  // Dic itself a plain file: nothing can be created, every writer says so.
  fs::path w = dir_.path() / "dic-file";
  fs::create_directories(w);
  write_file(w / "Dic", {'x'});
  RunResult r = run_tolvex_in(w, {"-a", catalog_});
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_TRUE(contains(r.output, "Can't create \"Dic/SAMPLE/")) << r.output;
  EXPECT_EQ(e2e::read_text(w / "Dic"), "x");
}

TEST_F(FaultInjection, ADirectoryWhereASourceFileShouldBeFailsItsRead) {
  // Compressed text file: its header cannot be read, the open fails.
  fs::path text = sample().text.path;
  fs::rename(text, text.string() + ".away");
  fs::create_directory(text);
  fs::path w = work("text");
  RunResult r = run_tolvex_in(w, {"-a", catalog_});
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_TRUE(contains(r.output, "Can't open \"" + text.string() + "\"\nNothing to do.\n")) << r.output;
  EXPECT_TRUE(fs::is_empty(w / "Dic" / "SAMPLE"));
  fs::remove(text);
  fs::rename(text.string() + ".away", text);

  // Graphic file (plain): it opens, and the first page read fails.
  fs::path graphic = sample().graphic->path;
  fs::rename(graphic, graphic.string() + ".away");
  fs::create_directory(graphic);
  w = work("graphic");
  r = run_tolvex_in(w, {"-a", catalog_});
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("Writing \\S+ \\(1/\\d+ chunks\\)\nread_block\\(\\) failed\\. \\([17]\\)\n")))
      << r.output;
  fs::remove(graphic);
  fs::rename(graphic.string() + ".away", graphic);

  // Font file: the copy reports the read failure and the package is finished.
  fs::path font = sample().font_files.front();
  fs::rename(font, font.string() + ".away");
  fs::create_directory(font);
  w = work("font");
  r = run_tolvex_in(w, {"-a", catalog_});
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_TRUE(contains(r.output, "read() failed. (" + font.string() + ")\n")) << r.output;
  EXPECT_TRUE(fs::exists(w / "Dic" / "SAMPLE.REG"));
  fs::remove(font);
  fs::rename(font.string() + ".away", font);

  // Plain text file of an EPWING V1 subbook: it opens, the index page cannot be read.
  testbook::BookSpec v1 = small_book(0, false);
  v1.subbooks.front().entry_version = 1;
  auto plain = testbook::write_book(dir_.path() / "v1", v1);
  ASSERT_TRUE(plain.ok()) << plain.error;
  fs::remove(plain.subbooks.front().text.path);
  fs::create_directory(plain.subbooks.front().text.path);
  w = work("v1");
  r = run_tolvex_in(w, {"-a", plain.catalog.string()});
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_TRUE(contains(r.output, "Can't read information block\nNothing to do.\n")) << r.output;
}

TEST_F(FaultInjection, UnreadablePermissionsFailTheOpen) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "SKIPPED: running as root, where permissions do not stop reads "
                    "(ADirectoryWhereASourceFileShouldBeFailsItsRead covers failing reads)";
  }
  fs::path text = sample().text.path;
  ASSERT_EQ(chmod(text.c_str(), 0), 0);
  fs::path w = work("perm");
  RunResult r = run_tolvex_in(w, {"-a", catalog_});
  chmod(text.c_str(), 0644);
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_TRUE(contains(r.output, "Can't open \"" + text.string() + "\"\n")) << r.output;

  ASSERT_EQ(chmod(book_.catalog.c_str(), 0), 0);
  r = run_tolvex_in(w, {"-a", catalog_});
  chmod(book_.catalog.c_str(), 0644);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.output, "Can't open \"" + catalog_ + "\"\n")) << r.output;
}

TEST_F(FaultInjection, ALogThatCannotBeWrittenLeavesTheConsoleAndStatusAlone) {
  fs::path good = work("good");
  RunResult expected = run_tolvex_in(good, {"-a", catalog_});
  ASSERT_TRUE(ends_normally(expected)) << expected.output;

  fs::path w = work("nolog");
  fs::create_directory(w / "tolvex.log");
  RunResult r = run_tolvex_in(w, {"-a", catalog_});
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_EQ(normalised(r.output), normalised(expected.output));
  EXPECT_EQ(e2e::read_tree(w / "Dic"), e2e::read_tree(good / "Dic"));
  EXPECT_TRUE(fs::is_empty(w / "tolvex.log"));

  // The failing exits keep their status and messages too.
  r = run_tolvex_in(w, {"missing/CATALOGS"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.output, "Can't open \"missing/CATALOGS\"\n")) << r.output;
  r = run_tolvex_in(w, {catalog_, "sample", "ninechars"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.output, "New directory name too long (max 8 characters)\n")) << r.output;
}

}  // namespace
}  // namespace tolvex::hostile
