// Real faults around a whole run: a full device, output paths taken by
// directories or a file, a log that cannot be written. Every run ends with
// its messages and status 0, and leaves the book as it was.
#include <gtest/gtest.h>

#include "hostile_support.h"

namespace tolvex::hostile {
namespace {

bool ends_normally(const RunResult& r) { return r.status == 0 && contains(r.output, "Done.\nTime elapsed: "); }

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = testbook::write_book(dir_.path() / "book", small_book(2, true));
    ASSERT_TRUE(book_.ok()) << book_.error;
  }
  // A fresh working directory with Dic/SAMPLE made.
  fs::path work(const std::string& name) {
    fs::create_directories(dir_.path() / name / "Dic" / "SAMPLE");
    return dir_.path() / name;
  }
  RunResult run(const fs::path& w, const char* flags = "-a") {
    return run_tolvex_in(w, {flags, book_.catalog.string()}, book_.root);
  }

  ScratchDir dir_;
  testbook::GeneratedBook book_;
};

TEST_F(FaultInjection, EachPackageFileOnAFullDeviceOrTakenByADirectoryIsReportedAndTheRunGoesOn) {
  const bool full = fs::exists("/dev/full");
  int n = 0;
  const fs::path good = work("good");
  ASSERT_TRUE(ends_normally(run(good)));
  const auto package = read_tree(good / "Dic");  // every file the run writes
  ASSERT_GT(package.size(), 10u);
  for (const auto& [name, bytes] : package) {
    const std::string path = "Dic/" + name;
    SCOPED_TRACE(path);
    fs::path w = work("dir" + std::to_string(n++));
    fs::create_directories(w / path / "inner");
    RunResult r = run(w);
    EXPECT_TRUE(ends_normally(r)) << r.output;
    if (path.ends_with(".DIC") || path.ends_with(".IDX")) {
      EXPECT_TRUE(contains(r.output, "Can't create \"" + path + "\"\n")) << r.output;
    }
    EXPECT_TRUE(fs::is_directory(w / path / "inner"));
    // The files after the failing one in the writers' order are still attempted.
    EXPECT_TRUE(contains(r.output, "  Writing SAMPLE.REG\n")) << r.output;
    if (!full) continue;
    w = work("full" + std::to_string(n));
    fs::create_symlink("/dev/full", w / path);
    r = run(w);
    EXPECT_TRUE(ends_normally(r)) << r.output;
    // A data file fails at its header.
    EXPECT_TRUE(contains(r.output, path.ends_with(".DIC") ? "\nwrite() failed. (4)\n" : "failed.")) << r.output;
    EXPECT_TRUE(contains(r.output, "  Writing SAMPLE.REG\n")) << r.output;
  }
  // Dic/ a file: nothing can be created below it.
  const fs::path w = dir_.path() / "dicfile";
  fs::create_directories(w);
  write_file_text(w / "Dic", "x");
  RunResult r = run(w);
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_TRUE(contains(r.output, "Can't create \"Dic/SAMPLE/MENU.DIC\"\n")) << r.output;
  if (!full) return;
  // Raw chunks (-r) fail where the chunk is written.
  fs::create_symlink("/dev/full", work("raw") / "Dic" / "SAMPLE" / "MENU.DIC");
  r = run(dir_.path() / "raw", "-r");
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_TRUE(contains(r.output, "  Writing MENU.DIC (1/1 chunks)\nwrite() failed. (3)\n")) << r.output;
}

TEST_F(FaultInjection, ALogThatCannotBeWrittenLeavesTheConsoleStatusAndPackageAlone) {
  const fs::path good = work("good");
  run(good);
  const RunResult expected = run(good);  // the second run replaces the package
  ASSERT_TRUE(ends_normally(expected)) << expected.output;
  const fs::path w = work("nolog");
  fs::create_directory(w / "tolvex.log");
  const RunResult r = run(w);
  EXPECT_EQ(e2e::without_times(r.output), e2e::without_times(expected.output));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_tree(w / "Dic"), read_tree(good / "Dic"));
  EXPECT_TRUE(fs::is_empty(w / "tolvex.log"));
  EXPECT_EQ(run_tolvex_in(w, {"missing/CATALOGS"}).status, 1);  // failing exits keep their status
}

}  // namespace
}  // namespace tolvex::hostile
