// Whole conversions of generated books by the real binary, each package
// verified against its book by the checker (tolvex-check --book: every data
// file decodes to the source pages, references moved by the merged page
// numbering, the index records those of the book). The EB library reads the
// same packages independently in tests/interop.
#include <gtest/gtest.h>

#include <algorithm>

#include "check.h"
#include "e2e_support.h"
#include "ebzip.h"

namespace tolvex::e2e {
namespace {

// The checker's verdict on Dic/<package> under `dir`, made from `subbook`.
void expect_package_matches(const fs::path& dir, const fs::path& catalog, const std::string& package,
                            const std::string& subbook = "") {
  std::vector<std::string> args = {"--book", catalog.string()};
  if (!subbook.empty()) args.insert(args.end(), {"--subbook", subbook});
  args.push_back((dir / "Dic" / package).string());
  std::string out, err;
  EXPECT_EQ(run_check(args, out, err), 0) << out << err;
}

// -a on the whole book, -r (raw chunks) and -n (the scan search) on SAMPLE,
// and no flags on SAMPLE renamed; without flags only the required components
// are written.
TEST(SampleBook, EveryPackageHoldsItsBooksPages) {
  ScratchDir dir;
  const testbook::GeneratedBook book = testbook::write_book(dir.path() / "book", testbook::sample_book_recipe());
  ASSERT_TRUE(book.ok()) << book.error;
  const struct {
    std::vector<std::string> args;  // before the catalog, then after it
    const char* package;
  } rows[] = {{{"-a"}, "SAMPLE"},
              {{"-a", "-r", "", "sample"}, "SAMPLE"},
              {{"-a", "-n", "", "sample"}, "SAMPLE"},
              {{"", "sample", "appx"}, "APPX"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.size() > 1 ? row.args[1] : row.args[0]);
    ScratchDir out;
    std::vector<std::string> args = row.args;
    const auto at = std::find(args.begin(), args.end(), "");
    if (at == args.end()) args.push_back(book.catalog.string());
    else *at = book.catalog.string();
    const RunResult r = run_tolvex_in(out.path(), args, book.root);
    ASSERT_EQ(r.status, 0) << r.output;
    const fs::path package = out.path() / "Dic" / row.package;
    const bool all = args[0] == "-a", whole = args.size() == 2;
    expect_package_matches(out.path(), book.catalog, row.package, all ? "" : "sample");
    for (const char* optional : {"COLSCR.DIC", "PCMDATA.DIC", "MULTI3.DIC", "KWINDEX.DIC"})
      EXPECT_EQ(fs::exists(package / optional), all) << optional;
    EXPECT_EQ(fs::exists(out.path() / "Dic" / "FUROKU"), whole);
    if (whole) {
      expect_package_matches(out.path(), book.catalog, "FUROKU");
      EXPECT_NE(r.output.find("Skipping GUIDE (stream book)\n"), std::string::npos);
      EXPECT_FALSE(fs::exists(out.path() / "Dic" / "GUIDE"));
    }
    if (all) continue;
    const std::string profile = read_file_text(package / "DICPROF.INI");
    EXPECT_NE(profile.find("OptionalComponents=0\r\n"), std::string::npos);
    EXPECT_EQ(profile.find("[OPTIONAL"), std::string::npos);
  }
}

// One book stored three ways, plain and with its text and sound files
// compressed (sound kind 1 or 2), gives byte for byte the same package; the
// same book in the EB layout (3) converts from START. (Kind 1 has no raw
// pages, so the generator's plain pages do not all fit it: the text uses
// kind 2.)
TEST(Conversion, EveryLayoutAndCompressionHoldsTheSourcePages) {
  std::map<std::string, std::vector<std::uint8_t>> reference;
  for (int sound_kind : {0, 1, 2, 3}) {
    SCOPED_TRACE(sound_kind);
    ScratchDir dir;
    testbook::BookRecipe recipe;
    testbook::SubbookRecipe& sub = recipe.subbooks[0];
    sub.text_file = "HONMON2";
    sub.text_kind = sound_kind == 0 || sound_kind == 3 ? 0 : 2;
    sub.sound_kind = sound_kind % 3;
    sub.separate_graphic = sub.separate_sound = true;
    sub.pathological_pages = false;  // kind 1 cannot store pages raw
    sub.fonts = sound_kind != 3;
    if (sound_kind == 3) recipe.layout = testbook::Layout::EB;
    const testbook::GeneratedBook book = testbook::write_book(dir.path() / "book", recipe);
    ASSERT_TRUE(book.ok()) << book.error;
    const RunResult r = run_tolvex_in(dir.path(), {"-a", book.catalog.string()}, book.root);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("Skipping"), std::string::npos);
    expect_package_matches(dir.path(), book.catalog, "SAMPLE");
    if (sound_kind == 0) reference = read_tree(dir.path() / "Dic");
    EXPECT_TRUE(sound_kind == 3 || read_tree(dir.path() / "Dic") == reference);
  }
}

// --list on every layout and kind, before and after the conversion: it
// writes nothing, names how each file is stored, and announces the files and
// chunks the conversion then writes.
TEST(List, DescribesEveryLayoutAndKindAsTheConversionWritesIt) {
#ifndef _WIN32
  setenv("LC_ALL", "C.UTF-8", 1);  // the titles in UTF-8
#endif
  testbook::BookRecipe eb;
  eb.layout = testbook::Layout::EB;
  const struct {
    testbook::BookRecipe recipe;
    bool ebzip;
    std::vector<std::string> shown;
  } books[] = {
      {testbook::sample_book_recipe(),
       false,
       {"Subbook 1: SAMPLE\n", "  Text: SAMPLE/DATA/HONMON2, EPWING, compressed, kind 2\n",
        "  Graphics file: SAMPLE/DATA/HONMONG, plain\n", "  Sound file: SAMPLE/DATA/HONMONS, compressed, kind 1\n",
        "  Fonts: GAIJI/GAI16F00, GAIJI/GAI16H00\n", "    MULTI3.DIC   ", "    COLSCR.DIC   12 pages\n",
        "Subbook 2: FUROKU\n", "  Text: FUROKU/DATA/HONMON, EPWING V1, plain\n", "Subbook 3: GUIDE\n",
        "  Stream book: not converted\n"}},
      {testbook::eb_library_book_recipe(1),
       false,
       {"  Text: EBTEST/DATA/HONMON2, EPWING, compressed, kind 1\n",
        "  Sound file: EBTEST/DATA/HONMONS, compressed, kind 2\n"}},
      {eb,
       false,
       {"Book: book/CATALOG, EB layout, 1 subbook\n", "  Text: SAMPLE/START, EB, plain\n", "  Fonts: none\n"}},
      {testbook::BookRecipe{}, true, {"  Text: SAMPLE/DATA/HONMON, EPWING, ebzip'd\n"}},
  };
  for (const auto& b : books) {
    ScratchDir dir;
    const testbook::GeneratedBook book = testbook::write_book(dir.path() / "book", b.recipe);
    ASSERT_TRUE(book.ok()) << book.error;
    const fs::path text = book.subbooks[0].text.path;
    if (b.ebzip) write_file_bytes(text.string() + ".ebz", ebzip_bytes(read_file_bytes(text), 1));
    if (b.ebzip) fs::remove(text);
    const std::vector<std::string> list = {"-a", "--list", "book/" + book.catalog.filename().string()};
    const RunResult before = run_tolvex_in(dir.path(), list, book.root);
    SCOPED_TRACE(before.output);
    EXPECT_EQ(before.status, 0);
    EXPECT_EQ(read_tree(dir.path()).size(), read_tree(book.root).size());  // not even a log
    std::size_t at = 0;
    for (const std::string& part : b.shown) EXPECT_NE(at = before.output.find(part, at), std::string::npos) << part;
    const RunResult run = run_tolvex_in(dir.path(), {"-a", list[2]}, book.root);
    // "Total N files, M chunks to go." of the run, "Components: N files, M chunks" of the list.
    const auto numbers = [](const std::string& s) {
      std::vector<std::string> all;
      for (std::size_t at = s.find(" files, "); at != std::string::npos; at = s.find(" files, ", at + 1)) {
        const std::size_t from = s.rfind(' ', at - 1) + 1;
        all.push_back(s.substr(from, s.find(" chunks", at) - from));
      }
      return all;
    };
    EXPECT_FALSE(numbers(run.output).empty());
    EXPECT_EQ(numbers(before.output), numbers(run.output));
    const std::string after = run_tolvex_in(dir.path(), list, book.root).output;
    const std::string package = "  Package: Dic/" + book.subbooks[0].dir_name + " exists here, holding \"";
    EXPECT_NE(after.find(package), std::string::npos) << after;
#ifndef _WIN32
    EXPECT_TRUE(&b != &books[0] || after.find("  Title: 見本辞典\n") != std::string::npos);
#endif
  }
}

}  // namespace
}  // namespace tolvex::e2e
