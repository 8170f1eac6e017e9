// icon.def of any content: select_icons always fills both images and names a
// source for each; the line reader and the section reader stay in bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "messages/messages.h"
#include "package/icons.h"

using namespace tolvex;

namespace {
std::string g_console;
}

TOLVEX_FUZZ_TARGET("icondef", ICON_DEF_NAME) {
  IconDefFile file;
  if (!file.open(ICON_DEF_NAME)) fuzz::fail("icon.def could not be opened");
  std::string piece;
  std::size_t total = 0;
  while (file.read_line(piece)) {
    if (piece.empty() || piece.size() > ICON_LINE_PIECE) fuzz::fail("line piece of a wrong size");
    total += piece.size();
  }
  if (total != input.size()) fuzz::fail("the pieces do not add up to the file");

  // Images with guard bytes on both sides.
  std::uint8_t small[SMALL_ICON_SIZE + 32];
  std::uint8_t large[LARGE_ICON_SIZE + 32];
  std::memset(small, 0xEE, sizeof small);
  std::memset(large, 0xEE, sizeof large);
  g_console.clear();
  set_console_sink([](std::string_view text) { g_console.append(text); });
  select_icons("DICT01", small + 16, large + 16);
  for (int i = 0; i < 16; ++i) {
    if (small[i] != 0xEE || small[16 + SMALL_ICON_SIZE + i] != 0xEE) fuzz::fail("small icon written out of bounds");
    if (large[i] != 0xEE || large[16 + LARGE_ICON_SIZE + i] != 0xEE) fuzz::fail("large icon written out of bounds");
  }
  if (g_console.rfind("    Selected icons: ", 0) != 0 || g_console.back() != '\n') fuzz::fail("no selected-icons line");

  for (const char* header : {"[DICT01_16]", "[DEFAULT_32]", "["}) {
    if (find_icon_section(file, header)) read_icon_rows(file, large + 16, LARGE_ICON_ROWS, LARGE_ICON_DIGITS);
  }
}
