// The ebzip slice inflater against zlib on any stream: both refuse it, or
// both give the same bytes from the same count of input bytes; nothing is
// written past the output. Bytes 0-1 give the output size (at most 64 KiB,
// the largest slice), the rest is the raw deflate stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bookfile/inflate.h"
#include "fuzz_support.h"
#include "zlib_oracle.h"

TOLVEX_FUZZ_TARGET("inflate") {
  if (input.size() < 2) return;
  const std::size_t out_size = std::size_t{input[0]} << 8 | input[1];
  const std::vector<std::uint8_t> in(input.begin() + 2, input.end());
  std::vector<std::uint8_t> ours(out_size + 16, 0xEE), theirs;
  const long taken = tolvex::inflate_exact(in.data(), in.size(), ours.data(), out_size);
  for (std::size_t i = out_size; i < ours.size(); ++i)
    if (ours[i] != 0xEE) tolvex::fuzz::fail("inflate_exact wrote past the output");
  const long want = tolvex::testing_support::zlib_inflate(in, out_size, theirs);
  if (taken != want) tolvex::fuzz::fail("inflate_exact and zlib disagree on the stream");
  if (want >= 0 && std::memcmp(ours.data(), theirs.data(), out_size) != 0) tolvex::fuzz::fail("inflated bytes differ");
}
