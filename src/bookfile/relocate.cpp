#include "bookfile/relocate.h"

#include "catalog/bytes.h"

namespace tolvex {

namespace {

constexpr std::uint8_t kEscape = 0x1F;
constexpr std::uint8_t kGraphic = 0x4D;  // page number at bytes 14-17, 20 bytes long
constexpr std::uint8_t kSound = 0x4A;    // page numbers at bytes 6-9 and 12-15, 18 bytes long

// Adds the shift modulo 2^32 and keeps the lowest eight decimal digits.
void shift_bcd(std::uint8_t* p, std::int32_t shift) {
  int_to_bcd(p, bcd_to_int(p) + static_cast<std::uint32_t>(shift));
}

}  // namespace

RelocationCounts relocate_references(std::uint8_t* buffer, std::size_t length, std::int32_t graphic_shift,
                                     std::int32_t sound_shift) {
  RelocationCounts counts;
  std::size_t p = 0;
  while (p < length) {
    if (buffer[p] != kEscape) {
      p += 2;
      continue;
    }
    if (buffer[p + 1] == kGraphic && graphic_shift != 0) {
      shift_bcd(buffer + p + 14, graphic_shift);
      ++counts.graphic;
      p += 20;
    }
    // A sound reference right behind a graphic one is taken in the same step,
    // but only while it starts inside the scanned bytes: one that starts in
    // the room beyond opens the next chunk and is relocated when that chunk
    // is scanned, never twice.
    if (p < length && buffer[p] == kEscape && buffer[p + 1] == kSound && sound_shift != 0) {
      shift_bcd(buffer + p + 6, sound_shift);
      shift_bcd(buffer + p + 12, sound_shift);
      ++counts.sound;
      p += 18;
    }
    p += 2;
  }
  return counts;
}

}  // namespace tolvex
