// The package's two icons, for the index file: a large one of 32 x 32 pixels
// and a small one 16 pixels wide and 15 rows high, 4 bits per pixel (left
// pixel in the high nibble), rows stored bottom-up.
//
// They come from the optional text file icon.def in the current directory:
// a section begins with a line starting "[<DIR>_16]", "[<DIR>_32]",
// "[DEFAULT_16]" or "[DEFAULT_32]" (case-sensitive, rest of the line
// ignored) and holds one pixel row of hexadecimal digits per line, top row
// first, up to the next line starting with '['; lines starting with ';' and
// empty lines are skipped. The package's own section beats DEFAULT; whatever
// icon.def does not supply is taken from two built-in images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvex {

inline constexpr int SMALL_ICON_ROWS = 15;
inline constexpr int SMALL_ICON_DIGITS = 16;
inline constexpr int SMALL_ICON_SIZE = SMALL_ICON_ROWS * SMALL_ICON_DIGITS / 2;  // 120
inline constexpr int LARGE_ICON_ROWS = 32;
inline constexpr int LARGE_ICON_DIGITS = 32;
inline constexpr int LARGE_ICON_SIZE = LARGE_ICON_ROWS * LARGE_ICON_DIGITS / 2;  // 512

inline constexpr const char* ICON_DEF_NAME = "icon.def";
// Lines are read in pieces of at most this many characters; a longer line is
// taken as several lines.
inline constexpr std::size_t ICON_LINE_PIECE = 127;

// icon.def held in memory and read line by line like a text stream.
class IconDefFile {
 public:
  // False when the file cannot be opened or read.
  bool open(const std::string& path);
  void rewind() { position_ = 0; }
  // The next piece: up to and including '\n', at most ICON_LINE_PIECE
  // characters. False at the end of the file.
  bool read_line(std::string& piece);

 private:
  std::string data_;
  std::size_t position_ = 0;
};

// Rewinds and reads until a line begins with header; true then, with the
// file standing at the next line. False at the end of the file.
bool find_icon_section(IconDefFile& file, std::string_view header);

// Reads up to rows pixel rows of digits hexadecimal digits each into image
// (rows * digits / 2 bytes), bottom-up; rows the section does not supply are
// zero. Stops at the end of the file or a line beginning with '['.
void read_icon_rows(IconDefFile& file, std::uint8_t* image, int rows, int digits);

// Fills both images completely and prints
// "    Selected icons: %s_16, %s_32\n" with the sources (<DIR>, DEFAULT or
// INTERNAL).
void select_icons(const std::string& out_name, std::uint8_t small_icon[SMALL_ICON_SIZE],
                  std::uint8_t large_icon[LARGE_ICON_SIZE]);

}  // namespace tolvex
