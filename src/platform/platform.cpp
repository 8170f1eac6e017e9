#include "platform/platform.h"

#include <cstdio>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tolvex::platform {

#ifdef _WIN32
int open_read(const std::string& path) { return ::_open(path.c_str(), _O_RDONLY | _O_BINARY); }
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
int open_read(const std::string& path) { return ::open(path.c_str(), O_RDONLY); }
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

std::time_t now_seconds() { return std::time(nullptr); }

void console_write(const char* data, std::size_t n) {
  std::fwrite(data, 1, n, stdout);
  std::fflush(stdout);
}

}  // namespace tolvex::platform
