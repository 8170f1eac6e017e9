// relocate_references on any text: it writes only inside the scanned pages
// and the one page after them, zero shifts change nothing, and every escape
// it counts is a graphic or sound escape at an even position.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bookfile/relocate.h"
#include "catalog/bytes.h"
#include "fuzz_support.h"

using namespace tolvex;

namespace {
constexpr std::size_t kPage = 2048;
}

// Input: graphic shift (4 bytes), sound shift (4 bytes), then the text; it
// fills whole pages (at most 16, the chunk) and the room page after them.
TOLVEX_FUZZ_TARGET("relocate", "") {
  const std::uint8_t* data = input.data();
  std::size_t size = input.size();
  if (size < 8) return;
  const auto graphic_shift = static_cast<std::int32_t>(get_be(data, 4));
  const auto sound_shift = static_cast<std::int32_t>(get_be(data + 4, 4));
  data += 8;
  size -= 8;
  std::size_t pages = (size + kPage - 1) / kPage;
  if (pages == 0) pages = 1;
  if (pages > 16) pages = 16;
  const std::size_t length = pages * kPage;
  // The room page holds the input's continuation, if any.
  std::vector<std::uint8_t> buffer(length + kPage, 0);
  std::memcpy(buffer.data(), data, size < buffer.size() ? size : buffer.size());
  const std::vector<std::uint8_t> before = buffer;

  RelocationCounts counts = relocate_references(buffer.data(), length, 0, 0);
  if (counts.graphic != 0 || counts.sound != 0 || buffer != before) fuzz::fail("zero shifts changed the text");

  counts = relocate_references(buffer.data(), length, graphic_shift, sound_shift);
  int escapes_g = 0, escapes_s = 0;
  for (std::size_t p = 0; p < length; p += 2) {
    if (before[p] == 0x1F && before[p + 1] == 0x4D) ++escapes_g;
    if (before[p] == 0x1F && before[p + 1] == 0x4A) ++escapes_s;
  }
  if (counts.graphic < 0 || counts.sound < 0 || counts.graphic > escapes_g || counts.sound > escapes_s) {
    fuzz::fail("more relocations than escapes");
  }
  if (graphic_shift == 0 && counts.graphic != 0) fuzz::fail("graphic relocated with shift 0");
  if (sound_shift == 0 && counts.sound != 0) fuzz::fail("sound relocated with shift 0");
  // Only the page numbers of escapes change: escape bytes themselves stay.
  for (std::size_t p = 0; p + 1 < buffer.size(); p += 2) {
    if (before[p] == 0x1F && (buffer[p] != 0x1F || buffer[p + 1] != before[p + 1]) && p < length) {
      // An escape's own bytes may lie inside another escape's page number;
      // only a changed byte that no escape's number covers is a fault.
      bool covered = false;
      for (std::size_t q = (p >= 20 ? p - 20 : 0); q < p; q += 2) {
        if (before[q] == 0x1F && (before[q + 1] == 0x4D || before[q + 1] == 0x4A)) covered = true;
      }
      if (!covered) fuzz::fail("an escape code was changed");
    }
  }
}
