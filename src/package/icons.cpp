#include "package/icons.h"

#include <cstring>

#include "messages/messages.h"
#include "platform/platform.h"

namespace tolvex {
namespace {

// Small built-in icon: the letters EP in 15 on a ground of 4. Top row first.
constexpr const char* BUILTIN_SMALL[SMALL_ICON_ROWS] = {
    "4444444444444444", "4444444444444444", "44FFFFF44FFFFF44", "44FFFFF44FFFF444", "44F444444F444F44",
    "44F444444F444F44", "44FFFF444FFFFF44", "44FFFF444FFFF444", "44F444444F444444", "44F444444F444444",
    "44F444444F444444", "44FFFFF44F444444", "44FFFFF44F444444", "4444444444444444", "4444444444444444",
};

// Large built-in icon: a book on a ground of 7 whose cover carries EP, WI, NG.
constexpr const char* BUILTIN_LARGE[LARGE_ICON_ROWS] = {
    "77777777777777777777777777777777", "77777777777777777777777777777777", "77777000000000000000000777777777",
    "77770888888888888888808777777777", "7770BFBFBFBFBFBFBFBFB00877777777", "77700BFBFBFBFBFBFBFBF08887777777",
    "77707000000000000000000088777777", "77707744444444444444440888777777", "77707744444444444444440088777777",
    "77707744FFFFF44FFFF4440888777777", "77707744F444444F444F440088777777", "77707744FFFF444FFFF4440888777777",
    "77707744F444444F4444440088777777", "77707744FFFFF4444444440888777777", "77707744444444444444440088777777",
    "77707744F4F4F444FFF4440888777777", "77707744F4F4F4444F44440088777777", "77707744F4F4F4444F44440888777777",
    "777077444F4F44444F44440088777777", "777077444F4F4444FFF4440888777777", "77707744444444444444440088777777",
    "77707744F444F444FFF4440888777777", "77707744FF44F44F4444440088777777", "77707744F4F4F44F4FFF440888777777",
    "77707744F44FF44F444F440088777777", "77707744F444F444FFFF440888777777", "77707744444444444444440088777777",
    "77770744444444444444440888777777", "77778000000000000000000088777777", "77778808080808080808080888777777",
    "77777888888888888888888887777777", "77777777777777777777777777777777",
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;  // any other character counts as 0
}

// One pixel row of `digits` characters into digits / 2 bytes; the row ends
// early at CR, LF or the end of the text, and missing digits count as 0.
void convert_row(std::string_view text, std::uint8_t* row, int digits) {
  std::memset(row, 0, static_cast<std::size_t>(digits / 2));
  for (int i = 0; i < digits && static_cast<std::size_t>(i) < text.size(); ++i) {
    char c = text[static_cast<std::size_t>(i)];
    if (c == '\n' || c == '\r') break;
    int value = hex_value(c);
    row[i / 2] |= static_cast<std::uint8_t>((i % 2 == 0) ? value << 4 : value);
  }
}

template <std::size_t N>
void fill_builtin(std::uint8_t* image, const char* const (&rows)[N], int digits) {
  const int height = static_cast<int>(N);
  for (int r = 0; r < height; ++r) convert_row(rows[r], image + (height - 1 - r) * (digits / 2), digits);
}

// Looks for the package's own section, then the DEFAULT one; fills image
// and returns the source name, or returns nullptr when neither is present.
const char* load_section(IconDefFile* file, const std::string& out_name, const char* suffix, std::uint8_t* image,
                         int rows, int digits) {
  if (file == nullptr) return nullptr;
  if (find_icon_section(*file, "[" + out_name + suffix + "]")) {
    read_icon_rows(*file, image, rows, digits);
    return out_name.c_str();
  }
  if (find_icon_section(*file, std::string("[DEFAULT") + suffix + "]")) {
    read_icon_rows(*file, image, rows, digits);
    return "DEFAULT";
  }
  return nullptr;
}

}  // namespace

bool IconDefFile::open(const std::string& path) {
  data_.clear();
  position_ = 0;
  // Only a regular file (or a link to one) is read: a FIFO or a device in
  // its place counts as absent, like a directory.
  int fd = platform::open_read(path);
  if (fd < 0) return false;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    long n = platform::read_fd(fd, buffer, sizeof buffer);
    if (n < 0) {
      ok = false;  // unreadable: treated as absent
      break;
    }
    if (n == 0) break;
    data_.append(buffer, static_cast<std::size_t>(n));
  }
  platform::close_fd(fd);
  if (!ok) data_.clear();
  return ok;
}

bool IconDefFile::read_line(std::string& piece) {
  piece.clear();
  if (position_ >= data_.size()) return false;
  std::size_t end = position_;
  std::size_t limit = position_ + ICON_LINE_PIECE;
  while (end < data_.size() && end < limit) {
    if (data_[end++] == '\n') break;
  }
  piece.assign(data_, position_, end - position_);
  position_ = end;
  return true;
}

bool find_icon_section(IconDefFile& file, std::string_view header) {
  file.rewind();
  std::string piece;
  while (file.read_line(piece)) {
    if (piece.compare(0, header.size(), header) == 0) return true;
  }
  return false;
}

void read_icon_rows(IconDefFile& file, std::uint8_t* image, int rows, int digits) {
  const int row_bytes = digits / 2;
  int r = 0;
  std::string piece;
  while (r < rows && file.read_line(piece)) {
    char first = piece[0];
    if (first == '[') break;
    if (first == ';' || first == '\n' || first == '\r') continue;
    convert_row(piece, image + (rows - 1 - r) * row_bytes, digits);
    ++r;
  }
  for (; r < rows; ++r) std::memset(image + (rows - 1 - r) * row_bytes, 0, static_cast<std::size_t>(row_bytes));
}

void select_icons(const std::string& out_name, std::uint8_t small_icon[SMALL_ICON_SIZE],
                  std::uint8_t large_icon[LARGE_ICON_SIZE]) {
  IconDefFile def;
  IconDefFile* file = def.open(ICON_DEF_NAME) ? &def : nullptr;

  const char* small_source = load_section(file, out_name, "_16", small_icon, SMALL_ICON_ROWS, SMALL_ICON_DIGITS);
  const char* large_source = load_section(file, out_name, "_32", large_icon, LARGE_ICON_ROWS, LARGE_ICON_DIGITS);

  if (small_source == nullptr) {
    fill_builtin(small_icon, BUILTIN_SMALL, SMALL_ICON_DIGITS);
    small_source = "INTERNAL";
  }
  if (large_source == nullptr) {
    fill_builtin(large_icon, BUILTIN_LARGE, LARGE_ICON_DIGITS);
    large_source = "INTERNAL";
  }
  msg_printf("    Selected icons: %s_16, %s_32\n", small_source, large_source);
}

}  // namespace tolvex
