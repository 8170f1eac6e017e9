// zlib as the oracle of the ebzip slice inflater, for its unit test and its
// fuzz target.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace tolvex::testing_support {

// The count of input bytes the raw deflate stream `in` takes, or -1 where it
// does not inflate to exactly out_size bytes (written to `out`).
inline long zlib_inflate(const std::vector<std::uint8_t>& in, std::size_t out_size, std::vector<std::uint8_t>& out) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return -2;
  out.assign(out_size + 1, 0);  // room for one more: a longer stream is seen
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int r = inflate(&z, Z_FINISH);
  const long taken = static_cast<long>(in.size() - z.avail_in);
  const bool exact = r == Z_STREAM_END && z.avail_out == 1;
  inflateEnd(&z);
  out.resize(out_size);
  return exact ? taken : -1;
}

}  // namespace tolvex::testing_support
