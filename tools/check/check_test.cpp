#include "check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace tolvex {
namespace {

// A one-page file of zero bytes: 128 tokens FE FF 00 with fill byte 0.
std::vector<unsigned char> zero_page_file(unsigned first_page) {
  std::vector<unsigned char> f(64 + 4 + 5);
  std::memcpy(f.data(), "VORQDATA\x00\x02\x00\x02\x00\x00\x00\x30\x00\x10\x10\x00\x00\x10\x00\x01", 24);
  f[27] = static_cast<unsigned char>(first_page);
  f[31] = static_cast<unsigned char>(first_page);
  f[67] = 68;  // the record's offset
  f[71] = 128;  // token count
  for (int i = 0; i < 128; ++i) f.insert(f.end(), {0xFE, 0xFF, 0x00});
  return f;
}

void write_file(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

TEST(Check, SummarisesEachFileAndFailsOnAnyFault) {
  write_file("check_good.tmp", zero_page_file(9));
  auto bad = zero_page_file(9);
  bad.pop_back();
  write_file("check_bad.tmp", bad);
  std::string out, err;
  EXPECT_EQ(run_check({"check_good.tmp"}, out, err), 0);
  EXPECT_EQ(out, "check_good.tmp: code 0x30, 1 chunks, 1 pages (9..9): OK\n");
  out.clear();
  EXPECT_EQ(run_check({"check_good.tmp", "check_bad.tmp", "check_missing.tmp"}, out, err), 1);
  EXPECT_EQ(out,
            "check_good.tmp: code 0x30, 1 chunks, 1 pages (9..9): OK\n"
            "check_bad.tmp: FAULT: chunk 1 of 1: 128 tokens run past the end of the file\n"
            "check_missing.tmp: FAULT: cannot open: missing or not a regular file\n");
  EXPECT_TRUE(err.empty());
  std::remove("check_good.tmp");
  std::remove("check_bad.tmp");
}

TEST(Check, NoFilesIsAUsageError) {
  std::string out, err;
  EXPECT_EQ(run_check({}, out, err), 2);
  EXPECT_EQ(err, CHECK_USAGE);
}

}  // namespace
}  // namespace tolvex
