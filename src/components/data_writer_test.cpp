// The data file writer on plain source files made here: the plan, raw and
// compressed files read back, merged numbering and relocation of graphics and
// sound, multi-search files, and the failure messages.
#include "components/data_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "catalog/bytes.h"
#include "components/data_file_reader.h"
#include "index_page.h"
#include "scratch_dir.h"

namespace tolvex {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing_support::read_file_bytes;

using testing_support::make_index_page;

// Page n of a test file: distinct, text-like, compressible; `salt` tells the files apart.
Bytes text_page(std::uint32_t n, std::uint32_t salt = 0) {
  Bytes page(PAGE_SIZE);
  for (int i = 0; i < PAGE_SIZE; i += 2) {
    page[i] = static_cast<std::uint8_t>(0x30 + (i / 2 + n + salt) % 7);
    page[i + 1] = static_cast<std::uint8_t>(0x21 + (i / 6 + n * 3 + salt * 5) % 50);
  }
  return page;
}

Bytes source_pages(std::uint32_t first, std::uint32_t count, std::uint32_t salt = 0) {
  Bytes all;
  for (std::uint32_t p = first; p < first + count; ++p) {
    const Bytes page = text_page(p, salt);
    all.insert(all.end(), page.begin(), page.end());
  }
  return all;
}

class DataWriter : public testing_support::ScratchCwdTest {
 protected:
  void SetUp() override {
    ScratchCwdTest::SetUp();
    fs::create_directories("Dic/OUT");
    set_current_page(0);
  }

  // A plain source file of `pages` pages of text_page(n, salt), some replaced.
  static BookFilePtr plain_file(const std::string& name, std::uint32_t pages, std::uint32_t salt = 0,
                                const std::map<std::uint32_t, Bytes>& overrides = {}) {
    Bytes all = source_pages(1, pages, salt);
    for (const auto& [n, page] : overrides) std::copy(page.begin(), page.end(), all.begin() + (n - 1) * PAGE_SIZE);
    testing_support::write_file_text(name, std::string(all.begin(), all.end()));
    return open_book_file(name, 0);
  }

  static PackageDescription package(RunOptions options = {}, const std::string& full_font = "") {
    PackageDescription package;
    package.out_name = "OUT";
    package.dir = "Dic/OUT";
    package.full_font = full_font;
    package.options = options;
    return package;
  }

  int write(Bytes& index, BookFile* text, RunOptions options = {}, BookFile* graphic = nullptr,
            BookFile* sound = nullptr) {
    return write_data_components(package(options), index.data(), text, graphic, sound, buffers_, plan_);
  }

  static DataFile read(const std::string& name) {
    DataFile file;
    std::string error;
    EXPECT_TRUE(read_data_file("Dic/OUT/" + name, file, error)) << name << ": " << error;
    return file;
  }

