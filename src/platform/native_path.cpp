// UTF-8 paths as the wide strings of the Windows file calls. Short, ordinary
// paths go over as they are. Two kinds become verbatim "\\?\" paths, which
// Windows takes without rewriting: paths too long for the ordinary calls
// (260 characters, 248 for a new directory), and paths with a component that
// ends in "." or a blank. Windows drops those trailing characters from an
// ordinary path, and a disc copy names its files without extension "HONMON.".
#include "platform/native_path.h"

#ifdef _WIN32

#include <vector>

namespace tolvex::platform {
namespace {

// CreateDirectoryW's limit: MAX_PATH less room for an 8.3 file name.
constexpr std::size_t ORDINARY_PATH_LIMIT = 248;

bool is_separator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Where the first component that Windows would trim begins (npos if none):
// one ending in "." or " " that is not "." or "..".
std::size_t first_trimmed_component(const std::wstring& path) {
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = start;
    while (end < path.size() && !is_separator(path[end])) ++end;
    const std::wstring part = path.substr(start, end - start);
    if (!part.empty() && part != L"." && part != L".." && (part.back() == L'.' || part.back() == L' ')) return start;
    start = end + 1;
  }
  return std::wstring::npos;
}

std::wstring full_path_of(const std::wstring& path) {
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return std::wstring();
  std::vector<wchar_t> buffer(n);
  const DWORD got = GetFullPathNameW(path.c_str(), n, buffer.data(), nullptr);
  return got == 0 || got >= n ? std::wstring() : std::wstring(buffer.data(), got);
}

// Appends the components of `tail` to the absolute `base`, as Windows would
// but keeping trailing dots and blanks: "." is dropped, ".." steps back.
std::wstring append_verbatim(std::wstring base, const std::wstring& tail) {
  const std::size_t root = base.size() >= 3 && base[1] == L':' ? 3 : 2;
  std::size_t start = 0;
  while (start <= tail.size()) {
    std::size_t end = start;
    while (end < tail.size() && !is_separator(tail[end])) ++end;
    const std::wstring part = tail.substr(start, end - start);
    if (part == L"..") {
      while (base.size() > root && base.back() == L'\\') base.pop_back();
      while (base.size() > root && base.back() != L'\\') base.pop_back();
    } else if (!part.empty() && part != L".") {
      if (!base.empty() && base.back() != L'\\') base += L'\\';
      base += part;
    }
    start = end + 1;
  }
  return base;
}

std::wstring verbatim(const std::wstring& path, std::size_t trimmed_at) {
  const std::wstring head = trimmed_at == std::wstring::npos ? path : path.substr(0, trimmed_at);
  std::wstring full = full_path_of(head.empty() ? std::wstring(L".") : head);
  if (full.empty()) return path;
  if (trimmed_at != std::wstring::npos) full = append_verbatim(full, path.substr(trimmed_at));
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
  return L"\\\\?\\" + full;
}

}  // namespace

std::wstring wide_from_utf8(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::wstring wide_path(const std::string& utf8) {
  const std::wstring wide = wide_from_utf8(utf8);
  // Already verbatim ("\\?\") or a device path ("\\.\"): as given.
  if (wide.size() >= 4 && wide[0] == L'\\' && wide[1] == L'\\' && (wide[2] == L'?' || wide[2] == L'.')) return wide;
  const std::size_t trimmed_at = first_trimmed_component(wide);
  if (trimmed_at != std::wstring::npos) return verbatim(wide, trimmed_at);
  if (wide.size() < ORDINARY_PATH_LIMIT) {
    // A short relative path may still lie deep below the current directory.
    const std::wstring full = full_path_of(wide);
    if (full.size() < ORDINARY_PATH_LIMIT) return wide;
  }
  return verbatim(wide, std::wstring::npos);
}

std::string utf8_from_wide(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
  return utf8;
}

}  // namespace tolvex::platform
#endif
