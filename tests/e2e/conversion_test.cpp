// Whole conversions of generated books by the real binary: every data file
// must decompress to the source pages (references moved by the merged page
// numbering), and the index, profile and registry files must describe them.
#include <gtest/gtest.h>

#include <fstream>

#include "app/run_options.h"
#include "components/data_file_reader.h"
#include "e2e_support.h"
#include "source/bytes.h"
#include "source/pipeline.h"

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
    book_ = new GeneratedBook(testbook::write_book(book_dir_->path() / "book", testbook::sample_book_spec()));
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

TEST_F(SampleBook, IndexFileListsTheDataFilesWithMergedPages) {
  RunResult r = run_tolvex_in(out_.path(), {"-a", book_->catalog.string(), "SAMPLE", "abc"});
  ASSERT_EQ(r.status, 0) << r.output;
  const fs::path package = out_.path() / "Dic" / "ABC";
  const auto idx = read_file(package / "ABC.IDX");
  ASSERT_GE(idx.size(), 760u);
  EXPECT_EQ(std::string(idx.begin(), idx.begin() + 8), "VORQINFO");
  const GeneratedSubbook& s = subbook("SAMPLE");
  const auto names = package_names(s, ALL);
  std::size_t n = idx[77];
  EXPECT_EQ(idx.size(), 760 + 48 * n);
  EXPECT_EQ(get_be(idx.data() + 96, 4), 0x01230000u);
  EXPECT_EQ(get_be(idx.data() + 80, 4), 128 + 48 * n);
  const MergedNumbering numbering = merged_numbering(s);
  std::size_t record = 0;
  for (std::size_t i = 0; i < s.components.size(); ++i) {
    if (names[i].empty()) continue;
    const std::uint8_t* rec = idx.data() + 128 + 48 * record++;
    const auto& c = s.components[i];
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(rec[3], c.code);
    std::uint32_t first = c.range_start;
    if (c.code == 0xD2) first = numbering.graphic_start;
    if (c.code == 0xD8) first = numbering.sound_start;
    EXPECT_EQ(get_be(rec + 4, 4), first);
    EXPECT_EQ(get_be(rec + 8, 4), first + c.range_count - 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec + 17), rec[16]), names[i]);
    EXPECT_TRUE(fs::exists(package / names[i]));
  }
  // Then the two font records.
  EXPECT_EQ(record + 2, n);
  EXPECT_EQ(idx[128 + 48 * record + 3], 0xF1);
  EXPECT_EQ(idx[128 + 48 * (record + 1) + 3], 0xF2);

  const std::string reg = read_text(out_.path() / "Dic" / "ABC.REG");
  EXPECT_NE(reg.find("\\Dic\\01230000]\r\n\"DicID\"=dword:01230000\r\n"), std::string::npos);
  EXPECT_NE(reg.find("DIC\\\\ABC\\\\ABC.IDX\"\r\n"), std::string::npos);
  const std::string profile = read_text(package / "DICPROF.INI");
  EXPECT_NE(profile.find("DicId=19070976\r\nDicDir=ABC\r\n"), std::string::npos);
  EXPECT_NE(r.output.find("Processing SAMPLE -> ABC ...\n"), std::string::npos);
}

TEST_F(SampleBook, LowerCaseDiscCopiesConvertToTheSamePackage) {
  ScratchDir copy;
  // Lower-case every name below the book, as a case-sensitive copy of a disc may.
  for (const auto& entry : fs::recursive_directory_iterator(book_->root)) {
    fs::path rel = fs::relative(entry.path(), book_->root);
    std::string lower = rel.generic_string();
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (entry.is_directory()) {
      fs::create_directories(copy.path() / lower);
    } else {
      fs::copy_file(entry.path(), copy.path() / lower);
    }
  }
  ScratchDir a, b;
  RunResult ra = run_tolvex_in(a.path(), {"-a", book_->catalog.string()});
  RunResult rb = run_tolvex_in(b.path(), {"-a", (copy.path() / "catalogs").string()});
  ASSERT_EQ(ra.status, 0);
  ASSERT_EQ(rb.status, 0) << rb.output;
  EXPECT_EQ(rb.output.find("Can't open"), std::string::npos) << rb.output;
  EXPECT_TRUE(read_tree(a.path() / "Dic") == read_tree(b.path() / "Dic"));
}

TEST(Conversion, EbBooksConvertFromStart) {
  ScratchDir dir;
  testbook::BookSpec recipe;
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
  testbook::BookSpec recipe;
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
