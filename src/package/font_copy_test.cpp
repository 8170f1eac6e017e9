#include "package/font_copy.h"

#include <gtest/gtest.h>

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

TEST_F(FontCopy, MultiBufferFilesAreCopiedByteForByte) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 7));
  write_file("book/GAIJI/FONT16F", data);
  EXPECT_EQ(copy_font_file(package("ABC"), "book/GAIJI/FONT16F", "FONT16F"), 0);
  EXPECT_EQ(read_file("Dic/ABC/FONT16F"), data);
  EXPECT_EQ(console_, "  Writing FONT16F\n");
}

TEST_F(FontCopy, NamesThatCouldLeaveThePackageDirectoryAreRefused) {
  write_file("book/GAIJI/FONT", "x");
  for (const char* name : {"../FONT", "..", ".", "", "a\\b", "C:FONT", "/tmp/FONT"}) {
    console_.clear();
    EXPECT_EQ(copy_font_file(package("ABC"), "book/GAIJI/FONT", name), -1) << name;
    EXPECT_EQ(console_, std::string("Can't copy font file \"") + name + "\": not a plain file name\n");
  }
  EXPECT_FALSE(std::filesystem::exists("Dic/FONT"));
  EXPECT_TRUE(std::filesystem::is_empty("Dic/ABC"));
}

TEST_F(FontCopy, MissingUnreadableOrShrinkingSourcesAreFailuresNotShortCopies) {
  EXPECT_EQ(copy_font_file(package("ABC"), "book/GAIJI/NONE", "NONE"), -1);
  EXPECT_EQ(copy_font_file(package("ABC"), "book/GAIJI", "FONT16F"), -1);
  EXPECT_EQ(console_, "  Writing NONE\nCan't copy font file \"FONT16F\": not a regular file\n");
  EXPECT_TRUE(std::filesystem::is_empty("Dic/ABC"));
  // A file of /sys says 4096 bytes and delivers a few: it behaves like a
  // file that shrinks while it is copied.
#ifdef __linux__
  const char* shrinking = "/sys/devices/system/cpu/online";
  if (std::filesystem::exists(shrinking)) {
    console_.clear();
    EXPECT_EQ(copy_font_file(package("ABC"), shrinking, "ONLINE"), -1);
    EXPECT_EQ(console_, std::string("  Writing ONLINE\nread() failed. (") + shrinking + ")\n");
  }
#endif
}

}  // namespace
}  // namespace tolvex
