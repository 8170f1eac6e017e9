// The registry of temporary files in progress, the handlers that remove them
// when the run is stopped, and the removal of the ones that a dead run left.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/native_path.h"
#include "platform/output_file.h"
#include "platform/temporary_registry.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace tolvex::platform {
namespace {

#ifdef _WIN32
using NativeChar = wchar_t;
std::wstring native(const std::string& path) { return wide_path(path); }
#else
using NativeChar = char;
const std::string& native(const std::string& path) { return path; }
#endif

// One writer at a time has a temporary file; a few slots leave room.
constexpr int SLOTS = 4;
constexpr std::size_t SLOT_CHARS = 1024;

struct Slot {
  std::atomic<int> used{0};
  NativeChar path[SLOT_CHARS] = {};
};
Slot slots[SLOTS];
static_assert(std::atomic<int>::is_always_lock_free, "read by a signal handler");

// Removes every registered temporary file: only calls that are safe in a
// signal handler (an atomic load and unlink) or in the console handler's thread.
void remove_registered() {
  for (Slot& s : slots) {
    if (s.used.load(std::memory_order_acquire) == 0) continue;
#ifdef _WIN32
    DeleteFileW(s.path);
#else
    ::unlink(s.path);
#endif
  }
}

// "NAME.tolvex-<pid>.tmp": the pid, or -1 for any other name.
template <typename Char>
long temporary_pid(const std::basic_string<Char>& name) {
  static const char marker[] = ".tolvex-";
  static const char suffix[] = ".tmp";
  const std::size_t m = sizeof marker - 1, s = sizeof suffix - 1;
  if (name.size() <= m + s) return -1;
  for (std::size_t i = 0; i < s; ++i) {
    if (name[name.size() - s + i] != static_cast<Char>(suffix[i])) return -1;
  }
  std::size_t digits_end = name.size() - s, start = digits_end;
  while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9') --start;
  if (start == digits_end || digits_end - start > 9 || start < m) return -1;
  for (std::size_t i = 0; i < m; ++i) {
    if (name[start - m + i] != static_cast<Char>(marker[i])) return -1;
  }
  long pid = 0;
  for (std::size_t i = start; i < digits_end; ++i) pid = pid * 10 + (name[i] - '0');
  return pid;
}

#ifdef _WIN32
BOOL WINAPI on_console_stop(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) remove_registered();
  return FALSE;  // the default handler then ends the process
}
// Deleting a file that a live run holds open would only mark it; the
// process check comes first.
bool remove_if_unused(const std::filesystem::path& file) { return DeleteFileW(file.c_str()) != 0; }
#else
void on_stop_signal(int sig) {
  remove_registered();
  // SA_RESETHAND has restored the default action: the process ends by the
  // signal, as it would have without this handler.
  ::raise(sig);
}
// The writer holds a lock on its temporary file for as long as it lives.
bool remove_if_unused(const std::filesystem::path& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return false;
  bool removed = false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) removed = ::unlink(file.c_str()) == 0;
  ::close(fd);
  return removed;
}
#endif

}  // namespace

int register_temporary(const std::string& temporary) {
  const auto name = native(temporary);
  if (name.size() >= SLOT_CHARS) return -1;
  for (int i = 0; i < SLOTS; ++i) {
    Slot& s = slots[i];
    if (s.used.load(std::memory_order_acquire) != 0) continue;
    std::memcpy(s.path, name.c_str(), (name.size() + 1) * sizeof(NativeChar));
    s.used.store(1, std::memory_order_release);
    return i;
  }
  return -1;
}

void unregister_temporary(int slot) {
  if (slot >= 0 && slot < SLOTS) slots[slot].used.store(0, std::memory_order_release);
}

long current_process_id() {
#ifdef _WIN32
  return static_cast<long>(GetCurrentProcessId());
#else
  return static_cast<long>(::getpid());
#endif
}

bool process_is_alive(long pid) {
  if (pid == current_process_id()) return true;
#ifdef _WIN32
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (h == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool alive = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return alive;
#else
  if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
#if defined(__linux__)
  // A killed run whose parent has not yet collected it still answers kill(),
  // but writes nothing: "pid (name) Z ...".
  if (std::FILE* stat = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r")) {
    char line[512] = {};
    const std::size_t n = std::fread(line, 1, sizeof line - 1, stat);
    std::fclose(stat);
    const char* end = std::strrchr(line, ')');
    if (n > 0 && end != nullptr && end[1] == ' ' && end[2] == 'Z') return false;
  }
#endif
  return true;
#endif
}

void remove_stale_temporaries(const std::string& dir) {
  std::error_code ec;
  std::filesystem::directory_iterator it(std::filesystem::path(native(dir)), ec);
  if (ec) return;
  for (const auto& entry : it) {
    const long pid = temporary_pid(entry.path().filename().native());
    if (pid < 0 || process_is_alive(pid)) continue;
    if (!entry.is_regular_file(ec)) continue;
    remove_if_unused(entry.path());
  }
}

void install_stop_handlers() {
#ifdef _WIN32
  SetConsoleCtrlHandler(on_console_stop, TRUE);
#else
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal that the run was started to ignore (nohup) stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    ::sigaction(sig, &action, nullptr);
  }
#endif
}

}  // namespace tolvex::platform
