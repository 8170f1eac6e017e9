#include "messages/messages.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace tolvex {
namespace {

ConsoleSink& console_sink() {
  static ConsoleSink sink;
  return sink;
}

MessageTap& message_tap() {
  static MessageTap tap;
  return tap;
}

void to_console(std::string_view text) {
  if (console_sink()) {
    console_sink()(text);
  } else {
    platform::console_write(text.data(), text.size());
  }
}

std::string format_message(const char* format, std::va_list args) {
  char buffer[MESSAGE_BUFFER_SIZE];
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  if (n < 0) return std::string();
  // vsnprintf cuts at 511 characters and always terminates the buffer.
  std::size_t len = static_cast<std::size_t>(n) < sizeof buffer ? static_cast<std::size_t>(n) : sizeof buffer - 1;
  return std::string(buffer, len);
}

}  // namespace

void set_console_sink(ConsoleSink sink) { console_sink() = std::move(sink); }

void set_message_tap(MessageTap tap) { message_tap() = std::move(tap); }

void append_to_log(std::string_view text) {
  // Binary append with explicit CR LF, so the log is the same on every platform.
  std::FILE* log = std::fopen(LOG_FILE_NAME, "ab");
  if (log == nullptr) return;
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  std::fwrite(out.data(), 1, out.size(), log);
  std::fclose(log);
}

void msg_printf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = format_message(format, args);
  va_end(args);
  to_console(text);
  append_to_log(text);
  if (message_tap()) message_tap()(text);
}

void console_printf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = format_message(format, args);
  va_end(args);
  to_console(text);
}

std::string calendar_text(std::time_t t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm = platform::local_time(t);
  char buffer[64];
  int wday = (tm.tm_wday >= 0 && tm.tm_wday < 7) ? tm.tm_wday : 0;
  int mon = (tm.tm_mon >= 0 && tm.tm_mon < 12) ? tm.tm_mon : 0;
  std::snprintf(buffer, sizeof buffer, "%s %s %02d %02d:%02d:%02d %d\n", kDays[wday], kMonths[mon], tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
  return buffer;
}

void log_start() { append_to_log("Start: " + calendar_text(platform::now_seconds())); }

void log_stop() { append_to_log("Stop: " + calendar_text(platform::now_seconds()) + "\n"); }

}  // namespace tolvex
