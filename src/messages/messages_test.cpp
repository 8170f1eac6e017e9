#include "messages/messages.h"

#include <gtest/gtest.h>

namespace tolvex {
namespace {

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
