#include "app/command_line.h"

#include <gtest/gtest.h>

#include "messages/messages.h"
#include "scratch_dir.h"

namespace tolvex {
namespace {

std::optional<CommandLine> parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tolvex");
  return parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, OptionLettersInEitherCaseUntilTheFirstNonOption) {
  auto cl = parse({"-A", "-N", "CATALOGS"});
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->options.selection, DO_OPTIONAL | DO_GRAPHICS | DO_SOUND);
  EXPECT_TRUE(cl->options.NO_HASH);
  EXPECT_FALSE(cl->options.DO_RAW);
  cl = parse({"-og", "CATALOGS"});  // only the second character counts
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->options.selection, DO_OPTIONAL);
  cl = parse({"CATALOGS", "-o"});
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->options.selection, 0);
  ASSERT_EQ(cl->positional.size(), 2u);
  EXPECT_EQ(cl->positional[1], "-o");
}

TEST(CommandLine, RefusedOptionsAndCounts) {
  for (std::vector<const char*> args : std::vector<std::vector<const char*>>{
           {"-X", "CATALOGS"}, {"-", "CATALOGS"}, {"--", "CATALOGS"}, {}, {"-o"}, {"a", "b", "c", "d"}}) {
    EXPECT_FALSE(parse(args)) << args.size();
  }
}

using Printing = testing_support::ScratchCwdTest;

TEST_F(Printing, OptionsAndElapsedTime) {
  RunOptions o;
  o.selection = DO_OPTIONAL | DO_GRAPHICS | DO_SOUND;
  o.NO_HASH = o.DO_RAW = true;
  print_options(o);
  print_elapsed(1075, 1000);
  print_elapsed(3600, 0);  // no hours
  EXPECT_EQ(console_,
            "Options: DO_OPTIONAL DO_GRAPHICS DO_SOUND NO_HASH DO_RAW\nTime elapsed: 1:15\nTime elapsed: 60:00\n");
}

}  // namespace
}  // namespace tolvex
