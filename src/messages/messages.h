// The message routine every part of the converter reports through.
// msg_printf shows a message on the console and appends the same words to
// tolvex.log in the current directory (reopened for every message, so nothing
// is held open while the program works). console_printf is the console-only
// path for the usage text and the progress lines redrawn with "\r".
// Text reaching the log has every "\n" stored as CR LF, on every platform.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace tolvex {

inline constexpr const char* LOG_FILE_NAME = "tolvex.log";
// A formatted message holds at most 511 characters; longer ones are cut.
inline constexpr int MESSAGE_BUFFER_SIZE = 512;

#if defined(__GNUC__)
#define TOLVEX_PRINTF(a, b) __attribute__((format(printf, a, b)))
#else
#define TOLVEX_PRINTF(a, b)
#endif

void msg_printf(const char* format, ...) TOLVEX_PRINTF(1, 2);
void console_printf(const char* format, ...) TOLVEX_PRINTF(1, 2);

// Framing lines of one run in the log ("Start: ..." / "Stop: ...\n").
void log_start();
void log_stop();

// "Sun Dec 06 01:29:03 2026\n": English names, two-digit day, 24-hour time.
std::string calendar_text(std::time_t t);

// Appends text to the log, turning "\n" into CR LF; silent when the log
// cannot be opened.
void append_to_log(std::string_view text);

// Sees the text of every msg_printf once it is shown and logged: the library
// run keeps each subbook's first failure from it. nullptr removes it.
using MessageTap = std::function<void(std::string_view)>;
void set_message_tap(MessageTap tap);

// Tests may divert the console; nullptr restores standard output.
using ConsoleSink = std::function<void(std::string_view)>;
void set_console_sink(ConsoleSink sink);

}  // namespace tolvex
