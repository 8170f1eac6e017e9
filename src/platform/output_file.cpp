#include "platform/output_file.h"

#include "platform/native_path.h"
#include "platform/platform.h"
#include "platform/temporary_registry.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace tolvex::platform {
namespace {

#ifdef _WIN32
// Shared for deletion, so that the console's control handler can remove the
// file while it is open (it goes when the process closes it).
int create_exclusive(const std::string& temporary) {
  HANDLE h = CreateFileW(wide_path(temporary).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) CloseHandle(h);
  return fd;
}
bool already_exists() { return GetLastError() == ERROR_FILE_EXISTS; }
bool flush_to_disk(int fd) { return FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) != 0; }
bool remove_file(const std::string& path) { return DeleteFileW(wide_path(path).c_str()) != 0; }
bool replace_file(const std::string& from, const std::string& to) {
  return MoveFileExW(wide_path(from).c_str(), wide_path(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
void start_writeback(int) {}
constexpr const char* FLUSH_CALL = "FlushFileBuffers()";
constexpr const char* RENAME_CALL = "MoveFileExW()";
#else
// The lock dies with the process: a later run that can take it knows that
// no live run writes the file any more.
int create_exclusive(const std::string& temporary) {
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) ::flock(fd, LOCK_EX | LOCK_NB);
  return fd;
}
bool already_exists() { return errno == EEXIST; }
bool flush_to_disk(int fd) { return ::fsync(fd) == 0; }
bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }
bool replace_file(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }
#if defined(__linux__)
void start_writeback(int fd) { ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE); }
#else
void start_writeback(int) {}
#endif
constexpr const char* FLUSH_CALL = "fsync()";
constexpr const char* RENAME_CALL = "rename()";
#endif

}  // namespace

std::string temporary_name(const std::string& path) {
  return path + ".tolvex-" + std::to_string(current_process_id()) + ".tmp";
}

OutputFile::~OutputFile() { abandon(); }

bool OutputFile::create(const std::string& path) {
  abandon();
  // A directory under the final name could never be replaced: refused now,
  // as the open of the final name itself would have been.
  if (path.empty() || is_directory(path)) return false;
  path_ = path;
  temporary_ = temporary_name(path);
  slot_ = register_temporary(temporary_);
  fd_ = create_exclusive(temporary_);
  // Left by an earlier process that had this id and was stopped.
  if (fd_ < 0 && already_exists() && remove_file(temporary_)) fd_ = create_exclusive(temporary_);
  if (fd_ < 0) {
    unregister_temporary(slot_);
    slot_ = -1;
    return false;
  }
  return true;
}

long OutputFile::write(const void* data, std::size_t n) {
  const long written = write_fd(fd_, data, n);
  if (written > 0) unflushed_ += static_cast<std::uint64_t>(written);
  // The flush at commit waits for every byte not yet on disk: handing each
  // few MiB to the disk as they are written lets it work while the run
  // goes on, and leaves the commit little to wait for.
  if (unflushed_ >= EARLY_WRITEBACK_BYTES) {
    start_writeback(fd_);
    unflushed_ = 0;
  }
  return written;
}

std::int64_t OutputFile::seek(std::int64_t offset) { return seek_set(fd_, offset); }

const char* OutputFile::commit() {
  if (fd_ < 0) return "close()";
  if (!flush_to_disk(fd_)) {
    abandon();
    return FLUSH_CALL;
  }
  const int closed = close_fd(fd_);
  fd_ = -1;
  if (closed != 0) {
    abandon();
    return "close()";
  }
  if (!replace_file(temporary_, path_)) {
    abandon();
    return RENAME_CALL;
  }
  unregister_temporary(slot_);
  slot_ = -1;
  temporary_.clear();
  return nullptr;
}

void OutputFile::abandon() {
  if (fd_ >= 0) close_fd(fd_);
  fd_ = -1;
  if (!temporary_.empty()) remove_file(temporary_);
  temporary_.clear();
  unregister_temporary(slot_);
  slot_ = -1;
}

}  // namespace tolvex::platform
