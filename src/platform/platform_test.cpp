#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tolvex::platform {
namespace {

namespace fs = std::filesystem;

TEST(ResolvePathCase, FindsLowerCaseAndVersionedNamesOfDiscCopies) {
  fs::path root = fs::temp_directory_path() / "tolvex_platform_resolve";
  fs::remove_all(root);
  fs::create_directories(root / "book" / "dict" / "data");
  std::ofstream(root / "book" / "dict" / "data" / "honmon") << "x";
  std::ofstream(root / "book" / "dict" / "data" / "GAIJI1;1") << "y";
  const std::string base = (root / "book").string() + "/";

  EXPECT_EQ(resolve_path_case(base + "DICT/DATA/HONMON"), base + "dict/data/honmon");
  EXPECT_EQ(resolve_path_case(base + "DICT/DATA/gaiji1"), base + "dict/data/GAIJI1;1");
  EXPECT_EQ(resolve_path_case(base + "dict/data/honmon"), base + "dict/data/honmon");
  // Nothing matches: the path comes back as built, for the message.
  EXPECT_EQ(resolve_path_case(base + "DICT/DATA/MISSING"), base + "DICT/DATA/MISSING");
  EXPECT_EQ(resolve_path_case(""), "");

  fs::path old = fs::current_path();
  fs::current_path(root);
  EXPECT_EQ(resolve_path_case("BOOK/DICT/DATA/HONMON"), "book/dict/data/honmon");
  fs::current_path(old);
  fs::remove_all(root);
}

TEST(Directories, CreatingAnExistingDirectoryIsNoError) {
  fs::path dir = fs::temp_directory_path() / "tolvex_platform_mkdir";
  fs::remove_all(dir);
  EXPECT_EQ(make_directory(dir.string()), 0);
  EXPECT_EQ(make_directory(dir.string()), 0);
  EXPECT_TRUE(is_directory(dir.string()));
  EXPECT_EQ(regular_file_size(dir.string()), -1);
  std::ofstream(dir / "f") << "abc";
  EXPECT_EQ(regular_file_size((dir / "f").string()), 3);
  EXPECT_EQ(make_directory((dir / "f").string()), -1);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tolvex::platform
