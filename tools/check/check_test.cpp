#include "check.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <filesystem>
#include <optional>

#include "app/run_options.h"
#include "source/bytes.h"
#include "source/catalog.h"
#include "source/pipeline.h"
#include "testbook.h"

namespace tolvex {
namespace {

namespace fs = std::filesystem;
using testing_support::read_file_bytes;
using testing_support::write_file_text;

// A one-page data file of zero bytes: 128 tokens FE FF 00 with fill byte 0.
std::string zero_page_file(char first_page) {
  std::string f("VORQDATA\x00\x02\x00\x02\x00\x00\x00\x30\x00\x10\x10\x00\x00\x10\x00\x01", 24);
  f.resize(64 + 4 + 5);
  f[27] = f[31] = first_page;
  f[67] = 68;   // the record's offset
  f[71] = '\x80';  // token count
  for (int i = 0; i < 128; ++i) f += std::string("\xFE\xFF\x00", 3);
  return f;
}

class Check : public testing_support::ScratchCwdTest {};

TEST_F(Check, SummarisesEachFileAndFailsOnAnyFault) {
  write_file_text("good", zero_page_file(9));
  std::string bad = zero_page_file(9);
  bad.pop_back();
  write_file_text("bad", bad);
  std::string out, err;
  EXPECT_EQ(run_check({"good"}, out, err), 0);
  EXPECT_EQ(out, "good: code 0x30, 1 chunks, 1 pages (9..9): OK\n");
  out.clear();
  EXPECT_EQ(run_check({"good", "bad", "missing"}, out, err), 1);
  EXPECT_EQ(out,
            "good: code 0x30, 1 chunks, 1 pages (9..9): OK\n"
            "bad: FAULT: chunk 1 of 1: 128 tokens run past the end of the file\n"
            "missing: FAULT: cannot open: missing or not a regular file\n");
  EXPECT_TRUE(err.empty());
}

TEST(CheckUsage, BadCommandLinesExitTwo) {
  std::string out, err;
  EXPECT_EQ(run_check({}, out, err), 2);
  EXPECT_EQ(err, CHECK_USAGE);
  EXPECT_EQ(run_check({"--book", "CATALOGS"}, out, err), 2);
  EXPECT_EQ(run_check({"--book", "CATALOGS", "a", "b"}, out, err), 2);
  EXPECT_EQ(run_check({"--book", "CATALOGS", "--bogus", "a"}, out, err), 2);
  out.clear();
  EXPECT_EQ(run_check({"--help"}, out, err), 0);
  EXPECT_NE(out.find("--book CATALOG [--subbook DIR] PACKAGE_DIR"), std::string::npos);
}

// --book on packages converted in-process from the sample book: separate
// graphic and sound files (merged numbering and relocation), multi-search,
// fonts and a V1 subbook. Text and sound are kept plain here; the real-book
// test checks packages of compressed books with this mode.
class BookCheck : public testing_support::ScratchCwdTest {
 protected:
  void SetUp() override {
    ScratchCwdTest::SetUp();
    testbook::BookSpec recipe = testbook::sample_book_spec();
    recipe.subbooks[0].text_kind = 0;
    recipe.subbooks[0].sound_kind = 0;
    book_ = testbook::write_book(scratch_.path() / "book", recipe);
    ASSERT_TRUE(book_.ok()) << book_.error;
  }

  // As "tolvex [-r] [-o -g -s] CATALOGS [subdir [newdir]]" would, in the current directory.
  void convert(int selection, bool raw = false, std::optional<std::string> subdir = std::nullopt,
               std::optional<std::string> newdir = std::nullopt) {
    std::unique_ptr<CatalogImage> catalog = load_catalog(book_.catalog.string());
    ASSERT_TRUE(catalog);
    RunOptions options;
    options.selection = selection;
    options.DO_RAW = raw;
    convert_subbooks(*catalog, subdir, newdir, options);
  }

  int check(const std::string& package, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--book", book_.catalog.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("Dic/" + package);
    std::string err;
    out_.clear();
    return run_check(args, out_, err);
  }

  // The check of SAMPLE fails with one FAULT line per entry of `lines`, each
  // holding the given parts.
  void expect_faults(const std::vector<std::vector<std::string>>& lines) {
    EXPECT_EQ(check("SAMPLE"), 1);
    std::vector<std::string> found;
    for (std::size_t at = 0, end; at < out_.size(); at = end + 1) {
      end = out_.find('\n', at);
      if (out_.substr(at, end - at).find(": FAULT: ") != std::string::npos) found.push_back(out_.substr(at, end - at));
    }
    ASSERT_EQ(found.size(), lines.size()) << out_;
    for (std::size_t i = 0; i < lines.size(); ++i)
      for (const std::string& part : lines[i]) EXPECT_NE(found[i].find(part), std::string::npos) << found[i];
  }