  DataWriterBuffers buffers_;
  ComponentPlan plan_;
};

TEST_F(DataWriter, PlanCountsTheSelectedFilesAndChunks) {
  auto text = plain_file("HONMON", 4);
  BookFile graphic, sound;
  auto index = make_index_page(
      {{0x00, 1, 600}, {0x01, 601, 17}, {0x02, 700, 301}, {0x0C, 5, 1}, {0xD2, 1, 50}, {0xD8, 1, 10}, {0x90, 900, 0}});
  ComponentPlan plan =
      plan_components(package({DO_GRAPHICS | DO_SOUND}, "F"), index.data(), text.get(), &graphic, &sound);
  EXPECT_EQ(plan.merged_end_page, 1061u);  // text, then 50 graphic and 10 sound pages
  // HONMON 38 + MENU 2 + COLSCR 4 + PCMDATA 1 + FKINDEX 0; COPYR and 0x0C are not written.
  EXPECT_EQ(plan.chunk_total, 38 + 2 + 4 + 1);
  EXPECT_EQ(plan.file_total, 4 + 5 + 1);
  EXPECT_EQ(console_, "  Total 10 files, 45 chunks to go.\n");

  // Without a graphic file 0xD2 is an ordinary text entry; a sound file
  // without a 0xD8 entry stays out of the numbering.
  auto only_text = make_index_page({{0x00, 1, 10}, {0xD2, 11, 5}});
  plan = plan_components(package({DO_GRAPHICS}), only_text.data(), text.get(), nullptr, &sound);
  EXPECT_EQ(plan.merged_end_page, 16u);
  EXPECT_EQ(plan.sound_shift, 0);
  EXPECT_EQ(plan.sound_page_count, 0u);
}

TEST_F(DataWriter, RawFilesHoldThePagesInOrder) {
  auto text = plain_file("HONMON", 41);
  auto index = make_index_page({{0x00, 2, 40}});
  RunOptions options;
  options.DO_RAW = true;
  ASSERT_EQ(write(index, text.get(), options), 0);
  const Bytes bytes = read_file_bytes("Dic/OUT/HONMON.DIC");
  EXPECT_EQ(bytes.size(), 81920u);
  EXPECT_EQ(bytes, source_pages(2, 40));
  EXPECT_NE(console_.find("\r  Writing HONMON.DIC (3/3 chunks)\r  Writing HONMON.DIC (3/3 chunks)\n"),
            std::string::npos);
  EXPECT_EQ(log_text(), "  Total 5 files, 3 chunks to go.\r\n  Writing HONMON.DIC (3/3 chunks)\r\n");
}

TEST_F(DataWriter, CompressedFilesDecompressToTheSourcePages) {
  auto text = plain_file("HONMON", 40);
  for (std::uint32_t pages : {0u, 1u, 16u, 17u, 33u}) {  // 0: the header alone, pages 3..2
    auto index = make_index_page({{0x01, 3, pages, 0x5A, {0xA1, 0, 0}}});
    for (bool no_hash : {false, true}) {
      SCOPED_TRACE(testing::Message() << pages << " pages" << (no_hash ? ", scan" : ""));
      RunOptions options;
      options.NO_HASH = no_hash;
      ASSERT_EQ(write(index, text.get(), options), 0);
      const DataFile file = read("MENU.DIC");
      EXPECT_EQ(file.code, 0x01);
      EXPECT_EQ(file.chunk_count, (pages + 15) / 16);
      EXPECT_EQ(file.first_page, 3u);
      EXPECT_EQ(file.last_page, 3 + pages - 1);
      EXPECT_EQ(file.attribute, 0x5A);
      EXPECT_EQ(file.parameters[0], 0xA1);
      EXPECT_EQ(file.pages, source_pages(3, pages));
    }
  }
  EXPECT_NE(log_text().find("  Writing MENU.DIC (0/0 chunks)\r\n"), std::string::npos);
}

// Graphic and sound files keep their own pages under merged numbers. A graphic
// reference that closes chunk 0 and a sound reference that opens chunk 1 are
// each relocated once, and so is one whose page number lies in the next chunk.
TEST_F(DataWriter, GraphicsAndSoundGetMergedNumbersAndReferencesAcrossChunksAreRelocatedOnce) {
  Bytes page16 = text_page(16), page17 = text_page(17), page32 = text_page(32), page33 = text_page(33);
  std::uint8_t* g = page16.data() + PAGE_SIZE - 20;
  g[0] = 0x1F;
  g[1] = 0x4D;
  int_to_bcd(g + 14, 3);
  page17[0] = 0x1F;
  page17[1] = 0x4A;
  int_to_bcd(page17.data() + 6, 1);
  int_to_bcd(page17.data() + 12, 2);
  page32[PAGE_SIZE - 2] = 0x1F;
  page32[PAGE_SIZE - 1] = 0x4D;
  int_to_bcd(page33.data() + 12, 4);
  auto text = plain_file("HONMON", 40, 0, {{16, page16}, {17, page17}, {32, page32}, {33, page33}});
  auto graphic = plain_file("GRAPHIC", 6, 1);
  auto sound = plain_file("SOUND", 2, 2);
  auto index = make_index_page({{0x00, 1, 40}, {0xD2, 2, 4}, {0xD8, 1, 2}});
  ASSERT_EQ(write(index, text.get(), RunOptions{DO_GRAPHICS | DO_SOUND}, graphic.get(), sound.get()), 0);
  EXPECT_EQ(plan_.graphic_shift, 39);
  EXPECT_EQ(plan_.sound_shift, 44);
  EXPECT_EQ(index_entry(index.data(), 1).start_page(), 41u);
  EXPECT_EQ(index_entry(index.data(), 2).start_page(), 45u);
  const DataFile colscr = read("COLSCR.DIC"), pcm = read("PCMDATA.DIC");
  EXPECT_EQ(colscr.first_page, 41u);
  EXPECT_EQ(colscr.last_page, 44u);
  EXPECT_EQ(colscr.pages, source_pages(2, 4, 1));
  EXPECT_EQ(pcm.first_page, 45u);
  EXPECT_EQ(pcm.pages, source_pages(1, 2, 2));

  const DataFile honmon = read("HONMON.DIC");
  const std::uint8_t* out = honmon.pages.data();
  EXPECT_EQ(bcd_to_int(out + 15 * PAGE_SIZE + PAGE_SIZE - 20 + 14), 42u);
  EXPECT_EQ(bcd_to_int(out + 16 * PAGE_SIZE + 6), 45u);
  EXPECT_EQ(bcd_to_int(out + 16 * PAGE_SIZE + 12), 46u);
  EXPECT_EQ(bcd_to_int(out + 32 * PAGE_SIZE + 12), 43u);
  EXPECT_NE(log_text().find("  Writing HONMON.DIC (3/3 chunks)\r\n    GRAPHIC references relocated (2 occurrences)\r\n"
                            "    SOUND references relocated (1 occurrences)\r\n"),
            std::string::npos);
}

TEST_F(DataWriter, MultiSearchFilesAreNumberedAndUseTheirRange) {
  Bytes multi(PAGE_SIZE, 0);
  put_be(multi.data(), 2, 1);
  multi[16] = 1;                        // one entry in the group
  put_be(multi.data() + 48 + 2, 4, 8);  // pages 8..9
  put_be(multi.data() + 48 + 6, 4, 2);
  auto text = plain_file("HONMON", 12, 0, {{10, multi}});
  auto index = make_index_page({{0xFF, 10, 99}, {0x80, 1, 1}, {0xFF, 10, 1}});
  ASSERT_EQ(write(index, text.get(), RunOptions{DO_OPTIONAL}), 0);
  for (const char* name : {"MULTI1.DIC", "MULTI2.DIC"}) {
    const DataFile file = read(name);
    EXPECT_EQ(file.code, 0xFF);
    EXPECT_EQ(file.first_page, 8u);
    EXPECT_EQ(file.last_page, 10u);
  }
  EXPECT_EQ(plan_.selected_count[57], 2);
}

TEST_F(DataWriter, AReadFailureStopsTheWriterWithTheChunkNumber) {
  auto text = plain_file("HONMON", 40);
  fs::resize_file("HONMON", 35 * PAGE_SIZE + 100);  // page 36 is cut short
  auto index = make_index_page({{0x00, 1, 160}, {0x01, 1, 1}});
  EXPECT_EQ(write(index, text.get()), -1);
  EXPECT_NE(log_text().find("  Writing HONMON.DIC (3/10 chunks)\r\nread_block() failed. (7)\r\n"), std::string::npos);
  EXPECT_FALSE(fs::exists("Dic/OUT/MENU.DIC"));

  RunOptions raw;
  raw.DO_RAW = true;
  auto lookahead = make_index_page({{0x00, 20, 17}});
  EXPECT_EQ(write(lookahead, text.get(), raw), -1);
  EXPECT_NE(log_text().find("  Writing HONMON.DIC (1/2 chunks)\r\nread_block() failed. (2)\r\n"), std::string::npos);
}

TEST_F(DataWriter, UnwritableOutputsAreReported) {
  auto text = plain_file("HONMON", 2);
  fs::create_directory("Dic/OUT/HONMON.DIC");
  auto index = make_index_page({{0x00, 1, 1}, {0x01, 2, 1}});
  EXPECT_EQ(write(index, text.get()), -1);
  EXPECT_NE(log_text().find("Can't create \"Dic/OUT/HONMON.DIC\"\r\n"), std::string::npos);
  EXPECT_FALSE(fs::exists("Dic/OUT/MENU.DIC"));

  if (!fs::exists("/dev/full")) GTEST_SKIP() << "SKIPPED: no /dev/full on this platform";
  fs::remove(LOG_FILE_NAME);
  fs::create_symlink("/dev/full", "Dic/OUT/MENU.DIC");
  fs::create_symlink("/dev/full", "Dic/OUT/KAINDEX.DIC");
  auto menu = make_index_page({{0x01, 1, 1}});
  EXPECT_EQ(write(menu, text.get()), -1);
  EXPECT_EQ(log_text(), "  Total 5 files, 1 chunks to go.\r\nwrite() failed. (4)\r\n");  // the header
  RunOptions raw;
  raw.DO_RAW = true;
  auto raw_index = make_index_page({{0x30, 1, 2}});
  EXPECT_EQ(write(raw_index, text.get(), raw), -1);
  EXPECT_NE(log_text().find("  Writing KAINDEX.DIC (1/1 chunks)\r\nwrite() failed. (3)\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tolvex
