#include "check.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <filesystem>
#include <optional>
#include <sstream>

#include "catalog/bytes.h"
#include "catalog/catalog.h"
#include "components/run_options.h"
#include "pipeline/pipeline.h"
#include "testbook.h"

namespace tolvex {
namespace {

namespace fs = std::filesystem;
using testing_support::read_file_bytes;
using testing_support::write_file_text;

// --book on packages converted in-process from the sample book: each damage
// is named. (That sound packages pass is shown by the whole-run tests, which
// check every conversion with it.)
using BookCheck = testing_support::ScratchCwdTest;

TEST_F(BookCheck, EachDamageIsNamed) {
  testbook::BookRecipe recipe = testbook::sample_book_recipe();
  recipe.subbooks[0].text_kind = 0;
  recipe.subbooks[0].sound_kind = 0;
  const testbook::GeneratedBook book = testbook::write_book(scratch_.path() / "book", recipe);
  ASSERT_TRUE(book.ok()) << book.error;
  // As "tolvex [-r] [-o -g -s] CATALOGS [subdir [newdir]]" would, in the current directory.
  auto convert = [&](int selection, bool raw, std::optional<std::string> subdir = {},
                     std::optional<std::string> newdir = {}) {
    RunOptions options;
    options.selection = selection;
    options.DO_RAW = raw;
    convert_subbooks(*load_catalog(book.catalog.string()), subdir, newdir, options);
  };
  std::string out;
  auto check = [&](const std::string& package, std::vector<std::string> args = {}) {
    args.insert(args.begin(), {"--book", book.catalog.string()});
    args.push_back("Dic/" + package);
    std::string err;
    out.clear();
    return run_check(args, out, err);
  };
  auto faults = [&] {  // the FAULT lines of a check of SAMPLE, which must fail
    EXPECT_EQ(check("SAMPLE"), 1);
    std::istringstream lines(out);
    std::string found;
    for (std::string line; std::getline(lines, line);)
      if (line.find(": FAULT: ") != std::string::npos) found += line + "\n";
    return found;
  };
  auto flip = [](const std::string& file, std::size_t offset) {
    std::vector<std::uint8_t> bytes = read_file_bytes("Dic/SAMPLE/" + file);
    bytes.at(offset) ^= 0x20;
    write_file_text("Dic/SAMPLE/" + file, std::string(bytes.begin(), bytes.end()));
  };

  convert(DO_OPTIONAL | DO_GRAPHICS | DO_SOUND, false);
  EXPECT_EQ(check("SAMPLE"), 0) << out;
  // Without --book each data file is summarised: exit 1 on a fault, 2 on a
  // bad command line.
  const std::string menu = testing_support::read_file_text("Dic/SAMPLE/MENU.DIC");
  write_file_text("cut", menu.substr(0, menu.size() - 1));
  std::string err;
  out.clear();
  EXPECT_EQ(run_check({"Dic/SAMPLE/MENU.DIC"}, out, err), 0);
  EXPECT_EQ(run_check({"cut", "missing"}, out, err), 1);
  EXPECT_EQ(out,
            "Dic/SAMPLE/MENU.DIC: code 0x01, 1 chunks, 2 pages (3..4): OK\n"
            "cut: FAULT: chunk 1 of 1: 1000 tokens run past the end of the file\n"
            "missing: FAULT: cannot open: missing or not a regular file\n");
  EXPECT_TRUE(err.empty());
  EXPECT_EQ(run_check({}, out, err), 2);
  EXPECT_EQ(err, CHECK_USAGE);
  EXPECT_EQ(run_check({"--book", "CATALOGS"}, out, err), 2);
  EXPECT_EQ(run_check({"--book", "CATALOGS", "--bogus", "a"}, out, err), 2);
  // A literal byte of the first chunk (token 41) of a compressed file, the
  // code of the index file's record 1, a missing and a stray file.
  flip("HONMON.DIC", get_be(&read_file_bytes("Dic/SAMPLE/HONMON.DIC")[64], 4) + 5 + 3 * 40 + 2);
  flip("SAMPLE.IDX", 128 + 3);
  fs::remove("Dic/SAMPLE/EXINFO.INI");
  write_file_text("Dic/SAMPLE/NOTES.TXT", "x");
  EXPECT_EQ(faults(),
            "Dic/SAMPLE/SAMPLE.IDX: FAULT: record 1 is code 0x21, pages 3..4, attribute 0x01, parameters "
            "00 02 01, name \"MENU.DIC\"; the book gives code 0x01, pages 3..4, attribute 0x01, parameters "
            "00 02 01, name \"MENU.DIC\"\n"
            "Dic/SAMPLE/HONMON.DIC: FAULT: page 6 (HONMON page 6), byte 61: 0x5C, the source gives 0x7C\n"
            "Dic/SAMPLE/EXINFO.INI: FAULT: missing\nDic/SAMPLE/NOTES.TXT: FAULT: not part of the package\n");
  EXPECT_NE(out.find("does NOT match SAMPLE"), std::string::npos) << out;

  fs::remove_all("Dic");
  convert(DO_GRAPHICS | DO_SOUND, true);  // no -o: no MULTI files are expected
  convert(0, false, std::string("FUROKU"), std::string("APPX"));
  EXPECT_EQ(check("SAMPLE"), 0) << out;
  EXPECT_NE(out.find("HONMON.DIC: code 0x00, raw"), std::string::npos) << out;
  flip("PCMDATA.DIC", 2048 + 7);
  flip("SAMPLE.IDX", 128 + 48);  // the first reserved byte of record 2
  flip("GAI16F00", 300);
  EXPECT_EQ(faults(),
            "Dic/SAMPLE/SAMPLE.IDX: FAULT: record 2: reserved bytes 0..2 not zero\n"
            "Dic/SAMPLE/PCMDATA.DIC: FAULT: page 333 (HONMONS page 2), byte 7: 0xB3, the source gives 0x93\n"
            "Dic/SAMPLE/GAI16F00: FAULT: byte 300: 0x20, the source gives 0x00\n");
  // A renamed package needs its subbook named; the wrong one's first record disagrees.
  EXPECT_EQ(check("APPX"), 1);
  EXPECT_NE(out.find("no subbook named APPX"), std::string::npos) << out;
  EXPECT_EQ(check("APPX", {"--subbook", "furoku"}), 0) << out;
  EXPECT_EQ(check("APPX", {"--subbook", "SAMPLE"}), 1);
  // An index file cut inside its records: only whole ones are read (a read
  // past the cut would show under the address sanitizer).
  write_file_text("Dic/APPX/APPX.IDX", testing_support::read_file_text("Dic/APPX/APPX.IDX").substr(0, 128 + 48 + 10));
  EXPECT_EQ(check("APPX", {"--subbook", "furoku"}), 1);
  EXPECT_NE(out.find("APPX.IDX: FAULT: 186 bytes, but 9 records make"), std::string::npos) << out;
}

}  // namespace
}  // namespace tolvex
