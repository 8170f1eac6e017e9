// The data file writer on plain source files made here: the plan and the
// relocation lines of the log. What the files hold, and the read failure
// messages, are checked on whole runs.
#include "components/data_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "catalog/bytes.h"
#include "scratch_dir.h"
#include "testbook.h"

namespace tolvex {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testbook::index_page;

class DataWriter : public testing_support::ScratchCwdTest {
 protected:
  void SetUp() override {
    ScratchCwdTest::SetUp();
    fs::create_directories("Dic/OUT");
  }

  // A plain source file of `pages` pages of text (0x21 bytes); `head` opens its first page.
  static BookFilePtr plain_file(const std::string& name, std::uint32_t pages, const Bytes& head = {}) {
    std::string all(pages * PAGE_SIZE, '\x21');
    std::copy(head.begin(), head.end(), all.begin());
    testing_support::write_file_text(name, all);
    return open_book_file(name, 0);
  }

  static PackageDescription package(RunOptions options, const std::string& full_font = "") {
    PackageDescription package;
    package.out_name = "OUT";
    package.dir = "Dic/OUT";
    package.full_font = full_font;
    package.options = options;
    return package;
  }

  PageReader reader_;
};

TEST_F(DataWriter, PlanCountsTheSelectedFilesAndChunksAndNumbersTheMergedPages) {
  auto text = plain_file("HONMON", 4);
  BookFile graphic, sound;
  auto index = index_page(
      {{0x00, 1, 600}, {0x01, 601, 17}, {0x02, 700, 301}, {0x0C, 5, 1}, {0xD2, 1, 50}, {0xD8, 1, 10}, {0x90, 900, 0}});
  SubbookPlan plan = plan_subbook(index.data(), {text.get(), &graphic, &sound}, DO_GRAPHICS | DO_SOUND, reader_);
  // HONMON 38 + MENU 2 + COLSCR 4 + PCMDATA 1 + FKINDEX 0; COPYR and 0x0C are not written.
  EXPECT_EQ(plan.chunk_total, 38u + 2 + 4 + 1);
  EXPECT_EQ(package_file_total(plan, package({}, "F")), 4 + 5 + 1);
  ASSERT_EQ(plan.files.size(), 5u);
  // The text ends at page 1000, then come 50 graphic and 10 sound pages.
  EXPECT_EQ(plan.files[2].first_page, 1001u);
  EXPECT_EQ(plan.files[3].first_page, 1051u);
  EXPECT_EQ(plan.files[3].last_page(), 1060u);
  EXPECT_EQ(plan.sound_shift, 1050);
  EXPECT_EQ(console_, "");

  // Without a graphic file 0xD2 is an ordinary text entry; a sound file
  // without a 0xD8 entry stays out of the numbering.
  auto only_text = index_page({{0x00, 1, 10}, {0xD2, 11, 5}});
  plan = plan_subbook(only_text.data(), {text.get(), nullptr, &sound}, DO_GRAPHICS, reader_);
  EXPECT_EQ(plan.files[1].first_page, 11u);
  EXPECT_EQ(plan.sound_shift, 0);
}

// The log of a write with graphic and sound files: a relocation line only
// for the kinds that had references in the file.
TEST_F(DataWriter, OnlyKindsWithReferencesGetARelocationLine) {
  // A graphic reference and a sound reference right behind it.
  Bytes references(38, 0);
  references[0] = references[20] = 0x1F;
  references[1] = 0x4D;
  references[21] = 0x4A;
  int_to_bcd(references.data() + 14, 1);
  int_to_bcd(references.data() + 26, 1);
  int_to_bcd(references.data() + 32, 1);
  auto text = plain_file("HONMON", 2, references);
  auto graphic = plain_file("GRAPHIC", 1);
  auto sound = plain_file("SOUND", 1);
  auto index = index_page({{0x00, 1, 2}, {0xD2, 1, 1}, {0xD8, 1, 1}});
  DataWriterBuffers buffers;
  const SubbookPlan plan =
      plan_subbook(index.data(), {text.get(), graphic.get(), sound.get()}, DO_GRAPHICS | DO_SOUND, reader_);
  ASSERT_EQ(write_data_components(package({DO_GRAPHICS | DO_SOUND}), plan, reader_, buffers), 0);
  EXPECT_EQ(log_text(),
            "  Writing HONMON.DIC (1/1 chunks)\r\n"
            "    GRAPHIC references relocated (1 occurrences)\r\n    SOUND references relocated (1 occurrences)\r\n"
            "  Writing COLSCR.DIC (1/1 chunks)\r\n"
            "  Writing PCMDATA.DIC (1/1 chunks)\r\n");
}

}  // namespace
}  // namespace tolvex
