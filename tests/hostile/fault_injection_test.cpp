// Real faults around a whole run: output paths taken by directories or a
// file, a log that cannot be written, and through the preloaded seam
// (fault_shim.cpp) full disks (ENOSPC), failing flushes and renames, stopped
// runs and runs short of memory or threads. Every run ends with its messages, and
// leaves the book as it was and no file torn.
#include <gtest/gtest.h>

#include "hostile_support.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <vector>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace tolvex::hostile {
namespace {

bool ends_normally(const RunResult& r) { return r.status == 0 && contains(r.output, "Done.\nTime elapsed: "); }

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = testbook::write_book(dir_.path() / "book", small_book(2, true));
    ASSERT_TRUE(book_.ok()) << book_.error;
    const RunResult good = run(work("good"));
    ASSERT_TRUE(ends_normally(good)) << good.output;
    good_output_ = e2e::without_times(good.output);
    package_ = read_tree(dir_.path() / "good" / "Dic");  // every file the run writes
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
  std::string good_output_;
  std::map<std::string, std::vector<std::uint8_t>> package_;
};

TEST_F(FaultInjection, EachPackageFileTakenByADirectoryIsReportedAndTheRunGoesOn) {
  int n = 0;
  ASSERT_GT(package_.size(), 10u);
  for (const auto& [name, bytes] : package_) {
    const std::string path = "Dic/" + name;
    SCOPED_TRACE(path);
    fs::path w = work("dir" + std::to_string(n++));
    fs::create_directories(w / path / "inner");
    RunResult r = run(w);
    EXPECT_TRUE(ends_normally(r)) << r.output;
    EXPECT_TRUE(contains(r.output, "Can't create \"" + path + "\"\n")) << r.output;
    EXPECT_TRUE(fs::is_directory(w / path / "inner"));
    // The files after the failing one in the writers' order are still attempted.
    EXPECT_TRUE(contains(r.output, "  Writing SAMPLE.REG\n")) << r.output;
  }
  // Dic/ a file: nothing can be created below it.
  const fs::path w = dir_.path() / "dicfile";
  fs::create_directories(w);
  write_file_text(w / "Dic", "x");
  RunResult r = run(w);
  EXPECT_TRUE(ends_normally(r)) << r.output;
  EXPECT_TRUE(contains(r.output, "Can't create \"Dic/SAMPLE/MENU.DIC\"\n")) << r.output;
  // The log taken by a directory: the console, status and package as without it.
  const fs::path nolog = work("nolog");
  fs::create_directory(nolog / "tolvex.log");
  r = run(nolog);
  EXPECT_EQ(e2e::without_times(r.output), good_output_);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_tree(nolog / "Dic"), package_);
  EXPECT_TRUE(fs::is_empty(nolog / "tolvex.log"));
  EXPECT_EQ(run_tolvex_in(nolog, {"missing/CATALOGS"}).status, 1);  // failing exits keep their status
}

// The names of the files below `dic`: a temporary file would be among them.
std::set<std::string> names_in(const fs::path& dic) {
  std::set<std::string> names;
  for (const auto& file : read_tree(dic)) names.insert(file.first);
  return names;
}

class Seamed : public FaultInjection {
 protected:
  void SetUp() override {
#if !defined(TOLVEX_FAULT_SHIM) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "SKIPPED: the fault seam is preloaded on Linux, without the address sanitizer";
#endif
    FaultInjection::SetUp();
  }
  // A run with TOLVEX_FAULT set as fault_shim.cpp reads it.
  RunResult run_with(const fs::path& w, const std::string& fault, const char* flags = "-a") {
#ifdef TOLVEX_FAULT_SHIM
    setenv("LD_PRELOAD", TOLVEX_FAULT_SHIM, 1);
    setenv("TOLVEX_FAULT", fault.c_str(), 1);
#endif
    RunResult r = run(w, flags);
#ifdef TOLVEX_FAULT_SHIM
    unsetenv("LD_PRELOAD");
    unsetenv("TOLVEX_FAULT");
#else
    (void)fault;
#endif
    return r;
  }
};

