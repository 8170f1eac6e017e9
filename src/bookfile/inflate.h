// A decoder of raw deflate data (the body of a zlib stream) for outputs of
// known size, such as one slice of an ebzip'd file: the whole input and the
// whole output are in memory, so there is no window to keep and no state
// between calls.
//
// Every bound is checked: nothing is read past the input or written past the
// output, and any malformed stream fails, as does one that ends before its
// last block, refers back before the start of the output, or gives more or
// fewer bytes than the output holds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvex {

// Inflates the deflate stream at the start of `in` into exactly `out_size`
// bytes at `out`. Returns the count of input bytes the stream takes (up to
// the byte its last block ends in), or -1 when it is damaged or does not fill
// the output exactly. Whatever the result, nothing outside out[0, out_size)
// is written.
long inflate_exact(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out, std::size_t out_size);

}  // namespace tolvex
