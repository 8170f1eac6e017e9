// Whole conversions of generated books by the real binary: every data file
// must decompress to the source pages (references moved by the merged page
// numbering), and the index, profile and registry files must describe them.
#include <gtest/gtest.h>

#include <fstream>

#include "catalog/bytes.h"
#include "components/data_file_reader.h"
#include "components/run_options.h"
#include "e2e_support.h"
#include "pipeline/pipeline.h"

namespace tolvex::e2e {
namespace {

using testbook::GeneratedBook;
using testbook::GeneratedSubbook;

constexpr int ALL = DO_OPTIONAL | DO_GRAPHICS | DO_SOUND;

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
      EXPECT_TRUE(read_file(path) == expected);
      continue;
    }
    DataFile file;
    std::string error;
    ASSERT_TRUE(read_data_file(path.string(), file, error)) << error;
    EXPECT_EQ(file.code, c.code);
    EXPECT_EQ(file.attribute, c.attribute);
    EXPECT_EQ(file.parameters, c.parameters);
    std::uint32_t first = c.range_start;
    if (c.code == 0xD2 && numbering.graphic_merged) first = numbering.graphic_start;
    if (c.code == 0xD8 && numbering.sound_merged) first = numbering.sound_start;
    EXPECT_EQ(file.first_page, first);
    EXPECT_EQ(file.last_page, first + c.range_count - 1);
    EXPECT_TRUE(file.pages == expected) << "decompressed pages differ from the source";
  }
  EXPECT_GT(files, 0);
}

class SampleBook : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    book_dir_ = new ScratchDir();
    book_ = new GeneratedBook(testbook::write_book(book_dir_->path() / "book", testbook::sample_book_recipe()));
    ASSERT_TRUE(book_->ok()) << book_->error;
  }
  static void TearDownTestSuite() {
    delete book_;
    delete book_dir_;
  }
  static const GeneratedSubbook& subbook(const std::string& name) {
    for (const auto& s : book_->subbooks) {
      if (s.dir_name == name) return s;
    }
    throw std::runtime_error("no subbook " + name);
  }
  static inline ScratchDir* book_dir_ = nullptr;
  static inline GeneratedBook* book_ = nullptr;
  ScratchDir out_;
};

