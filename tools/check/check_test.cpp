#include "check.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "app/messages.h"
#include "app/run_options.h"
#include "source/catalog.h"
#include "source/pipeline.h"
#include "testbook.h"

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

// --book on packages converted in-process from the generator's sample book:
// separate graphic and sound files (merged numbering and relocation),
// multi-search entries, fonts, and a V1 subbook. Its text and sound files are
// kept plain here: compressed sources are the business of read_block's own
// tests and of the real-book test (tests/realbook), which converts
// compressed variants and checks them with this mode.
namespace tolvex {
namespace {

namespace fs = std::filesystem;

class BookCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tolvex_book_check_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    testbook::BookSpec spec = testbook::sample_book_spec();
    spec.subbooks[0].text_kind = 0;
    spec.subbooks[0].sound_kind = 0;
    book_ = testbook::write_book(root_ / "book", spec);
    ASSERT_TRUE(book_.ok()) << book_.error;
  }
  void TearDown() override { fs::remove_all(root_); }

  // Converts into root/out, as "tolvex [-r] -o -g -s CATALOGS [subdir [newdir]]" would.
  void convert(int selection, std::optional<std::string> subdir = std::nullopt,
               std::optional<std::string> newdir = std::nullopt, bool raw = false) {
    const fs::path here = fs::current_path();
    fs::create_directories(root_ / "out");
    fs::current_path(root_ / "out");
    set_console_sink([](std::string_view) {});
    std::unique_ptr<CatalogImage> catalog = load_catalog(book_.catalog.string());
    ASSERT_TRUE(catalog);
    RunOptions options;
    options.selection = selection;
    options.DO_RAW = raw;
    convert_subbooks(*catalog, subdir, newdir, options);
    set_console_sink(nullptr);
    fs::current_path(here);
  }

  int check(const std::string& package, std::string& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--book", book_.catalog.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back((root_ / "out" / "Dic" / package).string());
    std::string err;
    out.clear();
    return run_check(args, out, err);
  }

  fs::path pkg(const std::string& file) const { return root_ / "out" / "Dic" / "SAMPLE" / file; }

  static void flip(const fs::path& path, std::size_t offset) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    const int c = f.get();
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(c ^ 0x20));
  }

  static std::vector<std::string> faults(const std::string& out) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < out.size()) {
      const std::size_t end = out.find('\n', at);
      const std::string line = out.substr(at, end - at);
      if (line.find(": FAULT: ") != std::string::npos) lines.push_back(line);
      at = end == std::string::npos ? out.size() : end + 1;
    }
    return lines;
  }

  fs::path root_;
  testbook::GeneratedBook book_;
};

TEST_F(BookCheck, ConvertedPackageMatchesItsBook) {
  convert(DO_OPTIONAL | DO_GRAPHICS | DO_SOUND);
  std::string out;
  EXPECT_EQ(check("SAMPLE", out), 0) << out;
  EXPECT_TRUE(faults(out).empty()) << out;
  // The body text comes with its references moved; the graphic and sound
  // pages come from their own files.
  EXPECT_NE(out.find("HONMON.DIC: code 0x00, VORQDATA"), std::string::npos) << out;
  EXPECT_NE(out.find("graphic references moved by +"), std::string::npos) << out;
  EXPECT_NE(out.find("= HONMONG pages 1.."), std::string::npos) << out;
  EXPECT_NE(out.find("= HONMONS pages 1.."), std::string::npos) << out;
  EXPECT_NE(out.find("MULTI3.DIC: code 0xFF"), std::string::npos) << out;
  EXPECT_NE(out.find("GAI16F00: "), std::string::npos) << out;
  EXPECT_NE(out.find("matches SAMPLE"), std::string::npos) << out;

  EXPECT_EQ(check("FUROKU", out), 0) << out;
}

TEST_F(BookCheck, SelectionIsReadFromTheRecords) {
  convert(0);  // no -o, -g, -s: no MULTI, COLSCR or PCMDATA files
  std::string out;
  EXPECT_EQ(check("SAMPLE", out), 0) << out;
  EXPECT_EQ(out.find("COLSCR.DIC"), std::string::npos) << out;
}

TEST_F(BookCheck, RawPackageMatchesItsBook) {
  convert(DO_GRAPHICS | DO_SOUND, std::nullopt, std::nullopt, true);
  std::string out;
  EXPECT_EQ(check("SAMPLE", out), 0) << out;
  EXPECT_NE(out.find("HONMON.DIC: code 0x00, raw"), std::string::npos) << out;
  // One flipped byte in a raw file: the page is named in the merged numbering
  // and in the source file's own.
  flip(pkg("PCMDATA.DIC"), 2048 + 7);
  EXPECT_EQ(check("SAMPLE", out), 1);
  const auto f = faults(out);
  ASSERT_EQ(f.size(), 1u) << out;
  EXPECT_NE(f[0].find("PCMDATA.DIC: FAULT: page "), std::string::npos) << f[0];
  EXPECT_NE(f[0].find("(HONMONS page 2), byte 7"), std::string::npos) << f[0];
}

