#include "package/font_copy.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "package/package_test_support.h"

namespace tolvex {
namespace {

class FontCopy : public testing_support::PackageDirTest {
 protected:
  void SetUp() override {
    PackageDirTest::SetUp();
    std::filesystem::create_directories("book/GAIJI");
    make_package_dir("ABC");
  }
};

// Copying byte for byte is checked on whole runs. Here: a name from the book
// that could lead out of the package directory, a missing source and one that
// is not a file copy nothing.
TEST_F(FontCopy, UnsafeNamesAndMissingOrUnreadableSourcesAreFailuresNotCopies) {
  write_file("book/GAIJI/FONT", "x");
  std::vector<std::array<std::string, 3>> cases = {
      {"book/GAIJI/NONE", "NONE", "  Writing NONE\n"},
      {"book/GAIJI", "FONT16F", "Can't copy font file \"FONT16F\": not a regular file\n"}};
  for (const char* name : {"../FONT", "..", ".", "", "a\\b", "C:FONT", "/tmp/FONT"})
    cases.push_back(
        {"book/GAIJI/FONT", name, std::string("Can't copy font file \"") + name + "\": not a plain file name\n"});
  for (const auto& [source, name, console] : cases) {
    console_.clear();
    EXPECT_EQ(copy_font_file(package("ABC"), source, name), -1) << name;
    EXPECT_EQ(console_, console);
  }
  EXPECT_FALSE(std::filesystem::exists("Dic/FONT"));
  EXPECT_TRUE(std::filesystem::is_empty("Dic/ABC"));
}

// A file of /sys says 4096 bytes and delivers a few: it behaves like a file
// that shrinks while it is copied. A shortened copy is a failure.
#ifdef __linux__
TEST_F(FontCopy, AShrinkingSourceIsAFailedRead) {
  const char* shrinking = "/sys/devices/system/cpu/online";
  if (!std::filesystem::exists(shrinking)) GTEST_SKIP();
  EXPECT_EQ(copy_font_file(package("ABC"), shrinking, "ONLINE"), -1);
  EXPECT_EQ(console_, std::string("  Writing ONLINE\nread() failed. (") + shrinking + ")\n");
}
#endif

}  // namespace
}  // namespace tolvex