TEST_F(SampleBook, EveryDataFileDecompressesToTheSourcePages) {
  RunResult r = run_tolvex_in(out_.path(), {"-a", book_->catalog.string()});
  ASSERT_EQ(r.status, 0) << r.output;
  expect_package_matches(out_.path() / "Dic" / "SAMPLE", subbook("SAMPLE"), ALL);
  expect_package_matches(out_.path() / "Dic" / "FUROKU", subbook("FUROKU"), ALL);
  EXPECT_NE(r.output.find("Skipping GUIDE (stream book)\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(out_.path() / "Dic" / "GUIDE"));
  // The font copies are the source files byte for byte.
  for (const auto& font : subbook("SAMPLE").font_files) {
    EXPECT_TRUE(read_file(out_.path() / "Dic" / "SAMPLE" / font.filename()) == read_file(font));
  }
}

TEST_F(SampleBook, RawAndScanRunsHoldTheSamePagesAsTheDefault) {
  for (const char* flag : {"-r", "-n"}) {
    SCOPED_TRACE(flag);
    ScratchDir out;
    RunResult r = run_tolvex_in(out.path(), {"-a", flag, book_->catalog.string(), "sample"});
    ASSERT_EQ(r.status, 0) << r.output;
    expect_package_matches(out.path() / "Dic" / "SAMPLE", subbook("SAMPLE"), ALL, flag[1] == 'r');
  }
}

TEST_F(SampleBook, RequiredComponentsOnlyWithoutFlags) {
  RunResult r = run_tolvex_in(out_.path(), {book_->catalog.string(), "SAMPLE"});
  ASSERT_EQ(r.status, 0) << r.output;
  expect_package_matches(out_.path() / "Dic" / "SAMPLE", subbook("SAMPLE"), 0);
  EXPECT_FALSE(fs::exists(out_.path() / "Dic" / "SAMPLE" / "COLSCR.DIC"));
  EXPECT_FALSE(fs::exists(out_.path() / "Dic" / "SAMPLE" / "MULTI1.DIC"));
  EXPECT_FALSE(fs::exists(out_.path() / "Dic" / "FUROKU"));
  const std::string profile = read_text(out_.path() / "Dic" / "SAMPLE" / "DICPROF.INI");
  EXPECT_NE(profile.find("OptionalComponents=0\r\n"), std::string::npos);
  EXPECT_EQ(profile.find("[OPTIONAL"), std::string::npos);
}

TEST(Conversion, EbBooksConvertFromStart) {
  ScratchDir dir;
  testbook::BookRecipe recipe;
  recipe.layout = testbook::Layout::EB;
  recipe.subbooks[0].dir_name = "EBDICT";
  recipe.subbooks[0].entry_version = 1;
  recipe.subbooks[0].fonts = false;
  recipe.subbooks[0].body_pages = 40;
  GeneratedBook book = testbook::write_book(dir.path() / "book", recipe);
  ASSERT_TRUE(book.ok()) << book.error;
  ScratchDir out;
  RunResult r = run_tolvex_in(out.path(), {"-a", book.catalog.string()});
  ASSERT_EQ(r.status, 0) << r.output;
  expect_package_matches(out.path() / "Dic" / "EBDICT", book.subbooks[0], ALL);
  EXPECT_EQ(r.output.find("Skipping"), std::string::npos);
}

// One book stored three ways: plain, and with its text and sound files
// compressed. The packages must be byte for byte the same. (Kind 1 has no raw
// pages, so the generator's plain pages do not all fit it: the text uses kind 2.)
TEST(Conversion, CompressedTextGivesTheSamePackageAsPlainText) {
  ScratchDir dir;
  testbook::BookRecipe recipe;
  recipe.subbooks[0].text_file = "HONMON2";
  recipe.subbooks[0].separate_graphic = true;
  recipe.subbooks[0].separate_sound = true;
  recipe.subbooks[0].pathological_pages = false;  // kind 1 cannot store pages raw
  GeneratedBook book = testbook::write_book(dir.path() / "plain", recipe);
  ASSERT_TRUE(book.ok()) << book.error;
  const GeneratedSubbook& sub = book.subbooks[0];

  ScratchDir plain_out;
  ASSERT_EQ(run_tolvex_in(plain_out.path(), {"-a", book.catalog.string()}).status, 0);
  expect_package_matches(plain_out.path() / "Dic" / "SAMPLE", sub, ALL);
  const auto reference = read_tree(plain_out.path() / "Dic");

  for (int sound_kind : {1, 2}) {
    SCOPED_TRACE(sound_kind);
    const fs::path root = dir.path() / ("kind" + std::to_string(sound_kind));
    fs::copy(book.root, root, fs::copy_options::recursive);
    for (const testbook::SourceFile* file : {&sub.text, &*sub.sound}) {
      const int kind = file == &sub.text ? 2 : sound_kind;
      testbook::CompressedFile compressed;
      std::string error;
      ASSERT_TRUE(testbook::compress_pages(kind, file->pages, recipe.huffman, compressed, error)) << error;
      std::ofstream(root / fs::relative(file->path, book.root), std::ios::binary | std::ios::trunc)
          .write(reinterpret_cast<const char*>(compressed.bytes.data()),
                 static_cast<std::streamsize>(compressed.bytes.size()));
    }
    // The catalog's second-table record names the compression of text and sound.
    auto catalog = book.catalog_bytes;
    std::uint8_t* files = catalog.data() + 16 + 164 * get_be(catalog.data(), 2);
    files[55] = 0x12;
    files[53] = static_cast<std::uint8_t>(0x10 + sound_kind);
    std::ofstream(root / "CATALOGS", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(catalog.data()), static_cast<std::streamsize>(catalog.size()));

    ScratchDir out;
    RunResult r = run_tolvex_in(out.path(), {"-a", (root / "CATALOGS").string()});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(read_tree(out.path() / "Dic") == reference);
  }
}

}  // namespace
}  // namespace tolvex::e2e
