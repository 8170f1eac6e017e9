#include "package/title_text.h"

#include <cstdint>

namespace tolvex {
namespace {

bool is_lead_byte(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool is_trail_byte(std::uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }
bool is_control_byte(std::uint8_t b) { return b < 0x20 || b == 0x7F; }

std::string clean_title(std::string_view title, bool escape_quoting) {
  std::string out;
  out.reserve(title.size() + 8);
  for (std::size_t i = 0; i < title.size(); ++i) {
    auto b = static_cast<std::uint8_t>(title[i]);
    if (is_lead_byte(b)) {
      if (i + 1 < title.size() && is_trail_byte(static_cast<std::uint8_t>(title[i + 1]))) {
        // A whole double-byte character, copied unchanged even when its
        // second byte is 0x5C.
        out.push_back(title[i]);
        out.push_back(title[i + 1]);
        ++i;
      } else {
        // A lone lead byte would swallow the next byte of the file (a quote,
        // CR) in a reader that knows Shift_JIS.
        out.push_back('?');
      }
    } else if (is_control_byte(b)) {
      out.push_back('?');
    } else if (escape_quoting && (b == '"' || b == '\\')) {
      out.push_back('\\');
      out.push_back(static_cast<char>(b));
    } else {
      out.push_back(static_cast<char>(b));
    }
  }
  return out;
}

}  // namespace

std::string title_for_text(std::string_view title) { return clean_title(title, false); }

std::string title_for_reg_string(std::string_view title) { return clean_title(title, true); }

}  // namespace tolvex
