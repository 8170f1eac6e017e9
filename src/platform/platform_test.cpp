#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/console_text.h"
#include "platform/output_file.h"
#include "platform/temporary_registry.h"
#include "scratch_dir.h"

#if defined(__linux__)
#include <sched.h>
#endif

namespace tolvex::platform {
namespace {

namespace fs = std::filesystem;
using Platform = testing_support::ScratchCwdTest;

TEST_F(Platform, ResolvePathCaseFindsLowerCaseAndVersionedNamesOfDiscCopies) {
  fs::create_directories("book/dict/data");
  testing_support::write_file_text("book/dict/data/honmon", "x");
  testing_support::write_file_text("book/dict/data/GAIJI1;1", "y");
  // Whatever the file system's own rules, the resolved path opens the file.
  EXPECT_EQ(regular_file_size(resolve_path_case("BOOK/DICT/DATA/HONMON")), 1);
  EXPECT_EQ(regular_file_size(resolve_path_case("book/DICT/DATA/gaiji1")), 1);
  // (Absolute paths: the checker on disc copies in the whole-run tests.)
  // Nothing matches: the path comes back as built, for the message.
  EXPECT_EQ(resolve_path_case("BOOK/DICT/DATA/MISSING"), "BOOK/DICT/DATA/MISSING");
  EXPECT_EQ(resolve_path_case(""), "");
}

#ifndef _WIN32
// Windows keeps no two names that differ in case only, nor one ending in ".".
TEST_F(Platform, OfSeveralDiscFormsTheNameAsBuiltThenTheLeastDecoratedThenByteOrderWins) {
  const std::vector<std::vector<std::string>> cases = {// the one chosen first
                                                       {"HONMON", "honmon.;1"},
                                                       {"honmon", "HONMON.;1", "HONMON;1", "HONMON."},
                                                       {"HONMON.", "HONMON.;1", "HONMON;1"},
                                                       {"HONMON;1", "honmon.;1"},
                                                       {"Honmon.", "honmon.", "hONMON."}};
  for (std::size_t n = 0; n < cases.size(); ++n) {
    const std::string dir = "case" + std::to_string(n);
    fs::create_directories(dir + "/DATA");
    for (const std::string& entry : cases[n]) testing_support::write_file_text(dir + "/DATA/" + entry, entry);
    EXPECT_EQ(resolve_path_case(dir + "/data/HONMON"), dir + "/DATA/" + cases[n][0]);
  }
}
#endif

TEST(DiscNames, EveryIso9660FormOfANameMatchesAndNothingElse) {
  for (const char* entry : {"HONMON", "honmon", "HONMON.", "HONMON;1", "honmon.;1", "Honmon."}) {
    EXPECT_TRUE(matches_disc_name(entry, "HONMON")) << entry;
  }
  EXPECT_TRUE(matches_disc_name("HONMON.EBZ;1", "HONMON.ebz"));
  for (const char* entry : {"HONMON..", "HONMON;2", "HONMON;1;1", "HONMO", "HONMONX", ".;1", ""}) {
    EXPECT_FALSE(matches_disc_name(entry, "HONMON")) << entry;
  }
}

// A temporary file of this process id (left by a stopped run whose id has
// come round again) is taken over; a create that failed gives its clean-up
// slot back once, so a later file keeps its own.
TEST_F(Platform, OutputFilesTakeOverStaleTemporariesAndKeepTheirCleanUpSlots) {
  const int free_slot = register_temporary("probe");
  unregister_temporary(free_slot);
  OutputFile failed, kept;
  EXPECT_FALSE(failed.create("missing/F"));
  testing_support::write_file_text(temporary_name("F"), "stale");
  ASSERT_TRUE(kept.create("F"));
  failed.abandon();
  EXPECT_NE(register_temporary("probe"), free_slot);
  ASSERT_EQ(kept.write("new", 3), 3);
  EXPECT_EQ(kept.commit(), nullptr);
  EXPECT_EQ(testing_support::read_file_text("F"), "new");
}

#ifndef _WIN32
// Titles to the console character by character: a one-byte character
// between two-byte ones, and a lead byte that ends the title, shown as "?".
TEST(ConsoleText, SingleAndDoubleByteCharactersAndACutOneAtTheEnd) {
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(console_text_from_sjis("\x8C\xA9\x41\x96\x7B\x81"), "見A本?");  // 0x41: "A"
}
#endif

#if defined(__linux__)
// The default number of compression threads follows the processors the run
// is allowed on (as under `taskset -c 0`), not the machine's count.
TEST(UsableProcessors, FollowsTheAffinityOfTheProcess) {
  cpu_set_t all;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  EXPECT_EQ(usable_processors(), CPU_COUNT(&all));
  int first = 0;
  while (!CPU_ISSET(first, &all)) ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  EXPECT_EQ(usable_processors(), 1);
  ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
}
#endif

}  // namespace
}  // namespace tolvex::platform
