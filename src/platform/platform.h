// The one place that talks to the operating system: file descriptors,
// directories, file status, clocks and the console. Everything above this
// file is portable C++; the POSIX and Windows spellings live in platform.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace tolvex::platform {

// Raw descriptors, always in binary mode. Results follow the C library:
// -1 (or a negative count) on failure.
//
// Opens a regular file, or a link to one, for reading. Anything else (a
// FIFO, a device, a socket, a directory, a link loop) is refused with
// OPEN_NOT_REGULAR without waiting and before a byte is read: book folders
// come from archives, and a FIFO would hang the run, a device never end.
inline constexpr int OPEN_NOT_REGULAR = -2;
int open_read(const std::string& path);
// Size of the file open on fd when asked; -1 on failure.
std::int64_t descriptor_size(int fd);
// Package files are written through OutputFile (output_file.h).
long read_fd(int fd, void* buf, std::size_t n);
long write_fd(int fd, const void* buf, std::size_t n);
// Seek from the start of the file; returns the new position or -1.
std::int64_t seek_set(int fd, std::int64_t offset);
int close_fd(int fd);

// Size of a regular file; -1 if the path is missing or not a regular file.
std::int64_t regular_file_size(const std::string& path);
bool is_directory(const std::string& path);
bool path_exists(const std::string& path);
// Creates one directory; an existing one is no error. Returns 0 or -1.
int make_directory(const std::string& path);

// The names of a directory's entries (without "." and ".."), in the order
// the system lists them; none when it cannot be read.
std::vector<std::string> list_directory(const std::string& dir);

// The path of a book file as it lies on disk. Returns `path` itself when it
// exists; otherwise each component after the longest existing prefix is the
// directory entry that is that component in one of the forms of
// matches_disc_name. When several entries match, the name as built wins,
// then the least decorated form (plain, then "NAME.", then "NAME;1", then
// "NAME.;1"), then the first in byte order ("HONMON" before "honmon").
// Returns `path` unchanged when nothing matches, so messages name the path
// as built.
std::string resolve_path_case(const std::string& path);

// Whether a directory entry is `name` as an ISO 9660 disc copy may record
// it: in any ASCII case, with or without a trailing "." (a file without an
// extension), with or without the version ";1" after that: "HONMON",
// "honmon.", "HONMON;1", "Honmon.;1". A compressed copy is `name` + ".ebz"
// passed in as the name.
bool matches_disc_name(const std::string& entry, const std::string& name);

#ifdef _WIN32
// wmain's UTF-16 arguments as UTF-8, the paths' spelling inside the program.
std::vector<std::string> utf8_arguments(int argc, const wchar_t* const* argv);
#endif

// Calendar time in whole seconds, and its broken-down local time.
std::time_t now_seconds();
std::tm local_time(std::time_t t);

// Processors this process may run on (its affinity: `taskset -c 0` gives
// 1), at least 1.
int usable_processors();

// Writes bytes (UTF-8) to standard output and flushes. On Windows a console
// is written in UTF-16, so that it shows every character of a path; standard
// output redirected to a file or pipe gets the UTF-8 bytes, in text mode, so
// with CR LF like the log.
void console_write(const char* data, std::size_t n);

}  // namespace tolvex::platform
