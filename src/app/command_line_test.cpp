#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/messages.h"

namespace tolvex {
namespace {

std::optional<CommandLine> parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tolvex");
  return parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, OptionLettersInEitherCaseAndOnlyTheSecondCharacter) {
  auto cl = parse({"-A", "-N", "CATALOGS"});
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->options.selection, DO_OPTIONAL | DO_GRAPHICS | DO_SOUND);
  EXPECT_TRUE(cl->options.NO_HASH);
  EXPECT_FALSE(cl->options.DO_RAW);

  cl = parse({"-og", "CATALOGS"});
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->options.selection, DO_OPTIONAL);

  cl = parse({"-r", "-s", "-G", "-o", "-o", "CATALOGS"});
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->options.selection, DO_OPTIONAL | DO_GRAPHICS | DO_SOUND);
  EXPECT_TRUE(cl->options.DO_RAW);
}

TEST(CommandLine, RefusedOptionsAndCountsShowTheUsage) {
  EXPECT_FALSE(parse({"-x", "CATALOGS"}));
  EXPECT_FALSE(parse({"-X", "CATALOGS"}));
  EXPECT_FALSE(parse({"-", "CATALOGS"}));
  EXPECT_FALSE(parse({"--", "CATALOGS"}));
  EXPECT_FALSE(parse({"-q", "CATALOGS"}));
  EXPECT_FALSE(parse({}));
  EXPECT_FALSE(parse({"-o"}));
  EXPECT_FALSE(parse({"a", "b", "c", "d"}));
}

TEST(CommandLine, TheFirstNonOptionEndsOptionParsing) {
  auto cl = parse({"CATALOGS", "-o"});
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->options.selection, 0);
  ASSERT_EQ(cl->positional.size(), 2u);
  EXPECT_EQ(cl->positional[1], "-o");
  cl = parse({"CATALOGS", "dict", "-x"});
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->positional.size(), 3u);
}

class Printing : public ::testing::Test {
 protected:
  void SetUp() override {
    set_console_sink([this](std::string_view s) { console_ += s; });
  }
  void TearDown() override { set_console_sink(nullptr); }
  std::string console_;
};

TEST_F(Printing, UsageHasElevenLinesAndTheBannerFirst) {
  print_usage();
  EXPECT_EQ(console_.rfind("tolvex Ver.0.2 2004/11/20\nUsage: tolvex [-o] [-g] [-s] [-a] [-x] catalog [subdir [newdir]]\n", 0), 0u);
  EXPECT_EQ(std::count(console_.begin(), console_.end(), '\n'), 11);
  EXPECT_NE(console_.find("    -a: same as \"-o -g -s\"\n"), std::string::npos);
}

TEST_F(Printing, OptionsLineListsFlagsInFixedOrder) {
  RunOptions o;
  print_options(o);
  EXPECT_EQ(console_, "Options:\n");
  console_.clear();
  o.selection = DO_OPTIONAL | DO_GRAPHICS | DO_SOUND;
  o.NO_HASH = true;
  o.DO_RAW = true;
  print_options(o);
  EXPECT_EQ(console_, "Options: DO_OPTIONAL DO_GRAPHICS DO_SOUND NO_HASH DO_RAW\n");
}

TEST_F(Printing, ElapsedTimeIsMinutesAndSecondsWithoutHours) {
  print_elapsed(1075, 1000);
  print_elapsed(3600, 0);
  print_elapsed(5, 5);
  EXPECT_EQ(console_, "Time elapsed: 1:15\nTime elapsed: 60:00\nTime elapsed: 0:00\n");
}

}  // namespace
}  // namespace tolvex