TEST_F(BookCheck, FlippedLiteralOfACompressedChunkIsFound) {
  convert(DO_OPTIONAL | DO_GRAPHICS | DO_SOUND);
  std::ifstream in(pkg("HONMON.DIC"), std::ios::binary);
  unsigned char head[68];
  in.read(reinterpret_cast<char*>(head), sizeof head);
  const std::size_t record = (std::size_t{head[64]} << 24) | (head[65] << 16) | (head[66] << 8) | head[67];
  in.close();
  flip(pkg("HONMON.DIC"), record + 5 + 3 * 40 + 2);  // chunk 1, token 41: its literal byte
  std::string out;
  EXPECT_EQ(check("SAMPLE", out), 1);
  const auto f = faults(out);
  ASSERT_EQ(f.size(), 1u) << out;
  EXPECT_NE(f[0].find("HONMON.DIC: FAULT: page "), std::string::npos) << f[0];
  EXPECT_NE(out.find("does NOT match SAMPLE"), std::string::npos) << out;
}

TEST_F(BookCheck, IndexFileFaultsAreNamed) {
  convert(DO_OPTIONAL | DO_GRAPHICS | DO_SOUND);
  flip(pkg("SAMPLE.IDX"), 128 + 3);  // record 1's code
  std::string out;
  EXPECT_EQ(check("SAMPLE", out), 1);
  auto f = faults(out);
  ASSERT_EQ(f.size(), 1u) << out;
  EXPECT_NE(f[0].find("SAMPLE.IDX: FAULT: record 1 is code 0x21"), std::string::npos) << f[0];

  flip(pkg("SAMPLE.IDX"), 128 + 3);
  std::ofstream(pkg("SAMPLE.IDX"), std::ios::binary | std::ios::app).put('\0');
  EXPECT_EQ(check("SAMPLE", out), 1);
  f = faults(out);
  ASSERT_EQ(f.size(), 1u) << out;
  EXPECT_NE(f[0].find("SAMPLE.IDX: FAULT: "), std::string::npos) << f[0];
  EXPECT_NE(f[0].find("records make 760 + 48 x"), std::string::npos) << f[0];
}

TEST_F(BookCheck, MissingProfileAndStrayFilesAreFaults) {
  convert(DO_OPTIONAL | DO_GRAPHICS | DO_SOUND);
  fs::remove(pkg("EXINFO.INI"));
  std::ofstream(pkg("NOTES.TXT")) << "x";
  std::string out;
  EXPECT_EQ(check("SAMPLE", out), 1);
  const auto f = faults(out);
  ASSERT_EQ(f.size(), 2u) << out;
  EXPECT_NE(f[0].find("EXINFO.INI: FAULT: missing"), std::string::npos) << f[0];
  EXPECT_NE(f[1].find("NOTES.TXT: FAULT: not part of the package"), std::string::npos) << f[1];
}

TEST_F(BookCheck, RenamedPackageNeedsItsSubbookNamed) {
  convert(DO_OPTIONAL, std::string("FUROKU"), std::string("APPX"));
  std::string out;
  EXPECT_EQ(check("APPX", out), 1);
  EXPECT_NE(out.find("no subbook named APPX"), std::string::npos) << out;
  EXPECT_EQ(check("APPX", out, {"--subbook", "furoku"}), 0) << out;
  // The wrong subbook: the index file's first record already disagrees.
  EXPECT_EQ(check("APPX", out, {"--subbook", "SAMPLE"}), 1);
}

TEST(CheckUsage, BookModeNeedsCatalogAndOnePackage) {
  std::string out, err;
  EXPECT_EQ(run_check({"--book", "CATALOGS"}, out, err), 2);
  EXPECT_EQ(run_check({"--book", "CATALOGS", "a", "b"}, out, err), 2);
  EXPECT_EQ(run_check({"--book", "CATALOGS", "--bogus", "a"}, out, err), 2);
  out.clear();
  EXPECT_EQ(run_check({"--help"}, out, err), 0);
  EXPECT_NE(out.find("--book CATALOG [--subbook DIR] PACKAGE_DIR"), std::string::npos);
}

}  // namespace
}  // namespace tolvex
