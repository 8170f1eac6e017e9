// A file kept as ebzip keeps it, made in-process (no ebzip program needed):
// a 22-byte header (magic, level, original size, Adler-32), an index of the
// slices' offsets, then per slice of 2048 << level bytes (the last one
// padded) one zlib stream, or the slice as it is where that is not shorter.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace tolvex::testing_support {

using Bytes = std::vector<std::uint8_t>;

// Bytes of one slice-index entry for a file of this original size.
inline int ebz_index_width(std::size_t size) { return size < (1u << 16) ? 2 : size < (1u << 24) ? 3 : 4; }

inline Bytes zlib_stream(const Bytes& bytes) {
  uLongf length = compressBound(static_cast<uLong>(bytes.size()));
  Bytes packed(length);
  compress(packed.data(), &length, bytes.data(), static_cast<uLong>(bytes.size()));
  packed.resize(length);
  return packed;
}

// `store(i, slice, stored)` may change what is stored for slice i (tests
// that damage one slice); the index follows what is stored.
inline Bytes ebzip_bytes(const Bytes& original, int level,
                         const std::function<void(std::size_t, const Bytes&, Bytes&)>& store = {}) {
  const std::size_t slice = std::size_t{2048} << level, slices = (original.size() + slice - 1) / slice;
  const auto width = static_cast<std::size_t>(ebz_index_width(original.size()));
  Bytes out(22 + (slices + 1) * width);
  const auto be = [&](std::size_t at, std::uint64_t v, std::size_t n) {
    for (std::size_t k = n; k-- > 0; v >>= 8) out[at + k] = static_cast<std::uint8_t>(v);
  };
  std::copy_n("EBZip", 5, out.begin());
  out[5] = static_cast<std::uint8_t>(0x10 | level);
  be(10, original.size(), 4);
  be(14, adler32(adler32(0, nullptr, 0), original.data(), static_cast<uInt>(original.size())), 4);
  for (std::size_t i = 0; i <= slices; ++i) {
    be(22 + i * width, out.size(), width);
    if (i == slices) break;
    Bytes bytes(slice);
    std::copy_n(original.begin() + static_cast<std::ptrdiff_t>(i * slice), std::min(slice, original.size() - i * slice),
                bytes.begin());
    Bytes stored = zlib_stream(bytes);
    if (stored.size() >= slice) stored = bytes;
    if (store) store(i, bytes, stored);
    out.insert(out.end(), stored.begin(), stored.end());
  }
  return out;
}

}  // namespace tolvex::testing_support
