#include "platform/console_text.h"

#include "platform/native_path.h"

#ifndef _WIN32
#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <memory>
#endif

namespace tolvex::platform {

#ifdef _WIN32
std::string console_text_from_sjis(std::string_view sjis) {
  if (sjis.empty()) return std::string();
  const int length = static_cast<int>(sjis.size());
  const int n = MultiByteToWideChar(932, 0, sjis.data(), length, nullptr, 0);
  if (n <= 0) return std::string(sjis.size(), '?');
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(932, 0, sjis.data(), length, wide.data(), n);
  UINT code_page = GetConsoleOutputCP();
  if (code_page == 0) code_page = GetACP();  // no console of its own
  // UTF-8 takes no replacement character; every other code page gets "?".
  const char* replacement = code_page == CP_UTF8 ? nullptr : "?";
  const int m = WideCharToMultiByte(code_page, 0, wide.data(), n, nullptr, 0, replacement, nullptr);
  std::string out(static_cast<std::size_t>(m > 0 ? m : 0), '\0');
  if (m > 0) WideCharToMultiByte(code_page, 0, wide.data(), n, out.data(), m, replacement, nullptr);
  return out;
}
#else
namespace {

struct IconvClose {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<void, IconvClose>;

bool is_lead_byte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

}  // namespace

std::string console_text_from_sjis(std::string_view sjis) {
  std::setlocale(LC_CTYPE, "");
  iconv_t cd = iconv_open(nl_langinfo(CODESET), "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open(nl_langinfo(CODESET), "SHIFT_JIS");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(sjis.size(), '?');
  const Converter converter(cd);
  std::string out;
  char buffer[16];
  // One character at a time, so that one the console lacks costs only itself.
  for (std::size_t i = 0; i < sjis.size();) {
    const std::size_t width = is_lead_byte(static_cast<unsigned char>(sjis[i])) && i + 1 < sjis.size() ? 2 : 1;
    char in[2] = {sjis[i], width == 2 ? sjis[i + 1] : '\0'};
    char* in_at = in;
    std::size_t in_left = width;
    char* out_at = buffer;
    std::size_t out_left = sizeof buffer;
    if (iconv(cd, &in_at, &in_left, &out_at, &out_left) == static_cast<std::size_t>(-1)) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      out.push_back('?');
    } else {
      out.append(buffer, static_cast<std::size_t>(out_at - buffer));
    }
    i += width;
  }
  return out;
}
#endif

}  // namespace tolvex::platform
