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

// Refused command lines, and options after the catalog, are checked on whole
// runs.
TEST(CommandLine, OptionLettersInEitherCaseAndOnlyTheirSecondCharacter) {
  auto cl = parse({"-A", "-N", "CATALOGS"});
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->options.selection, DO_OPTIONAL | DO_GRAPHICS | DO_SOUND);
  EXPECT_TRUE(cl->options.NO_HASH);
  EXPECT_FALSE(cl->options.DO_RAW);
  cl = parse({"-og", "CATALOGS"});  // only the second character counts
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->options.selection, DO_OPTIONAL);
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
