// Whole conversions of generated books by the real binary: every data file
// must decompress to the source pages (references moved by the merged page
// numbering), and the index, profile and registry files must describe them.
#include <gtest/gtest.h>

#include <algorithm>

#include "catalog/bytes.h"
#include "components/data_file_reader.h"
#include "components/run_options.h"
#include "e2e_support.h"
#include "ebzip.h"

namespace tolvex::e2e {
namespace {

using testbook::GeneratedBook;
using testbook::GeneratedSubbook;

constexpr int ALL = DO_OPTIONAL | DO_GRAPHICS | DO_SOUND;

// Where a subbook's components land in the package's single page space.
// A start of 0 leaves the component in the text file's numbering.
struct MergedNumbering {
  std::int32_t graphic_shift = 0, sound_shift = 0;
  std::uint32_t graphic_start = 0, sound_start = 0;
};

MergedNumbering merged_numbering(const testbook::GeneratedSubbook& subbook) {
  MergedNumbering m;
  std::uint32_t end = 0;
  const testbook::Component *graphic = nullptr, *sound = nullptr;
  for (const auto& c : subbook.components) {
    if (c.code == 0xD2 && subbook.graphic) {
      graphic = &c;
    } else if (c.code == 0xD8 && subbook.sound) {
      sound = &c;
    } else {
      end = std::max(end, c.range_start + c.range_count);
    }
  }
  if (graphic) {
    m.graphic_start = end;
    m.graphic_shift = static_cast<std::int32_t>(end - graphic->range_start);
    end += graphic->range_count;
  }
  if (sound) {
    m.sound_start = end;
    m.sound_shift = static_cast<std::int32_t>(end - sound->range_start);
  }
  return m;
}

// The pages a component's data file must decompress to.
std::vector<std::uint8_t> expected_pages(const testbook::GeneratedSubbook& subbook,
                                         const testbook::Component& component, const MergedNumbering& numbering) {
  std::vector<std::uint8_t> bytes;
  for (const auto& page : testbook::component_pages(subbook, component))
    bytes.insert(bytes.end(), page.begin(), page.end());
  if (component.code != 0x00) return bytes;
  // Body text: every reference moves by its component's shift.
  for (const auto& ref : subbook.references) {
    std::size_t at = static_cast<std::size_t>(ref.text_page - component.range_start) * 2048 + ref.offset;
    if (ref.graphic && numbering.graphic_shift != 0) {
      std::uint8_t* p = bytes.data() + at + 14;
      int_to_bcd(p, bcd_to_int(p) + static_cast<std::uint32_t>(numbering.graphic_shift));
    } else if (!ref.graphic && numbering.sound_shift != 0) {
      for (int off : {6, 12}) {
        std::uint8_t* p = bytes.data() + at + off;
        int_to_bcd(p, bcd_to_int(p) + static_cast<std::uint32_t>(numbering.sound_shift));
      }
    }
  }
  return bytes;
}

// The package file name of each component that `selection` (DO_* flags)
// writes, in index order ("" for components that are not written).
std::vector<std::string> package_names(const testbook::GeneratedSubbook& subbook, int selection) {
  // Every code the generator writes, the flag that selects it (0: always
  // written) and its file; copyright (0x02) and unknown codes are never written.
  static const struct {
    std::uint8_t code;
    int flag;
    const char* name;
  } files[] = {{0x00, 0, "HONMON.DIC"},  {0x01, 0, "MENU.DIC"},    {0x30, 0, "KAINDEX.DIC"}, {0x70, 0, "BKINDEX.DIC"},
               {0x91, 0, "FHINDEX.DIC"}, {0xF1, 0, "GA16FULL"},    {0xF2, 0, "GA16HALF"},    {0x03, 1, "KWTITLE.DIC"},
               {0x80, 1, "KWINDEX.DIC"}, {0x81, 1, "CRINDEX.DIC"}, {0xFF, 1, "MULTI"},       {0xD2, 2, "COLSCR.DIC"},
               {0xD8, 4, "PCMDATA.DIC"}};
  std::vector<std::string> names;
  int multi = 0;
  for (const auto& c : subbook.components) {
    const auto* f = std::find_if(std::begin(files), std::end(files), [&](const auto& f) { return f.code == c.code; });
    const bool written = f != std::end(files) && (f->flag == 0 || (selection & f->flag) != 0);
    names.push_back(!written ? "" : c.code == 0xFF ? "MULTI" + std::to_string(++multi) + ".DIC" : f->name);
  }
  return names;
}

// Checks every data file of one package against the generated subbook.
void expect_package_matches(const fs::path& package, const GeneratedSubbook& subbook, int selection,
                            bool raw_everywhere = false) {
  const MergedNumbering numbering = merged_numbering(subbook);
  const std::vector<std::string> names = package_names(subbook, selection);
  int files = 0;
  for (std::size_t i = 0; i < subbook.components.size(); ++i) {
    const auto& c = subbook.components[i];
    if (names[i].empty()) continue;
    ++files;
    SCOPED_TRACE(names[i]);
    const fs::path path = package / names[i];
    ASSERT_TRUE(fs::exists(path));
    const std::vector<std::uint8_t> expected = expected_pages(subbook, c, numbering);
    const bool raw = raw_everywhere || c.code == 0xF1 || c.code == 0xF2;
    if (raw) {
      EXPECT_TRUE(read_file_bytes(path) == expected);
      continue;
    }
    DataFile file;
    std::string error;
    ASSERT_TRUE(read_data_file(path.string(), file, error)) << error;
    EXPECT_EQ(file.code, c.code);
    EXPECT_EQ(file.attribute, c.attribute);
    EXPECT_EQ(file.parameters, c.parameters);
    std::uint32_t first = c.range_start;
    if (c.code == 0xD2 && numbering.graphic_start != 0) first = numbering.graphic_start;
    if (c.code == 0xD8 && numbering.sound_start != 0) first = numbering.sound_start;
    EXPECT_EQ(file.first_page, first);
    EXPECT_EQ(file.last_page, first + c.range_count - 1);
    EXPECT_TRUE(file.pages == expected) << "decompressed pages differ from the source";
  }
  EXPECT_GT(files, 0);
}

// -a on the whole book, -r (raw chunks) and -n (the scan search) on SAMPLE
// give the source pages; without flags only the required components are
// written.
TEST(SampleBook, EveryDataFileDecompressesToTheSourcePages) {
  ScratchDir dir;
  const GeneratedBook book = testbook::write_book(dir.path() / "book", testbook::sample_book_recipe());
  ASSERT_TRUE(book.ok()) << book.error;
  const auto subbook = [&](const std::string& name) -> const GeneratedSubbook& {
    return *std::find_if(book.subbooks.begin(), book.subbooks.end(), [&](auto& s) { return s.dir_name == name; });
  };
  const struct {
    std::vector<std::string> flags;
    const char* subbook;  // "": the whole book
    int selection;
  } rows[] = {{{"-a"}, "", ALL}, {{"-a", "-r"}, "sample", ALL}, {{"-a", "-n"}, "sample", ALL}, {{}, "SAMPLE", 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.flags.empty() ? "no flags" : row.flags.back());
    ScratchDir out;
    std::vector<std::string> args = row.flags;
    args.push_back(book.catalog.string());
    const bool whole = *row.subbook == '\0';
    if (!whole) args.push_back(row.subbook);
    const RunResult r = run_tolvex_in(out.path(), args, book.root);
    ASSERT_EQ(r.status, 0) << r.output;
    const fs::path sample = out.path() / "Dic" / "SAMPLE";
    expect_package_matches(sample, subbook("SAMPLE"), row.selection, args[1] == "-r");
    EXPECT_EQ(fs::exists(out.path() / "Dic" / "FUROKU"), whole);
    if (whole) {
      expect_package_matches(out.path() / "Dic" / "FUROKU", subbook("FUROKU"), ALL);
      EXPECT_NE(r.output.find("Skipping GUIDE (stream book)\n"), std::string::npos);
      EXPECT_FALSE(fs::exists(out.path() / "Dic" / "GUIDE"));
      // The font copies are the source files byte for byte.
      for (const auto& font : subbook("SAMPLE").font_files)
        EXPECT_TRUE(read_file_bytes(sample / font.filename()) == read_file_bytes(font));
    }
    if (row.selection != 0) continue;
    EXPECT_FALSE(fs::exists(sample / "COLSCR.DIC"));
    EXPECT_FALSE(fs::exists(sample / "MULTI1.DIC"));
    const std::string profile = read_file_text(sample / "DICPROF.INI");
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
    const GeneratedBook book = testbook::write_book(dir.path() / "book", recipe);
    ASSERT_TRUE(book.ok()) << book.error;
    const RunResult r = run_tolvex_in(dir.path(), {"-a", book.catalog.string()}, book.root);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("Skipping"), std::string::npos);
    if (sound_kind % 3 == 0) expect_package_matches(dir.path() / "Dic" / "SAMPLE", book.subbooks[0], ALL);
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
    const GeneratedBook book = testbook::write_book(dir.path() / "book", b.recipe);
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
