// Deterministic random numbers and Japanese dictionary-like text for the
// sample books: JIS X 0208 characters (two bytes, each 0x21..0x7E) in words
// drawn from a vocabulary with a skewed distribution, so the text repeats
// itself as real dictionaries do, framed by the book's control escapes
// (1F xx, always at even offsets).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolvex::testbook {

// splitmix64: the same sequence on every platform and standard library.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  // Uniform in [0, n); n > 0.
  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
  bool chance(std::uint32_t percent) { return below(100) < percent; }

 private:
  std::uint64_t state_;
};

using Bytes = std::vector<std::uint8_t>;

class JisText {
 public:
  explicit JisText(Rng& rng);

  // One word of the vocabulary; frequent words come much more often.
  const Bytes& word();
  // A single JIS character (2 bytes), used to pad text to an exact length.
  Bytes filler();
  // A sentence of several words and particles ending in the full stop.
  Bytes sentence();
  // A dictionary entry: indent, keyword escapes around a headword, newline,
  // a few sentences, newline. Graphic and sound references are not included.
  Bytes entry();
  // A title of a few words (at most max_chars characters).
  Bytes title(std::size_t max_chars);

 private:
  Rng& rng_;
  std::vector<Bytes> vocabulary_;
};

// The control escapes a body text uses.
Bytes graphic_reference(std::uint32_t page);                              // 20 bytes
Bytes sound_reference(std::uint32_t start_page, std::uint32_t end_page);  // 18 bytes
void put_bcd(std::uint8_t* p, std::uint32_t value);                       // 8 digits

}  // namespace tolvex::testbook
