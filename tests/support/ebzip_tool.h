// ebzip (Debian eb-utils) run on a book, for the tests that read books kept
// compressed. Without ebzip those tests skip, except under CI (environment
// variable CI set), where they fail.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tolvex::testing_support {

// Writes the book in directory `book` compressed at `level` to `out`.
inline bool ebzip_book(const std::filesystem::path& book, const std::filesystem::path& out, int level) {
  std::filesystem::create_directories(out);
  const std::string command = "cd '" + std::filesystem::absolute(book).string() + "' && ebzip --level " +
      std::to_string(level) + " --keep --output-directory '" + std::filesystem::absolute(out).string() +
      "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace tolvex::testing_support

// The Windows build, run under Wine, has no ebzip to call: its books are
// ebzip'd by the Linux run, and its reader is tested there on .ebz files the
// test writes itself (the damaged-file table).
#ifdef _WIN32
#define TOLVEX_REQUIRE_EBZIP() GTEST_SKIP() << "SKIPPED: ebzip is not run on Windows (the Linux build runs this test)"
#else
#define TOLVEX_REQUIRE_EBZIP()                                                                              \
  do {                                                                                                      \
    if (std::system("command -v ebzip >/dev/null 2>&1") != 0) {                                             \
      if (std::getenv("CI") != nullptr) FAIL() << "ebzip (eb-utils) is missing, and CI must run this test"; \
      GTEST_SKIP() << "SKIPPED: ebzip (eb-utils) not installed";                                            \
    }                                                                                                       \
  } while (0)
#endif
