#include "platform/directory_walk.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tolvex::platform {

namespace {

namespace fs = std::filesystem;

// UTF-8 both ways, so names outside the ANSI code page survive on Windows.
fs::path from_utf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }
std::string to_utf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

bool inside(const fs::path& path, const fs::path& root) {
  auto r = root.begin();
  auto p = path.begin();
  for (; r != root.end(); ++r, ++p) {
    if (r->empty()) continue;  // the empty last element of "dir/"
    if (p == path.end() || *p != *r) return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<FoundFile>> find_files(const std::string& root,
                                                 const std::function<bool(const std::string& name)>& wanted) {
  std::error_code ec;
  const fs::path top = from_utf8(root);
  const fs::path canonical_top = fs::canonical(top, ec);
  if (ec || !fs::is_directory(canonical_top, ec)) return std::nullopt;
  fs::recursive_directory_iterator it(top, fs::directory_options::skip_permission_denied, ec);
  if (ec) return std::nullopt;
  std::vector<std::pair<fs::path, FoundFile>> found;
  for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const fs::directory_entry& entry = *it;
    if (!wanted(to_utf8(entry.path().filename()))) continue;
    // A link to a file counts when its target is a regular file inside the
    // root. A file whose canonical path cannot be had (a share that will not
    // say) is itself, unless it is a link.
    if (!entry.is_regular_file(ec)) continue;
    fs::path target = fs::canonical(entry.path(), ec);
    if (ec) {
      if (entry.is_symlink(ec)) continue;
      target = fs::absolute(entry.path(), ec).lexically_normal();
    } else if (!inside(target, canonical_top)) {
      continue;
    }
    found.push_back({entry.path(), FoundFile{to_utf8(entry.path()), to_utf8(target)}});
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<FoundFile> files;
  files.reserve(found.size());
  for (auto& f : found) files.push_back(std::move(f.second));
  return files;
}

}  // namespace tolvex::platform
