#include "platform/platform.h"

#include "platform/native_path.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include <thread>

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <sched.h>
#endif

namespace tolvex::platform {

#ifdef _WIN32
std::wstring wide_path(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}
std::string utf8_from_wide(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
  return utf8;
}
int open_read(const std::string& path) {
  struct _stat64 st;
  // Devices ("NUL", "CON") and directories are not opened at all; what was
  // opened must still be a file on a disk.
  if (::_stat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) != _S_IFREG) return OPEN_NOT_REGULAR;
  int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return -1;
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (GetFileType(handle) != FILE_TYPE_DISK || ::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    ::_close(fd);
    return OPEN_NOT_REGULAR;
  }
  return fd;
}
std::int64_t descriptor_size(int fd) {
  struct _stat64 st;
  return ::_fstat64(fd, &st) == 0 ? st.st_size : -1;
}
int open_write(const std::string& path) {
  return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long read_fd(int fd, void* buf, std::size_t n) { return ::_read(fd, buf, static_cast<unsigned>(n)); }
long write_fd(int fd, const void* buf, std::size_t n) { return ::_write(fd, buf, static_cast<unsigned>(n)); }
std::int64_t seek_set(int fd, std::int64_t offset) { return ::_lseeki64(fd, offset, SEEK_SET); }
int close_fd(int fd) { return ::_close(fd); }
int make_directory(const std::string& path) {
  if (::_mkdir(path.c_str()) == 0) return 0;
  return is_directory(path) ? 0 : -1;
}
std::int64_t regular_file_size(const std::string& path) {
  struct _stat64 st;
  if (::_stat64(path.c_str(), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return -1;
  return st.st_size;
}
bool is_directory(const std::string& path) {
  struct _stat64 st;
  return ::_stat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFDIR;
}
bool path_exists(const std::string& path) {
  struct _stat64 st;
  return ::_stat64(path.c_str(), &st) == 0;
}
std::tm local_time(std::time_t t) {
  std::tm out{};
  localtime_s(&out, &t);
  return out;
}
#else
int open_read(const std::string& path) {
  // A device is not even opened when the name already says what it is (an
  // open can have effects of its own). Between that look and the open the
  // name may change, so the open does not wait (a FIFO without a writer
  // would) and the descriptor itself decides.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return OPEN_NOT_REGULAR;
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return (errno == ELOOP || errno == ENXIO) ? OPEN_NOT_REGULAR : -1;  // ENXIO: a socket
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return OPEN_NOT_REGULAR;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}
std::int64_t descriptor_size(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}
int open_write(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666); }
long read_fd(int fd, void* buf, std::size_t n) {
  // A read may be cut short by a signal; callers expect whole pages.
  std::size_t done = 0;
  while (done < n) {
    ssize_t r = ::read(fd, static_cast<char*>(buf) + done, n - done);
    if (r < 0) return done > 0 ? static_cast<long>(done) : -1;
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return static_cast<long>(done);
}
long write_fd(int fd, const void* buf, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    ssize_t w = ::write(fd, static_cast<const char*>(buf) + done, n - done);
    if (w <= 0) return done > 0 ? static_cast<long>(done) : -1;
    done += static_cast<std::size_t>(w);
  }
  return static_cast<long>(done);
}
std::int64_t seek_set(int fd, std::int64_t offset) { return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET); }
int close_fd(int fd) { return ::close(fd); }
int make_directory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return 0;
  return is_directory(path) ? 0 : -1;
}
std::int64_t regular_file_size(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}
bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool path_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}
std::tm local_time(std::time_t t) {
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}
#endif

namespace {

bool same_ignoring_ascii_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 0x20);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 0x20);
    if (x != y) return false;
  }
  return true;
}

// The entry of `dir` that matches `name` ignoring case, or with ";1" after it.
bool find_entry(const std::string& dir, const std::string& name, std::string& found) {
  std::error_code ec;
  std::filesystem::directory_iterator it(dir.empty() ? std::string(".") : dir, ec);
  if (ec) return false;
  std::string versioned;
  for (const auto& entry : it) {
    std::string candidate = entry.path().filename().string();
    if (same_ignoring_ascii_case(candidate, name)) {
      found = candidate;
      return true;
    }
    if (versioned.empty() && same_ignoring_ascii_case(candidate, name + ";1")) versioned = candidate;
  }
  if (versioned.empty()) return false;
  found = versioned;
  return true;
}

}  // namespace

bool matches_disc_name(const std::string& entry, const std::string& name) {
  std::string rest = entry;
  if (rest.size() >= 2 && rest.compare(rest.size() - 2, 2, ";1") == 0) rest.resize(rest.size() - 2);
  if (same_ignoring_ascii_case(rest, name)) return true;
  return !rest.empty() && rest.back() == '.' && same_ignoring_ascii_case(rest.substr(0, rest.size() - 1), name);
}

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::string resolve_path_case(const std::string& path) {
  if (path.empty() || path_exists(path)) return path;
  std::string result;
  std::size_t i = 0;
  // The root stays as typed: a drive letter with its colon, leading separators.
  if (path.size() >= 2 && path[1] == ':') {
    result = path.substr(0, 2);
    i = 2;
  }
  while (i < path.size() && is_separator(path[i])) result += path[i++];
  while (i < path.size()) {
    std::size_t end = i;
    while (end < path.size() && !is_separator(path[end])) ++end;
    std::string name = path.substr(i, end - i);
    std::string found = name;
    if (!path_exists(result + name) && !find_entry(result, name, found)) return path;
    result += found;
    while (end < path.size() && is_separator(path[end])) result += path[end++];
    i = end;
  }
  return result;
}

std::time_t now_seconds() { return std::time(nullptr); }

int usable_processors() {
  int n = 0;
#if defined(__linux__)
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
#elif defined(_WIN32)
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
    for (; process != 0; process &= process - 1) ++n;
  }
#endif
  if (n <= 0) n = static_cast<int>(std::thread::hardware_concurrency());
  return n > 0 ? n : 1;
}

void console_write(const char* data, std::size_t n) {
  std::fwrite(data, 1, n, stdout);
  std::fflush(stdout);
}

}  // namespace tolvex::platform
