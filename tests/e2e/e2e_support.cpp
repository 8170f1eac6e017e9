#include "e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "catalog/bytes.h"

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

MergedNumbering merged_numbering(const testbook::GeneratedSubbook& subbook) {
  MergedNumbering m;
  std::uint32_t end = 0;
  const testbook::Component *graphic = nullptr, *sound = nullptr;
  for (const auto& c : subbook.components) {
    if (c.code == 0xD2 && subbook.graphic) {
      graphic = &c;
    } else if (c.code == 0xD8 && subbook.sound) {
      sound = &c;
    } else {
      end = std::max(end, c.range_start + c.range_count);
    }
  }
  if (graphic) {
    m.graphic_start = end;
    m.graphic_shift = static_cast<std::int32_t>(end - graphic->range_start);
    end += graphic->range_count;
  }
  if (sound) {
    m.sound_start = end;
    m.sound_shift = static_cast<std::int32_t>(end - sound->range_start);
  }
  return m;
}

std::vector<std::uint8_t> expected_pages(const testbook::GeneratedSubbook& subbook,
                                         const testbook::Component& component, const MergedNumbering& numbering) {
  std::vector<std::uint8_t> bytes;
  for (const auto& page : testbook::component_pages(subbook, component))
    bytes.insert(bytes.end(), page.begin(), page.end());
  if (component.code != 0x00) return bytes;
  // Body text: every reference moves by its component's shift.
  for (const auto& ref : subbook.references) {
    std::size_t at = static_cast<std::size_t>(ref.text_page - component.range_start) * 2048 + ref.offset;
    if (ref.graphic && numbering.graphic_shift != 0) {
      std::uint8_t* p = bytes.data() + at + 14;
      int_to_bcd(p, bcd_to_int(p) + static_cast<std::uint32_t>(numbering.graphic_shift));
    } else if (!ref.graphic && numbering.sound_shift != 0) {
      for (int off : {6, 12}) {
        std::uint8_t* p = bytes.data() + at + off;
        int_to_bcd(p, bcd_to_int(p) + static_cast<std::uint32_t>(numbering.sound_shift));
      }
    }
  }
  return bytes;
}

std::vector<std::string> package_names(const testbook::GeneratedSubbook& subbook, int selection) {
  // Every code the generator writes, the flag that selects it (0: always
  // written) and its file; copyright (0x02) and unknown codes are never written.
  static const struct {
    std::uint8_t code;
    int flag;
    const char* name;
  } files[] = {{0x00, 0, "HONMON.DIC"},  {0x01, 0, "MENU.DIC"},    {0x30, 0, "KAINDEX.DIC"}, {0x70, 0, "BKINDEX.DIC"},
               {0x91, 0, "FHINDEX.DIC"}, {0xF1, 0, "GA16FULL"},    {0xF2, 0, "GA16HALF"},    {0x03, 1, "KWTITLE.DIC"},
               {0x80, 1, "KWINDEX.DIC"}, {0x81, 1, "CRINDEX.DIC"}, {0xFF, 1, "MULTI"},       {0xD2, 2, "COLSCR.DIC"},
               {0xD8, 4, "PCMDATA.DIC"}};
  std::vector<std::string> names;
  int multi = 0;
  for (const auto& c : subbook.components) {
    const auto* f = std::find_if(std::begin(files), std::end(files), [&](const auto& f) { return f.code == c.code; });
    const bool written = f != std::end(files) && (f->flag == 0 || (selection & f->flag) != 0);
    names.push_back(!written ? "" : c.code == 0xFF ? "MULTI" + std::to_string(++multi) + ".DIC" : f->name);
  }
  return names;
}

}  // namespace tolvex::e2e
