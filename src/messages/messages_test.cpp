#include "messages/messages.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

namespace tolvex {
namespace {

using Messages = testing_support::ScratchCwdTest;

TEST_F(Messages, RunsAreFramedInTheLogWithCrLfAndProgressLinesStayOnTheConsole) {
  log_start();
  msg_printf("Options:");
  msg_printf(" NO_HASH\n");
  console_printf("\r  Writing %s (%d/%d chunks)", "HONMON.DIC", 1, 2);
  log_stop();
  EXPECT_EQ(console_, "Options: NO_HASH\n\r  Writing HONMON.DIC (1/2 chunks)");
  const std::string text = log_text();
  EXPECT_EQ(text.rfind("Start: ", 0), 0u);
  EXPECT_NE(text.find("\r\nOptions: NO_HASH\r\nStop: "), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\r\n\r\n"));
}

TEST_F(Messages, LongMessagesAreCutAt511Characters) {
  msg_printf("Can't open \"%s\"\n", std::string(2000, 'p').c_str());
  EXPECT_EQ(console_.size(), 511u);
  EXPECT_EQ(console_.rfind("Can't open \"ppp", 0), 0u);
}

TEST_F(Messages, AnUnwritableLogIsSilent) {
  std::filesystem::create_directory(LOG_FILE_NAME);
  log_start();
  msg_printf("still shown\n");
  log_stop();
  EXPECT_EQ(console_, "still shown\n");
  EXPECT_TRUE(std::filesystem::is_directory(LOG_FILE_NAME));
}

TEST(CalendarText, HasEnglishNamesAndATwoDigitDay) {
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 6;
  tm.tm_hour = 1;
  tm.tm_min = 29;
  tm.tm_sec = 3;
  tm.tm_isdst = -1;
  EXPECT_EQ(calendar_text(std::mktime(&tm)), "Sun Dec 06 01:29:03 2026\n");
}

}  // namespace
}  // namespace tolvex
