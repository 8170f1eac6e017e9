#include "components/data_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/messages.h"
#include "components/data_file_reader.h"
#include "source/bytes.h"

namespace tolvex {
namespace {

namespace fs = std::filesystem;

struct Entry {
  std::uint8_t code;
  std::uint32_t start;
  std::uint32_t count;
  std::uint8_t attribute = 0;
};

std::vector<std::uint8_t> make_index(const std::vector<Entry>& entries) {
  std::vector<std::uint8_t> page(PAGE_SIZE, 0);
  put_be(page.data(), 2, static_cast<std::uint32_t>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::uint8_t* e = page.data() + 16 + 16 * i;
    e[0] = entries[i].code;
    put_be(e + 2, 4, entries[i].start);
    put_be(e + 6, 4, entries[i].count);
    e[10] = entries[i].attribute;
    e[11] = 0xA1;
    e[12] = 0xB2;
    e[13] = 0xC3;
  }
  return page;
}

// Page n of the test text: distinct, text-like, compressible.
std::vector<std::uint8_t> text_page(std::uint32_t n) {
  std::vector<std::uint8_t> page(PAGE_SIZE);
  for (int i = 0; i < PAGE_SIZE; i += 2) {
    page[i] = static_cast<std::uint8_t>(0x30 + (i / 2 + n) % 7);
    page[i + 1] = static_cast<std::uint8_t>(0x21 + (i / 6 + n * 3) % 50);
  }
  return page;
}

class DataWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           (std::string("tolvex_writer_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "Dic" / "OUT");
    fs::current_path(dir_);
    set_console_sink([this](std::string_view s) { console_ += s; });
    set_current_page(0);
  }
  void TearDown() override {
    set_console_sink(nullptr);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }

  // A plain source file of `pages` pages, page n filled by text_page(n).
  BookFilePtr plain_file(const std::string& name, std::uint32_t pages,
                         const std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>>& overrides = {}) {
    std::ofstream out(name, std::ios::binary);
    for (std::uint32_t p = 1; p <= pages; ++p) {
      std::vector<std::uint8_t> page = text_page(p);
      for (const auto& o : overrides) {
        if (o.first == p) page = o.second;
      }
      out.write(reinterpret_cast<const char*>(page.data()), PAGE_SIZE);
    }
    out.close();
    return open_book_file(name, 0);
  }

  std::vector<std::uint8_t> source_pages(std::uint32_t first, std::uint32_t count) {
    std::vector<std::uint8_t> all;
    for (std::uint32_t p = first; p < first + count; ++p) {
      auto page = text_page(p);
      all.insert(all.end(), page.begin(), page.end());
    }
    return all;
  }

  std::string log() {
    std::ifstream in(LOG_FILE_NAME, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  int write(std::vector<std::uint8_t>& index, BookFile* text, RunOptions options = {}, BookFile* graphic = nullptr,
            BookFile* sound = nullptr) {
    return write_data_components(index.data(), text, options, "OUT", "", "", graphic, sound, buffers_, plan_);
  }

  fs::path old_, dir_;
  std::string console_;
  DataWriterBuffers buffers_;
  ComponentPlan plan_;
};

TEST_F(DataWriter, PlanCountsFilesChunksAndMergesGraphicsAndSound) {
  auto text = plain_file("HONMON", 4);
  BookFile graphic, sound;
  auto index = make_index({{0x00, 1, 600}, {0x01, 601, 17}, {0x02, 700, 301}, {0x0C, 5, 1},
                           {0xD2, 1, 50}, {0xD8, 1, 10}, {0x90, 900, 0}});
  std::uint8_t* page = index.data();
  ComponentPlan plan = plan_components(page, text.get(), DO_GRAPHICS | DO_SOUND, "F", "", &graphic, &sound);
  EXPECT_EQ(plan.graphic_new_start, 1001u);
  EXPECT_EQ(plan.graphic_shift, 1000);
  EXPECT_EQ(plan.sound_new_start, 1051u);
  EXPECT_EQ(plan.sound_shift, 1050);
  EXPECT_EQ(plan.merged_end_page, 1061u);
  // HONMON 38 + MENU 2 + COLSCR 4 + PCMDATA 1 + FKINDEX 0; COPYR and 0x0C are not written.
  EXPECT_EQ(plan.chunk_total, 38 + 2 + 4 + 1);
  EXPECT_EQ(plan.file_total, 4 + 5 + 1);
  EXPECT_EQ(console_, "  Total 10 files, 45 chunks to go.\n");

  // Without a graphic file 0xD2 is an ordinary text entry; a sound file
  // without a 0xD8 entry stays out of the numbering.
  auto only_text = make_index({{0x00, 1, 10}, {0xD2, 11, 5}});
  plan = plan_components(only_text.data(), text.get(), DO_GRAPHICS, "", "", nullptr, &sound);
  EXPECT_EQ(plan.merged_end_page, 16u);
  EXPECT_EQ(plan.sound_shift, 0);
  EXPECT_EQ(plan.sound_page_count, 0u);
}

TEST_F(DataWriter, RawFilesHoldThePagesInOrder) {
  auto text = plain_file("HONMON", 41);
  auto index = make_index({{0x00, 2, 40}});
  RunOptions options;
  options.DO_RAW = true;
  ASSERT_EQ(write(index, text.get(), options), 0);
  std::ifstream in("Dic/OUT/HONMON.DIC", std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, source_pages(2, 40));
  EXPECT_NE(console_.find("\r  Writing HONMON.DIC (3/3 chunks)\r  Writing HONMON.DIC (3/3 chunks)\n"),
            std::string::npos);
  EXPECT_EQ(log(), "  Total 5 files, 3 chunks to go.\r\n  Writing HONMON.DIC (3/3 chunks)\r\n");
}

TEST_F(DataWriter, CompressedFilesDecompressToTheSourcePages) {
  for (std::uint32_t pages : {1u, 16u, 17u, 33u}) {
    SCOPED_TRACE(pages);
    auto text = plain_file("HONMON", 40);
    auto index = make_index({{0x01, 3, pages, 0x5A}});
    for (bool no_hash : {false, true}) {
      RunOptions options;
      options.NO_HASH = no_hash;
      ASSERT_EQ(write(index, text.get(), options), 0);
      DataFile file;
      std::string error;
      ASSERT_TRUE(read_data_file("Dic/OUT/MENU.DIC", file, error)) << error;
      EXPECT_EQ(file.code, 0x01);
      EXPECT_EQ(file.chunk_count, (pages + 15) / 16);
      EXPECT_EQ(file.first_page, 3u);
      EXPECT_EQ(file.last_page, 3 + pages - 1);
      EXPECT_EQ(file.attribute, 0x5A);
      EXPECT_EQ(file.parameters[0], 0xA1);
      EXPECT_EQ(file.pages, source_pages(3, pages));
    }
  }
}

TEST_F(DataWriter, GraphicsKeepTheirOwnPagesButGetMergedNumbers) {
  auto text = plain_file("HONMON", 20);
  auto graphic = plain_file("GRAPHIC", 6);
  auto index = make_index({{0x00, 1, 20}, {0xD2, 2, 5}});
  ASSERT_EQ(write(index, text.get(), RunOptions{DO_GRAPHICS}, graphic.get()), 0);
  DataFile file;
  std::string error;
  ASSERT_TRUE(read_data_file("Dic/OUT/COLSCR.DIC", file, error)) << error;
  EXPECT_EQ(file.first_page, 21u);
  EXPECT_EQ(file.last_page, 25u);
  EXPECT_EQ(file.pages, source_pages(2, 5));
  EXPECT_EQ(index_entry(index.data(), 1).start_page(), 21u);
}

// A graphic reference that closes chunk 0 and a sound reference that opens
// chunk 1 are each relocated once.
TEST_F(DataWriter, ReferencesAcrossAChunkBoundaryAreRelocatedOnce) {
  std::vector<std::uint8_t> page16 = text_page(16);
  std::uint8_t* g = page16.data() + PAGE_SIZE - 20;
  g[0] = 0x1F;
  g[1] = 0x4D;
  int_to_bcd(g + 14, 3);
  std::vector<std::uint8_t> page17 = text_page(17);
  page17[0] = 0x1F;
  page17[1] = 0x4A;
  int_to_bcd(page17.data() + 6, 1);
  int_to_bcd(page17.data() + 12, 2);
  // A graphic reference whose page number lies in the next chunk's first page.
  std::vector<std::uint8_t> page32 = text_page(32);
  std::uint8_t* h = page32.data() + PAGE_SIZE - 2;
  h[0] = 0x1F;
  h[1] = 0x4D;
  std::vector<std::uint8_t> page33 = text_page(33);
  int_to_bcd(page33.data() + 12, 4);

  auto text = plain_file("HONMON", 40, {{16, page16}, {17, page17}, {32, page32}, {33, page33}});
  auto graphic = plain_file("GRAPHIC", 4);
  auto sound = plain_file("SOUND", 2);
  auto index = make_index({{0x00, 1, 40}, {0xD2, 1, 4}, {0xD8, 1, 2}});
  ASSERT_EQ(write(index, text.get(), RunOptions{DO_GRAPHICS | DO_SOUND}, graphic.get(), sound.get()), 0);
  EXPECT_EQ(plan_.graphic_shift, 40);
  EXPECT_EQ(plan_.sound_shift, 44);

  DataFile file;
  std::string error;
  ASSERT_TRUE(read_data_file("Dic/OUT/HONMON.DIC", file, error)) << error;
  const std::uint8_t* out = file.pages.data();
  EXPECT_EQ(bcd_to_int(out + 15 * PAGE_SIZE + PAGE_SIZE - 20 + 14), 43u);
  EXPECT_EQ(bcd_to_int(out + 16 * PAGE_SIZE + 6), 45u);
  EXPECT_EQ(bcd_to_int(out + 16 * PAGE_SIZE + 12), 46u);
  EXPECT_EQ(bcd_to_int(out + 32 * PAGE_SIZE + 12), 44u);
  EXPECT_NE(log().find("  Writing HONMON.DIC (3/3 chunks)\r\n    GRAPHIC references relocated (2 occurrences)\r\n"
                       "    SOUND references relocated (1 occurrences)\r\n"),
            std::string::npos);
}

TEST_F(DataWriter, MultiSearchFilesAreNumberedAndUseTheirRange) {
  std::vector<std::uint8_t> multi(PAGE_SIZE, 0);
  put_be(multi.data(), 2, 1);
  multi[16] = 1;                      // one entry in the group
  put_be(multi.data() + 48 + 2, 4, 8);  // pages 8..9
  put_be(multi.data() + 48 + 6, 4, 2);
  auto text = plain_file("HONMON", 12, {{10, multi}});
  auto index = make_index({{0xFF, 10, 99}, {0x80, 1, 1}, {0xFF, 10, 1}});
  ASSERT_EQ(write(index, text.get(), RunOptions{DO_OPTIONAL}), 0);
  for (const char* name : {"Dic/OUT/MULTI1.DIC", "Dic/OUT/MULTI2.DIC"}) {
    DataFile file;
    std::string error;
    ASSERT_TRUE(read_data_file(name, file, error)) << error;
    EXPECT_EQ(file.code, 0xFF);
    EXPECT_EQ(file.first_page, 8u);
    EXPECT_EQ(file.last_page, 10u);
  }
  EXPECT_EQ(plan_.selected_count[57], 2);
}

TEST_F(DataWriter, AnEmptyComponentIsItsHeaderAlone) {
  auto text = plain_file("HONMON", 2);
  auto index = make_index({{0x01, 5, 0}});
  ASSERT_EQ(write(index, text.get()), 0);
  EXPECT_EQ(fs::file_size("Dic/OUT/MENU.DIC"), 64u);
  DataFile file;
  std::string error;
  EXPECT_TRUE(read_data_file("Dic/OUT/MENU.DIC", file, error)) << error;
  EXPECT_EQ(file.first_page, 5u);
  EXPECT_EQ(file.last_page, 4u);
  EXPECT_NE(log().find("  Writing MENU.DIC (0/0 chunks)\r\n"), std::string::npos);
}

TEST_F(DataWriter, AReadFailureStopsTheWriterWithTheChunkNumber) {
  auto text = plain_file("HONMON", 40);
  fs::resize_file("HONMON", 35 * PAGE_SIZE + 100);  // page 36 is cut short
  auto index = make_index({{0x00, 1, 160}, {0x01, 1, 1}});
  EXPECT_EQ(write(index, text.get()), -1);
  EXPECT_NE(log().find("  Writing HONMON.DIC (3/10 chunks)\r\nread_block() failed. (7)\r\n"), std::string::npos);
  EXPECT_FALSE(fs::exists("Dic/OUT/MENU.DIC"));

  console_.clear();
  RunOptions raw;
  raw.DO_RAW = true;
  auto lookahead = make_index({{0x00, 20, 17}});
  EXPECT_EQ(write(lookahead, text.get(), raw), -1);
  EXPECT_NE(log().find("  Writing HONMON.DIC (1/2 chunks)\r\nread_block() failed. (2)\r\n"), std::string::npos);
}

TEST_F(DataWriter, UnwritableOutputsAreReported) {
  auto text = plain_file("HONMON", 2);
  fs::create_directory("Dic/OUT/HONMON.DIC");
  auto index = make_index({{0x00, 1, 1}, {0x01, 2, 1}});
  EXPECT_EQ(write(index, text.get()), -1);
  EXPECT_NE(log().find("Can't create \"Dic/OUT/HONMON.DIC\"\r\n"), std::string::npos);
  EXPECT_FALSE(fs::exists("Dic/OUT/MENU.DIC"));
}

TEST_F(DataWriter, AFullDeviceGivesTheWriteFailure) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "SKIPPED: no /dev/full on this platform";
  auto text = plain_file("HONMON", 2);
  fs::create_symlink("/dev/full", "Dic/OUT/MENU.DIC");
  fs::create_symlink("/dev/full", "Dic/OUT/KAINDEX.DIC");
  auto index = make_index({{0x01, 1, 1}});
  EXPECT_EQ(write(index, text.get()), -1);
  EXPECT_NE(log().find("write() failed. (4)\r\n"), std::string::npos);
  RunOptions raw;
  raw.DO_RAW = true;
  auto raw_index = make_index({{0x30, 1, 2}});
  EXPECT_EQ(write(raw_index, text.get(), raw), -1);
  EXPECT_NE(log().find("  Writing KAINDEX.DIC (1/1 chunks)\r\nwrite() failed. (3)\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tolvex
