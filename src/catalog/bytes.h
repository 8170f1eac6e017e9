// Byte, number and character-code helpers shared by every reader and writer:
// big-endian integers of 1 to 4 bytes, 4-byte packed BCD page numbers,
// fixed-width name fields, JIS X 0208 titles to Shift_JIS, ASCII uppercasing
// and the paths of a book's files. Pure functions; none of them fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvex {

// Unsigned big-endian value of n bytes (0..4); n = 0 gives 0.
std::uint32_t get_be(const std::uint8_t* p, int n);
// Low n bytes (1..4) of value, big-endian.
void put_be(std::uint8_t* p, int n, std::uint32_t value);

// Eight packed-BCD digits; nibbles above 9 count with their face value.
std::uint32_t bcd_to_int(const std::uint8_t* p);
// The lowest eight decimal digits of value as packed BCD.
void int_to_bcd(std::uint8_t* p, std::uint32_t value);

// A field of width n without its trailing blanks and NULs (inner ones stay).
std::string copy_trimmed(const std::uint8_t* field, std::size_t n);

// The trimmed JIS X 0208 field converted pair by pair to Shift_JIS. An odd
// trimmed length pairs the last byte with the next byte of the field (0 past
// its end). Bytes outside 0x21..0x7E go through the same arithmetic, modulo 256.
std::string jis_to_sjis(const std::uint8_t* field, std::size_t n);

// 'a'..'z' become 'A'..'Z'; every other byte stays.
void upper_ascii(std::string& s);
void upper_ascii(char* s);  // nullptr accepted

// book_dir + subbook + ("/" inner) + ("/" file); empty parts are left out.
std::string join_book_path(std::string_view book_dir, std::string_view subbook, std::string_view inner,
                           std::string_view file);

// A name taken from the book that is safe as one path component: not empty,
// not "." or "..", and free of '/', '\' and ':' (and NUL), so that nothing
// can be written outside Dic/.
bool is_safe_path_component(std::string_view name);

}  // namespace tolvex
