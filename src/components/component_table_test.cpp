#include "components/component_table.h"

#include <gtest/gtest.h>

#include <set>

#include "components/run_options.h"

namespace tolvex {
namespace {

TEST(ComponentTable, CodesAreUniqueAndSelectedByClassAndFlags) {
  std::set<int> codes;
  for (const auto& k : COMPONENT_KINDS) codes.insert(k.code);
  EXPECT_EQ(codes.size(), 58u);
  EXPECT_STREQ(COMPONENT_KINDS[54].file_name, "GA16FULL");
  EXPECT_EQ(COMPONENT_KINDS[54].compressed, 0);
  EXPECT_EQ(COMPONENT_KINDS[57].code, 0xFF);
  const int all = DO_OPTIONAL | DO_GRAPHICS | DO_SOUND;
  // code, the flags that select it (-1: never written)
  for (const auto& [code, flags] : std::vector<std::pair<int, int>>{{0x00, 0},
                                                                    {0xF1, 0},
                                                                    {0x02, -1},
                                                                    {0x0C, -1},
                                                                    {0x03, DO_OPTIONAL},
                                                                    {0x80, DO_OPTIONAL},
                                                                    {0xFF, DO_OPTIONAL},
                                                                    {0xD2, DO_GRAPHICS},
                                                                    {0xD8, DO_SOUND}}) {
    EXPECT_EQ(match_component(static_cast<std::uint8_t>(code), flags < 0 ? all : flags) >= 0, flags >= 0) << code;
    EXPECT_TRUE(flags <= 0 || match_component(static_cast<std::uint8_t>(code), all & ~flags) == -1) << code;
  }
  const ComponentKind& multi = COMPONENT_KINDS[match_component(0xFF, DO_OPTIONAL)];
  EXPECT_EQ(component_file_name(multi, 12), "MULTI12.DIC");
  EXPECT_EQ(component_file_name(COMPONENT_KINDS[0], 3), "HONMON.DIC");
}

TEST(IndexPage, ReadsAtMost127Entries) {
  std::uint8_t page[2048] = {0x01, 0x00};  // 256 entries announced
  EXPECT_EQ(index_entry_count(page), 127);
  page[0] = 0;
  page[1] = 3;
  EXPECT_EQ(index_entry_count(page), 3);
  index_entry(page, 2).set_start_page(0x01020304);
  EXPECT_EQ(page[16 + 32 + 2], 0x01);
  EXPECT_EQ(index_entry(page, 2).start_page(), 0x01020304u);
}

}  // namespace
}  // namespace tolvex
