// A package file is never half-written under its own name: it is written as
// a temporary file beside it, flushed to disk, and renamed over the final
// name only when complete. A rename within one directory replaces the file
// whole or not at all, so a failing or stopped run leaves the previous file
// (or none) under the final name, never a torn one.
//
// The temporary name is the final name followed by ".tolvex-<pid>.tmp": no
// book or package file has a lower-case letter or a dash in its name, and
// the process id tells a live run's file from one that a dead run left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvex::platform {

class OutputFile {
 public:
  OutputFile() = default;
  // An uncommitted file is abandoned: its temporary file is removed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file for `path`; false when it cannot be created.
  bool create(const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  // As write_fd and seek_set, on the temporary file.
  long write(const void* data, std::size_t n);
  std::int64_t seek(std::int64_t offset);

  // Flushes the file to disk, closes it and renames it over the final name.
  // Returns nullptr, or the name of the call that failed ("fsync()",
  // "close()", "rename()"), the temporary file then removed.
  const char* commit();
  // Closes and removes the temporary file; the final name is left as it was.
  void abandon();

 private:
  // Bytes written since the disk was last asked to start writing them out.
  static constexpr std::uint64_t EARLY_WRITEBACK_BYTES = 4u << 20;
  std::uint64_t unflushed_ = 0;
  int fd_ = -1;
  int slot_ = -1;  // in the registry of temporary files in progress
  std::string path_;
  std::string temporary_;
};

// The temporary name of `path` in this process.
std::string temporary_name(const std::string& path);

// Removes the temporary files in `dir` left by runs that ended without
// cleaning up (killed, a power cut). A file of a run that is still alive is
// never removed.
void remove_stale_temporaries(const std::string& dir);

// Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the
// console) remove the temporary files in progress, then end the process as
// the signal would have.
void install_stop_handlers();

}  // namespace tolvex::platform
