#include "platform/platform.h"

#include "platform/native_path.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <sched.h>
#endif

namespace tolvex::platform {

#ifdef _WIN32
// Every path is UTF-8 up to here and goes to Windows as UTF-16 (wide_path):
// the narrow calls would pass it through the ANSI code page, which holds
// few of the world's scripts.
int open_read(const std::string& path) {
  const std::wstring wide = wide_path(path);
  struct _stat64 st;
  // Devices ("NUL", "CON") and directories are not opened at all; what was
  // opened must still be a file on a disk.
  if (::_wstat64(wide.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) != _S_IFREG) return OPEN_NOT_REGULAR;
  int fd = ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY);
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
long read_fd(int fd, void* buf, std::size_t n) { return ::_read(fd, buf, static_cast<unsigned>(n)); }
long write_fd(int fd, const void* buf, std::size_t n) { return ::_write(fd, buf, static_cast<unsigned>(n)); }
std::int64_t seek_set(int fd, std::int64_t offset) { return ::_lseeki64(fd, offset, SEEK_SET); }
int close_fd(int fd) { return ::_close(fd); }
int make_directory(const std::string& path) {
  if (CreateDirectoryW(wide_path(path).c_str(), nullptr)) return 0;
  return is_directory(path) ? 0 : -1;
}
// The C runtime's _wstat64 refuses the verbatim "\\?\" form of long paths
// (it takes the "?" for a wildcard): the size comes from the open file, the
// kind from the attributes.
std::int64_t regular_file_size(const std::string& path) {
  const int fd = open_read(path);
  if (fd < 0) return -1;
  const std::int64_t size = descriptor_size(fd);
  ::_close(fd);
  return size;
}
bool is_directory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(wide_path(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
bool path_exists(const std::string& path) {
  return GetFileAttributesW(wide_path(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
std::vector<std::string> list_directory(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE first = FindFirstFileW(wide_path((dir.empty() ? std::string(".") : dir) + "\\*").c_str(), &found);
  if (first == INVALID_HANDLE_VALUE) return names;
  const std::unique_ptr<void, decltype(&FindClose)> search(first, &FindClose);
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(utf8_from_wide(name));
  } while (FindNextFileW(search.get(), &found));
  return names;
}
std::vector<std::string> utf8_arguments(int argc, const wchar_t* const* argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(utf8_from_wide(argv[i]));
  return args;
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
std::vector<std::string> list_directory(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir.empty() ? std::string(".") : dir, ec), end; !ec && it != end;
       it.increment(ec))
    names.push_back(it->path().filename().string());
  return names;
}
std::tm local_time(std::time_t t) {
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}
#endif

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
#ifdef _WIN32
  // A console shows UTF-16: written so, a path keeps every character, where
  // the bytes would be read in the console's code page. Redirected, standard
  // output gets the UTF-8 bytes of the log.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
    std::fflush(stdout);
    const std::wstring wide = wide_from_utf8(std::string(data, n));
    for (std::size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(wide.size() - done < 8192 ? wide.size() - done : 8192);
      if (!WriteConsoleW(out, wide.data() + done, chunk, &written, nullptr) || written == 0) break;
      done += written;
    }
    return;
  }
#endif
  std::fwrite(data, 1, n, stdout);
  std::fflush(stdout);
}

}  // namespace tolvex::platform
