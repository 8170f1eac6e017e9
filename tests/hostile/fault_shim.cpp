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
#include <sys/types.h>
#include <unistd.h>

extern "C" {

void* __libc_malloc(size_t);

// The fault's argument when TOLVEX_FAULT names `call` in tolvex itself.
namespace {

const char* fault(const char* call) {
  const char* f = getenv("TOLVEX_FAULT");
  const size_t n = strlen(call);
  if (f == nullptr || strcmp(program_invocation_short_name, "tolvex") != 0 || strncmp(f, call, n) != 0) return nullptr;
  return f[n] == ':' ? f + n + 1 : f + n;
}

}  // namespace

static char named[1024];  // descriptors open on a path holding the fault's NAME

static int open_and_mark(const char* path, int flags, mode_t mode) {
  static int (*real)(const char*, int, ...);
  if (real == nullptr) real = reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open"));
  const int fd = real(path, flags, mode);
  const char* f = getenv("TOLVEX_FAULT");
  const char* name = f != nullptr ? strchr(f, ':') : nullptr;
  if (fd >= 0 && fd < static_cast<int>(sizeof named)) named[fd] = name != nullptr && strstr(path, name + 1) != nullptr;
  return fd;
}
int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = (flags & O_CREAT) ? va_arg(ap, mode_t) : 0u;
  va_end(ap);
  return open_and_mark(path, flags, mode);
}
int open64(const char* path, int flags, ...) __attribute__((alias("open")));

static int is_named(int fd) { return fd >= 0 && fd < static_cast<int>(sizeof named) && named[fd]; }

ssize_t write(int fd, const void* data, size_t n) {
  static ssize_t (*real)(int, const void*, size_t);
  if (real == nullptr) real = reinterpret_cast<ssize_t (*)(int, const void*, size_t)>(dlsym(RTLD_NEXT, "write"));
  if (is_named(fd) && fault("write")) {
    errno = ENOSPC;
    return -1;
  }
  return real(fd, data, n);
}

int fsync(int fd) {
  static int (*real)(int);
  if (real == nullptr) real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  if (is_named(fd) && fault("kill")) raise(SIGKILL);
  if (is_named(fd) && fault("term")) raise(SIGTERM);
  if (is_named(fd) && fault("fsync")) {
    errno = EIO;
    return -1;
  }
  return real(fd);
}

int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*);
  if (real == nullptr) real = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
  const char* name = fault("rename");
  if (name != nullptr && strstr(to, name) != nullptr) {
    errno = EIO;
    return -1;
  }
  return real(from, to);
}

static long allocations = 0;  // of 4096 bytes or more, counted under "malloc:K"

void* malloc(size_t n) {
  static long k = -1;
  if (k < 0) {
    const char* f = fault("malloc");
    k = f != nullptr ? atol(f) : 0;
  }
  if (n >= 4096 && k >= 0 && fault("malloc") != nullptr && ++allocations == k) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_malloc(n);
}

// How many allocations a run under "malloc:K" made, for the test to try each.
__attribute__((destructor)) static void report_allocations() {
  if (fault("malloc") != nullptr) dprintf(2, "fault seam: %ld allocations\n", allocations);
}

int pthread_create(pthread_t* t, const pthread_attr_t* a, void* (*start)(void*), void* arg) {
  static int (*real)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  if (real == nullptr)
    real = reinterpret_cast<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>(
        dlsym(RTLD_NEXT, "pthread_create"));
  if (fault("thread")) return EAGAIN;
  return real(t, a, start, arg);
}

}  // extern "C"
