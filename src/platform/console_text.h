// Text from a book shown on the console: titles are Shift_JIS in the
// package, and the console has characters of its own (UTF-8 on most POSIX
// systems, a code page on Windows).
#pragma once

#include <string>
#include <string_view>

namespace tolvex::platform {

// The Shift_JIS text in the console's characters: through iconv to the
// locale's character set on POSIX, through UTF-16 to the console's output
// code page on Windows. A character the console cannot show becomes "?".
std::string console_text_from_sjis(std::string_view sjis);

}  // namespace tolvex::platform
