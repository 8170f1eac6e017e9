#include "e2e_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace tolvex::e2e {

namespace {
#ifdef _WIN32
std::string dq(const std::string& s) { return "\"" + s + "\""; }
#else
std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
#endif

RunResult run_command(const std::string& command) {
#ifdef _WIN32
  std::FILE* pipe = _popen(command.c_str(), "rb");
#else
  std::FILE* pipe = popen(command.c_str(), "r");
#endif
  RunResult result;
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
#ifdef _WIN32
  result.status = _pclose(pipe);
  // The Windows console is in text mode: compare with the POSIX line ends.
  std::string lf;
  for (std::size_t i = 0; i < result.output.size(); ++i) {
    if (result.output[i] == '\r' && i + 1 < result.output.size() && result.output[i + 1] == '\n') continue;
    lf.push_back(result.output[i]);
  }
  result.output = lf;
#else
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return result;
}

RunResult run_once(const fs::path& cwd, const std::vector<std::string>& args, [[maybe_unused]] int seconds) {
#ifdef _WIN32
  // cmd.exe strips the outer quotes of the whole line.
  std::string command = "\"cd /d " + dq(fs::absolute(cwd).string()) + " && " + dq(fs::absolute(TOLVEX_EXE).string());
  for (const auto& a : args) command += " " + dq(a);
  command += " 2>&1\"";
  // Status 9009 is cmd.exe failing to start the program at all, and -1 with
  // no output the pipe failing to start cmd.exe. Under Wine on a loaded
  // machine either now and then happens to a program that is there; it is no
  // answer of tolvex's (which exits 0 or 1), so the start is tried again (a
  // program that is really missing fails every time).
  const auto not_started = [](const RunResult& r) { return r.status == 9009 || (r.status == -1 && r.output.empty()); };
  RunResult result = run_command(command);
  for (int attempt = 1; attempt < 3 && not_started(result); ++attempt) result = run_command(command);
  return result;
#else
  std::string command = "cd " + quote(cwd.string()) + " && ";
  if (seconds > 0) command += "ulimit -f 131072 && timeout -k 5 " + std::to_string(seconds) + " ";
  command += quote(TOLVEX_EXE);
  for (const auto& a : args) command += " " + quote(a);
  command += " 2>&1";
  return run_command(command);
#endif
}
}  // namespace

RunResult run_tolvex_in(const fs::path& cwd, const std::vector<std::string>& args, const fs::path& book, int seconds) {
  const auto before = book.empty() ? std::map<std::string, std::string>{} : fingerprint(book);
  const RunResult result = run_once(cwd, args, seconds);
  if (!book.empty()) {
    EXPECT_EQ(fingerprint(book), before) << "the run changed the book";
  }
  return result;
}

std::string without_times(std::string text) {
  text = std::regex_replace(
      text, std::regex("(Start|Stop): [A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}"), "$1: T");
  return std::regex_replace(text, std::regex("Time elapsed: \\d+:\\d\\d"), "Time elapsed: E");
}

}  // namespace tolvex::e2e