  static fs::path pkg(const std::string& file) { return fs::path("Dic") / "SAMPLE" / file; }

  static void flip(const fs::path& path, std::size_t offset) {
    std::vector<std::uint8_t> bytes = read_file_bytes(path);
    bytes.at(offset) ^= 0x20;
    write_file_text(path, std::string(bytes.begin(), bytes.end()));
  }

  testbook::GeneratedBook book_;
  std::string out_;
};

TEST_F(BookCheck, ConvertedPackageMatchesItsBookAndEachDamageIsNamed) {
  convert(DO_OPTIONAL | DO_GRAPHICS | DO_SOUND);
  EXPECT_EQ(check("SAMPLE"), 0) << out_;
  EXPECT_EQ(out_.find(": FAULT: "), std::string::npos) << out_;
  // The body text comes with its references moved; the graphic and sound
  // pages come from their own files.
  for (const char* line : {"HONMON.DIC: code 0x00, VORQDATA", "graphic references moved by +", "= HONMONG pages 1..",
                           "= HONMONS pages 1..", "MULTI3.DIC: code 0xFF", "GAI16F00: ", "matches SAMPLE"})
    EXPECT_NE(out_.find(line), std::string::npos) << line << "\n" << out_;
  EXPECT_EQ(check("FUROKU"), 0) << out_;

  // A literal byte of the first chunk (token 41), in a compressed file.
  const std::vector<std::uint8_t> head = read_file_bytes(pkg("HONMON.DIC"));
  const std::size_t literal = get_be(&head[64], 4) + 5 + 3 * 40 + 2;
  flip(pkg("HONMON.DIC"), literal);
  expect_faults({{"HONMON.DIC: FAULT: page "}});
  EXPECT_NE(out_.find("does NOT match SAMPLE"), std::string::npos) << out_;
  flip(pkg("HONMON.DIC"), literal);

  flip(pkg("SAMPLE.IDX"), 128 + 3);  // record 1's code
  expect_faults({{"SAMPLE.IDX: FAULT: record 1 is code 0x21"}});
  flip(pkg("SAMPLE.IDX"), 128 + 3);
  const auto idx_size = fs::file_size(pkg("SAMPLE.IDX"));
  fs::resize_file(pkg("SAMPLE.IDX"), idx_size + 1);
  expect_faults({{"SAMPLE.IDX: FAULT: ", "records make 760 + 48 x"}});
  fs::resize_file(pkg("SAMPLE.IDX"), idx_size);

  fs::remove(pkg("EXINFO.INI"));
  write_file_text(pkg("NOTES.TXT"), "x");
  expect_faults({{"EXINFO.INI: FAULT: missing"}, {"NOTES.TXT: FAULT: not part of the package"}});
}

TEST_F(BookCheck, RawPackageMatchesItsBookAndAFlippedByteIsNamedInBothNumberings) {
  convert(DO_GRAPHICS | DO_SOUND, true);
  EXPECT_EQ(check("SAMPLE"), 0) << out_;
  EXPECT_NE(out_.find("HONMON.DIC: code 0x00, raw"), std::string::npos) << out_;
  flip(pkg("PCMDATA.DIC"), 2048 + 7);
  expect_faults({{"PCMDATA.DIC: FAULT: page ", "(HONMONS page 2), byte 7"}});
}

TEST_F(BookCheck, SelectionIsReadFromTheRecords) {
  convert(0);  // no -o, -g, -s: no MULTI, COLSCR or PCMDATA files
  EXPECT_EQ(check("SAMPLE"), 0) << out_;
  EXPECT_EQ(out_.find("COLSCR.DIC"), std::string::npos) << out_;
}

TEST_F(BookCheck, RenamedPackageNeedsItsSubbookNamed) {
  convert(DO_OPTIONAL, false, std::string("FUROKU"), std::string("APPX"));
  EXPECT_EQ(check("APPX"), 1);
  EXPECT_NE(out_.find("no subbook named APPX"), std::string::npos) << out_;
  EXPECT_EQ(check("APPX", {"--subbook", "furoku"}), 0) << out_;
  // The wrong subbook: the index file's first record already disagrees.
  EXPECT_EQ(check("APPX", {"--subbook", "SAMPLE"}), 1);
}

}  // namespace
}  // namespace tolvex