TEST_F(Seamed, AFailingWriteFlushOrRenameKeepsThePreviousFileAndLeavesNoneTorn) {
  int n = 0;
  const std::set<std::string> all = names_in(dir_.path() / "good" / "Dic");
  for (const auto& [name, bytes] : package_) {
    for (const std::string call : {"write", "fsync", "rename"}) {
      SCOPED_TRACE(name + " " + call);
      if (bytes.empty() && call == "write") continue;
      // Over a good package (a failing re-run): the file keeps its bytes.
      fs::path w = work("again" + std::to_string(n++));
      fs::copy(dir_.path() / "good" / "Dic", w / "Dic",
               fs::copy_options::recursive | fs::copy_options::overwrite_existing);
      RunResult r = run_with(w, call + ":" + name);
      EXPECT_TRUE(ends_normally(r)) << r.output;
      EXPECT_TRUE(contains(r.output, call == "write" ? "write() failed." : call + "() failed.")) << r.output;
      EXPECT_TRUE(read_file_bytes(w / "Dic" / name) == bytes);
      EXPECT_EQ(names_in(w / "Dic"), all);
      // A first run (an injected ENOSPC stands for a full disk): no file for
      // it, and no temporary file left.
      w = work("first" + std::to_string(n++));
      r = run_with(w, call + ":" + name);
      std::set<std::string> left = names_in(w / "Dic");
      EXPECT_FALSE(left.count(name));
      EXPECT_TRUE(std::includes(all.begin(), all.end(), left.begin(), left.end()));
    }
  }
}

TEST_F(Seamed, ARunStoppedAtAnyFileLeavesCompleteFilesAndTheNextRunNoStrayOne) {
  int n = 0;
  for (const auto& [name, bytes] : package_) {
    for (const std::string how : {"kill", "term"}) {
      SCOPED_TRACE(name + " " + how);
      const fs::path w = work("stop" + std::to_string(n++));
      // A temporary file of a live run (this one) and of a dead one.
      const std::string live = "X.DIC.tolvex-" + std::to_string(getpid()) + ".tmp";
      write_file_text(w / "Dic" / "SAMPLE" / live, "live");
      write_file_text(w / "Dic" / "SAMPLE" / "X.DIC.tolvex-999999999.tmp", "dead");
      EXPECT_NE(run_with(w, how + ":" + name).status, 0);
      auto left = read_tree(w / "Dic");
      EXPECT_EQ(left.erase("SAMPLE/" + live), 1u);
      EXPECT_FALSE(left.count(name));
      for (const auto& [file, content] : left) {
        const bool temporary = contains(file, ".tolvex-") && how == "kill";  // SIGTERM removes its own
        EXPECT_TRUE(temporary || (package_.count(file) && package_.at(file) == content)) << file;
      }
      EXPECT_TRUE(ends_normally(run(w)));
      left = read_tree(w / "Dic");
      EXPECT_EQ(left.erase("SAMPLE/" + live), 1u);
      EXPECT_TRUE(left == package_);
    }
  }
}

TEST_F(Seamed, ShortOfMemoryOrThreadsTheRunEndsWithAMessageAndNeverAborts) {
  std::smatch m;
  const std::string counted = run_with(work("count"), "malloc:0").output;
  ASSERT_TRUE(std::regex_search(counted, m, std::regex("fault seam: (\\d+) allocations")));
  for (int k = 1; k <= std::stoi(m[1]); ++k) {
    SCOPED_TRACE("allocation " + std::to_string(k));
    const fs::path w = work("memory" + std::to_string(k));
    const RunResult r = run_with(w, "malloc:" + std::to_string(k));
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.output;
    // The C library copes with some (a stream without its buffer).
    const std::string output = std::regex_replace(r.output, std::regex("fault seam: .*\n"), "");
    EXPECT_TRUE(contains(r.output, "malloc() failed. (5)") || contains(r.output, "Out of memory") ||
                e2e::without_times(output) == good_output_)
        << r.output;
    for (const auto& [name, bytes] : read_tree(w / "Dic")) EXPECT_TRUE(package_.count(name)) << name;
  }
  const fs::path w = work("threads");
  EXPECT_EQ(e2e::without_times(run_with(w, "thread").output), good_output_);
  EXPECT_TRUE(read_tree(w / "Dic") == package_);
}

}  // namespace
}  // namespace tolvex::hostile
