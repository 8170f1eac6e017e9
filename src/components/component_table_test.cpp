#include "components/component_table.h"

#include <gtest/gtest.h>

#include <set>

#include "app/run_options.h"

namespace tolvex {
namespace {

TEST(ComponentTable, CodesAreUniqueAndInTheDocumentedOrder) {
  std::set<int> codes;
  for (const auto& k : COMPONENT_KINDS) codes.insert(k.code);
  EXPECT_EQ(codes.size(), 58u);
  EXPECT_EQ(COMPONENT_KINDS[0].code, 0x00);
  EXPECT_STREQ(COMPONENT_KINDS[54].file_name, "GA16FULL");
  EXPECT_EQ(COMPONENT_KINDS[54].compressed, 0);
  EXPECT_EQ(COMPONENT_KINDS[57].code, 0xFF);
}

TEST(ComponentTable, SelectionFollowsTheClassAndFlags) {
  EXPECT_GE(match_component(0x00, 0), 0);
  EXPECT_EQ(match_component(0x02, DO_OPTIONAL | DO_GRAPHICS | DO_SOUND), -1);  // CLASS_NONE
  EXPECT_EQ(match_component(0x0C, DO_OPTIONAL), -1);                            // not in the table
  for (int code : {0x03, 0x0A, 0x80, 0x81, 0xFF}) {
    EXPECT_EQ(match_component(static_cast<std::uint8_t>(code), DO_GRAPHICS | DO_SOUND), -1) << code;
    EXPECT_GE(match_component(static_cast<std::uint8_t>(code), DO_OPTIONAL), 0) << code;
  }
  EXPECT_EQ(match_component(0xD2, DO_OPTIONAL | DO_SOUND), -1);
  EXPECT_GE(match_component(0xD2, DO_GRAPHICS), 0);
  EXPECT_EQ(match_component(0xD8, DO_GRAPHICS), -1);
  EXPECT_GE(match_component(0xD8, DO_SOUND), 0);
  EXPECT_GE(match_component(0xF1, 0), 0);
}

TEST(ComponentTable, MultiSearchFilesAreNumbered) {
  const ComponentKind& multi = COMPONENT_KINDS[match_component(0xFF, DO_OPTIONAL)];
  EXPECT_EQ(component_file_name(multi, 1), "MULTI1.DIC");
  EXPECT_EQ(component_file_name(multi, 12), "MULTI12.DIC");
  EXPECT_EQ(component_file_name(COMPONENT_KINDS[0], 3), "HONMON.DIC");
}

TEST(IndexPage, ReadsAtMost127Entries) {
  std::uint8_t page[2048] = {};
  page[0] = 0x01;
  page[1] = 0x00;  // 256 entries announced
  EXPECT_EQ(index_entry_count(page), 127);
  page[0] = 0;
  page[1] = 3;
  EXPECT_EQ(index_entry_count(page), 3);
  IndexEntryView e = index_entry(page, 2);
  e.set_start_page(0x01020304);
  EXPECT_EQ(page[16 + 32 + 2], 0x01);
  EXPECT_EQ(e.start_page(), 0x01020304u);
}

}  // namespace
}  // namespace tolvex
