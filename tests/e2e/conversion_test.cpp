// Whole conversions of generated books by the real binary, each package
// verified against its book by the checker (tolvex-check --book: every data
// file decodes to the source pages, references moved by the merged page
// numbering, the index records those of the book). The EB library reads the
// same packages independently in tests/interop.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "check.h"
#include "e2e_support.h"
#include "ebzip.h"

namespace tolvex::e2e {
namespace {

// The checker's verdict on Dic/<package> under `dir`.
void expect_package_matches(const fs::path& dir, const fs::path& catalog, const std::string& package) {
  std::string out, err;
  EXPECT_EQ(run_check({"--book", catalog.string(), (dir / "Dic" / package).string()}, out, err), 0) << out << err;
}

// A book plain and with its text and sound compressed (kind 2 text, kind 1
// or 2 sound: kind 1 has no raw pages, so no pathological ones) gives byte
// for byte the plain one's package; the sample book, kind-1 text, the EB
// layout and an ebzip'd text convert too, with -a, -a -n (the scan search)
// or no flags (the required components only); every package the run makes
// passes the checker. --list, before and after each conversion, writes
// nothing, names how each file is stored, and announces the files and chunks
// the conversion then writes.
TEST(Conversion, EveryLayoutAndKindIsListedAndHoldsTheSourcePages) {
#ifndef _WIN32
  setenv("LC_ALL", "C.UTF-8", 1);  // the titles in UTF-8
#endif
  const auto stored = [](int text_kind, int sound_kind) {
    testbook::BookRecipe recipe;
    testbook::SubbookRecipe& sub = recipe.subbooks[0];
    sub.text_file = "HONMON2";
    sub.text_kind = static_cast<std::uint8_t>(text_kind);
    sub.sound_kind = static_cast<std::uint8_t>(sound_kind);
    sub.separate_graphic = sub.separate_sound = true;
    sub.pathological_pages = false;
    return recipe;
  };
  testbook::BookRecipe eb;
  eb.layout = testbook::Layout::EB;
  const struct {
    testbook::BookRecipe recipe;
    bool ebzip;
    std::vector<std::string> shown;
    bool as_plain = false;  // the package is the first row's
    std::vector<std::string> flags = {"-a"};
  } books[] = {
      {stored(0, 0), false, {"  Text: SAMPLE/DATA/HONMON2, EPWING, plain\n"}},
      {stored(2, 1), false, {"  Sound file: SAMPLE/DATA/HONMONS, compressed, kind 1\n"}, true},
      {stored(2, 2), false, {"  Sound file: SAMPLE/DATA/HONMONS, compressed, kind 2\n"}, true},
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
        "  Sound file: EBTEST/DATA/HONMONS, compressed, kind 2\n"},
       false,
       {"-a", "-n"}},
      {eb,
       false,
       {"Book: book/CATALOG, EB layout, 1 subbook\n", "  Text: SAMPLE/START, EB, plain\n", "  Fonts: none\n"}},
      {testbook::BookRecipe{}, true, {"  Text: SAMPLE/DATA/HONMON, EPWING, ebzip'd\n"}, false, {}},
  };
  std::map<std::string, std::vector<std::uint8_t>> plain;
  for (const auto& b : books) {
    ScratchDir dir;
    const testbook::GeneratedBook book = testbook::write_book(dir.path() / "book", b.recipe);
    ASSERT_TRUE(book.ok()) << book.error;
    const fs::path text = book.subbooks[0].text.path;
    if (b.ebzip) write_file_bytes(text.string() + ".ebz", ebzip_bytes(read_file_bytes(text), 1));
    if (b.ebzip) fs::remove(text);
    std::vector<std::string> run_args = b.flags, list = b.flags;
    run_args.push_back("book/" + book.catalog.filename().string());
    list.insert(list.end(), {"--list", run_args.back()});
    const RunResult before = run_tolvex_in(dir.path(), list, book.root);
    SCOPED_TRACE(before.output);
    EXPECT_EQ(before.status, 0);
    EXPECT_EQ(read_tree(dir.path()).size(), read_tree(book.root).size());  // not even a log
    std::size_t at = 0;
    for (const std::string& part : b.shown) EXPECT_NE(at = before.output.find(part, at), std::string::npos) << part;
    const RunResult run = run_tolvex_in(dir.path(), run_args, book.root);
    ASSERT_EQ(run.status, 0) << run.output;
    for (const auto& s : book.subbooks)
      if (fs::exists(dir.path() / "Dic" / s.dir_name)) expect_package_matches(dir.path(), book.catalog, s.dir_name);
    const fs::path package = dir.path() / "Dic" / book.subbooks[0].dir_name;
    const bool all = b.flags.size() > 0;
    for (const char* optional : {"MULTI1.DIC", "COLSCR.DIC", "PCMDATA.DIC"})
      EXPECT_EQ(fs::exists(package / optional), all) << optional;
    const std::string profile = read_file_text(package / "DICPROF.INI");
    EXPECT_EQ(
        profile.find("OptionalComponents=0\r\n") != std::string::npos && profile.find("[OPTIONAL") == std::string::npos,
        !all);
    if (&b == &books[0]) plain = read_tree(dir.path() / "Dic");
    EXPECT_TRUE(!b.as_plain || read_tree(dir.path() / "Dic") == plain);
    // "Total N files, M chunks to go." of the run, "Components: N files, M chunks" of the list.
    const auto numbers = [](const std::string& s) {
      std::string all;
      const std::regex totals("\\d+ files, \\d+ chunks");
      for (std::sregex_iterator m(s.begin(), s.end(), totals), end; m != end; ++m) all += m->str() + "\n";
      return all;
    };
    EXPECT_FALSE(numbers(run.output).empty());
    EXPECT_EQ(numbers(before.output), numbers(run.output));
    const std::string after = run_tolvex_in(dir.path(), list, book.root).output;
    EXPECT_NE(after.find("  Package: Dic/" + book.subbooks[0].dir_name + " exists here, holding \""), std::string::npos)
        << after;
#ifndef _WIN32
    EXPECT_TRUE(&b != &books[3] || after.find("  Title: 見本辞典\n") != std::string::npos);
#endif
  }
}

}  // namespace
}  // namespace tolvex::e2e
