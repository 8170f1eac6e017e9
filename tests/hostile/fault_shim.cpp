// The fault seam of the hostile tests, preloaded into the tolvex binary
// (LD_PRELOAD; other programs of the test's shell pass through). TOLVEX_FAULT:
//   write:NAME   writes to a file whose path holds NAME fail with ENOSPC
//   fsync:NAME   its flush fails with EIO;  rename:NAME  the rename onto it
//   kill:NAME    the process gets SIGKILL at that flush (a complete temporary
//                file, the final name not yet replaced); term:NAME SIGTERM
//   malloc:K     the K-th allocation of 4096 bytes or more fails; the run
//                ends by printing how many it made ("fault seam: N allocations")
//   thread       no thread can be started
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern "C" {

void* __libc_malloc(size_t);

// The fault's argument when TOLVEX_FAULT names `call` in tolvex itself.
static const char* fault(const char* call) {
  const char* f = getenv("TOLVEX_FAULT");
  const size_t n = strlen(call);
  if (f == nullptr || strcmp(program_invocation_short_name, "tolvex") != 0 || strncmp(f, call, n) != 0) return nullptr;
  return f[n] == ':' ? f + n + 1 : f + n;
}

// Fails the call with `error` (-1) when TOLVEX_FAULT names it and `hit`.
#define FAIL_IF(call, hit, error)        \
  if (fault(call) != nullptr && (hit)) { \
    errno = error;                       \
    return -1;                           \
  }
// The C library's own `name`, of type `type`, as `real`.
#define REAL(name, type) static const auto real = reinterpret_cast<type>(dlsym(RTLD_NEXT, name))

static char named[1024];  // descriptors open on a path holding the fault's NAME
static bool is_named(int fd) { return fd >= 0 && fd < static_cast<int>(sizeof named) && named[fd]; }

int open(const char* path, int flags, ...) {
  REAL("open", int (*)(const char*, int, ...));
  va_list ap;
  va_start(ap, flags);
  const int fd = real(path, flags, (flags & O_CREAT) ? va_arg(ap, mode_t) : 0u);
  va_end(ap);
  const char* name = getenv("TOLVEX_FAULT") != nullptr ? strchr(getenv("TOLVEX_FAULT"), ':') : nullptr;
  if (fd >= 0 && fd < static_cast<int>(sizeof named)) named[fd] = name != nullptr && strstr(path, name + 1) != nullptr;
  return fd;
}

ssize_t write(int fd, const void* data, size_t n) {
  REAL("write", ssize_t(*)(int, const void*, size_t));
  FAIL_IF("write", is_named(fd), ENOSPC);
  return real(fd, data, n);
}

int fsync(int fd) {
  REAL("fsync", int (*)(int));
  if (is_named(fd) && fault("kill")) raise(SIGKILL);
  if (is_named(fd) && fault("term")) raise(SIGTERM);
  FAIL_IF("fsync", is_named(fd), EIO);
  return real(fd);
}

int rename(const char* from, const char* to) {
  REAL("rename", int (*)(const char*, const char*));
  FAIL_IF("rename", strstr(to, fault("rename")) != nullptr, EIO);
  return real(from, to);
}

static long allocations = 0;  // of 4096 bytes or more, counted under "malloc:K"

void* malloc(size_t n) {
  const char* k = fault("malloc");
  if (n >= 4096 && k != nullptr && ++allocations == atol(k)) return nullptr;
  return __libc_malloc(n);
}

// How many allocations a run under "malloc:K" made, for the test to try each.
__attribute__((destructor)) static void report_allocations() {
  if (fault("malloc") != nullptr) dprintf(2, "fault seam: %ld allocations\n", allocations);
}

int pthread_create(pthread_t* t, const pthread_attr_t* a, void* (*start)(void*), void* arg) {
  REAL("pthread_create", int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*));
  return fault("thread") != nullptr ? EAGAIN : real(t, a, start, arg);
}

}  // extern "C"
