// The subbook title as it may appear in the package's text files.
//
// A title comes from the book as Shift_JIS: single bytes (ASCII, half-width
// katakana) and double-byte characters whose lead byte is 0x81..0x9F or
// 0xE0..0xFC and whose second byte is 0x40..0x7E or 0x80..0xFC (so it may be
// 0x5C, the ASCII backslash). A valid title never holds control bytes or a
// lead byte without its second byte; a damaged book may. These helpers make
// such bytes harmless while leaving every valid title byte for byte as it is.
#pragma once

#include <string>
#include <string_view>

namespace tolvex {

// Control bytes (< 0x20, 0x7F) and lead bytes without a valid second byte
// become '?', so the title stays on its one line of an INI file.
std::string title_for_text(std::string_view title);

// As title_for_text, and in addition a '"' or '\' that is not the second
// byte of a double-byte character is escaped as \" or \\, so the title
// cannot end a quoted REGEDIT4 string early.
std::string title_for_reg_string(std::string_view title);

}  // namespace tolvex
