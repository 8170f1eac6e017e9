// Finding a book's files under the names a disc copy gives them. An ISO 9660
// disc records a file without extension as "HONMON.;1"; mounted or copied
// without its Rock Ridge or Joliet names it shows up as "HONMON.;1",
// "HONMON.", "honmon.;1", "Honmon." and so on. The catalog names "HONMON".
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tolvex::platform {
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

bool has_version(const std::string& entry) {
  return entry.size() >= 2 && entry.compare(entry.size() - 2, 2, ";1") == 0;
}

// How far an entry that matches strays from the name: 0 the name itself in
// some case, 1 with the trailing ".", 2 with ";1", 3 with both.
int decoration(const std::string& entry) {
  const bool version = has_version(entry);
  const std::size_t end = entry.size() - (version ? 2 : 0);
  return (end > 0 && entry[end - 1] == '.' ? 1 : 0) + (version ? 2 : 0);
}

// Of the entries of `dir` that are `name` in a disc form, the least decorated
// one, and among equals the first in byte order ("HONMON" before "honmon"):
// the same choice whatever order the directory lists them in.
bool find_entry(const std::string& dir, const std::string& name, std::string& found) {
  bool any = false;
  for (const std::string& entry : list_directory(dir)) {
    if (!matches_disc_name(entry, name)) continue;
    if (!any || decoration(entry) < decoration(found) || (decoration(entry) == decoration(found) && entry < found))
      found = entry;
    any = true;
  }
  return any;
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool matches_disc_name(const std::string& entry, const std::string& name) {
  std::string rest = entry;
  if (has_version(rest)) rest.resize(rest.size() - 2);
  if (same_ignoring_ascii_case(rest, name)) return true;
  return !rest.empty() && rest.back() == '.' && same_ignoring_ascii_case(rest.substr(0, rest.size() - 1), name);
}

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

}  // namespace tolvex::platform
