#include "app/messages.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "scratch_dir.h"

namespace tolvex {
namespace {

class Messages : public testing_support::ScratchCwdTest {
 protected:
  std::string log() { return log_text(); }
};

TEST_F(Messages, GoToConsoleAndLogWithCrLf) {
  msg_printf("Options:");
  msg_printf(" NO_HASH");
  msg_printf("\n");
  msg_printf("Working on %s\n", "x/CATALOGS");
  console_printf("\r  Writing %s (%d/%d chunks)", "HONMON.DIC", 1, 2);
  EXPECT_EQ(console_, "Options: NO_HASH\nWorking on x/CATALOGS\n\r  Writing HONMON.DIC (1/2 chunks)");
  EXPECT_EQ(log(), "Options: NO_HASH\r\nWorking on x/CATALOGS\r\n");
}

TEST_F(Messages, LongMessagesAreCutAt511Characters) {
  std::string path(2000, 'p');
  msg_printf("Can't open \"%s\"\n", path.c_str());
  EXPECT_EQ(console_.size(), 511u);
  EXPECT_EQ(console_.rfind("Can't open \"ppp", 0), 0u);
}

TEST_F(Messages, AnUnwritableLogIsSilent) {
  std::filesystem::create_directory(LOG_FILE_NAME);
  msg_printf("still shown\n");
  log_start();
  log_stop();
  EXPECT_EQ(console_, "still shown\n");
  EXPECT_TRUE(std::filesystem::is_directory(LOG_FILE_NAME));
}

TEST_F(Messages, RunsAreFramedByStartAndStopLines) {
  log_start();
  msg_printf("Done.\n");
  log_stop();
  log_start();
  log_stop();
  std::string text = log();
  EXPECT_EQ(text.rfind("Start: ", 0), 0u);
  // start, message, stop, empty line; twice.
  auto stop = text.find("Stop: ");
  ASSERT_NE(stop, std::string::npos);
  EXPECT_NE(text.find("\r\nDone.\r\nStop: "), std::string::npos);
  EXPECT_NE(text.find("\r\n\r\nStart: ", stop), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
  EXPECT_EQ(console_, "Done.\n");
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
  std::time_t t = std::mktime(&tm);
  EXPECT_EQ(calendar_text(t), "Sun Dec 06 01:29:03 2026\n");
}

}  // namespace
}  // namespace tolvex
