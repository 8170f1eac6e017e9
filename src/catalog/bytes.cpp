#include "catalog/bytes.h"

namespace tolvex {

std::uint32_t get_be(const std::uint8_t* p, int n) {
  std::uint32_t value = 0;
  for (int i = 0; i < n; ++i) value = (value << 8) | p[i];
  return value;
}

void put_be(std::uint8_t* p, int n, std::uint32_t value) {
  for (int i = n - 1; i >= 0; --i) {
    p[i] = static_cast<std::uint8_t>(value & 0xFF);
    value >>= 8;
  }
}

std::uint32_t bcd_to_int(const std::uint8_t* p) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value * 100 + (p[i] >> 4) * 10 + (p[i] & 0x0F);
  return value;
}

void int_to_bcd(std::uint8_t* p, std::uint32_t value) {
  for (int i = 3; i >= 0; --i) {
    std::uint8_t low = static_cast<std::uint8_t>(value % 10);
    value /= 10;
    std::uint8_t high = static_cast<std::uint8_t>(value % 10);
    value /= 10;
    p[i] = static_cast<std::uint8_t>((high << 4) | low);
  }
}

namespace {
std::size_t trimmed_length(const std::uint8_t* field, std::size_t n) {
  while (n > 0 && (field[n - 1] == 0x20 || field[n - 1] == 0x00)) --n;
  return n;
}
}  // namespace

std::string copy_trimmed(const std::uint8_t* field, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(field), trimmed_length(field, n));
}

std::string jis_to_sjis(const std::uint8_t* field, std::size_t n) {
  std::size_t len = trimmed_length(field, n);
  std::string out;
  out.reserve(len + 1);
  for (std::size_t i = 0; i < len; i += 2) {
    unsigned j1 = field[i];
    unsigned j2 = (i + 1 < n) ? field[i + 1] : 0;
    unsigned s1 = (j1 + 1) / 2 + (j1 <= 0x5E ? 0x70 : 0xB0);
    unsigned s2;
    if (j1 % 2 == 0) {
      s2 = j2 + 0x7E;
    } else {
      s2 = j2 + (j2 < 0x60 ? 0x1F : 0x20);
    }
    out.push_back(static_cast<char>(s1 & 0xFF));
    out.push_back(static_cast<char>(s2 & 0xFF));
  }
  return out;
}

void upper_ascii(std::string& s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
}

void upper_ascii(char* s) {
  if (s == nullptr) return;
  for (; *s != '\0'; ++s) {
    if (*s >= 'a' && *s <= 'z') *s = static_cast<char>(*s - 0x20);
  }
}

std::string join_book_path(std::string_view book_dir, std::string_view subbook, std::string_view inner,
                           std::string_view file) {
  std::string path;
  path.reserve(book_dir.size() + subbook.size() + inner.size() + file.size() + 2);
  path.append(book_dir);
  path.append(subbook);
  if (!inner.empty()) {
    path.push_back('/');
    path.append(inner);
  }
  if (!file.empty()) {
    path.push_back('/');
    path.append(file);
  }
  return path;
}

bool is_safe_path_component(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '/' || c == '\\' || c == ':' || c == '\0') return false;
  }
  return true;
}

}  // namespace tolvex
