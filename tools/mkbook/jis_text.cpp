#include "jis_text.h"

#include <algorithm>
#include <string_view>

namespace tolvex::testbook {

namespace {

// Real words, written in EUC-JP (JIS X 0208 with the high bit set) to keep
// this file ASCII; the high bit is taken off when the vocabulary is built.
constexpr std::string_view REAL_WORDS[] = {
    "\xbc\xad\xbd\xf1",          // dictionary
    "\xb8\xc0\xcd\xd5",          // word
    "\xb0\xd5\xcc\xa3",          // meaning
    "\xcd\xd1\xce\xe3",          // example
    "\xc8\xaf\xb2\xbb",          // pronunciation
    "\xbf\xde\xc8\xc7",          // figure
    "\xb2\xbb\xc0\xbc",          // sound
    "\xc6\xfc\xcb\xdc\xb8\xec",  // Japanese
    "\xb1\xd1\xb8\xec",          // English
    "\xcc\xbe\xbb\xec",          // noun
    "\xc6\xb0\xbb\xec",          // verb
    "\xb7\xc1\xcd\xc6\xbb\xec",  // adjective
    "\xc9\xfb\xbb\xec",          // adverb
    "\xbb\xb2\xbe\xc8",          // see also
    "\xb8\xab\xbd\xd0\xa4\xb7",  // headword
    "\xb2\xf2\xc0\xe2",          // explanation
    "\xb8\xec\xb8\xbb",          // etymology
    "\xb8\xc5\xb8\xec",          // archaic word
    "\xb8\xbd\xc2\xe5",          // modern
    "\xcd\xd1\xcb\xa1",          // usage
    "\xc2\xd0\xb5\xc1\xb8\xec",  // antonym
    "\xce\xe0\xb5\xc1\xb8\xec",  // synonym
    "\xc9\xbd\xb5\xad",          // notation
    "\xc6\xc9\xa4\xdf",          // reading
    "\xca\xb8\xbb\xfa",          // character
    "\xc5\xc5\xbb\xd2",          // electronic
    "\xbd\xf1\xc0\xd2",          // book
    "\xb4\xc1\xbb\xfa",          // kanji
    "\xa4\xa2\xa4\xeb",          // aru
    "\xa4\xb3\xa4\xc8",          // koto
    "\xa4\xb9\xa4\xeb",          // suru
    "\xa4\xe2\xa4\xce",          // mono
    "\xa4\xbf\xa4\xe1",          // tame
    "\xa4\xe8\xa4\xa6",          // you
    "\xa4\xa4\xa4\xeb",          // iru
    "\xa4\xca\xa4\xeb",          // naru
    "\xa4\xc8\xa4\xb7\xa4\xc6",  // toshite
    "\xa4\xc8\xa4\xa4\xa4\xa6",  // to iu
    "\xa4\xde\xa4\xbf",          // mata
    "\xa4\xbd\xa4\xce",          // sono
    "\xa4\xb3\xa4\xce",          // kono
};

// Particles between words: no, ha, wo, ni, ga, de, to.
constexpr std::uint8_t PARTICLES[] = {0x4E, 0x4F, 0x72, 0x4B, 0x2C, 0x47, 0x48};

void put_pair(Bytes& out, std::uint8_t hi, std::uint8_t lo) {
  out.push_back(hi);
  out.push_back(lo);
}

}  // namespace

std::uint64_t Rng::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

JisText::JisText(Rng& rng) : rng_(rng) {
  for (std::string_view w : REAL_WORDS) {
    Bytes b;
    for (char c : w) b.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) & 0x7F));
    vocabulary_.push_back(std::move(b));
  }
  // Made-up words: one to three kanji of the first level, often with a
  // hiragana ending, like the many compounds of a real dictionary.
  while (vocabulary_.size() < 700) {
    Bytes b;
    const std::uint32_t kanji = 1 + rng_.below(3);
    for (std::uint32_t i = 0; i < kanji; ++i)
      put_pair(b, static_cast<std::uint8_t>(0x30 + rng_.below(0x1F)),
               static_cast<std::uint8_t>(0x21 + rng_.below(0x5E)));
    if (rng_.chance(40)) put_pair(b, 0x24, static_cast<std::uint8_t>(0x22 + rng_.below(0x51)));
    vocabulary_.push_back(std::move(b));
  }
}

const Bytes& JisText::word() {
  const auto n = static_cast<std::uint32_t>(vocabulary_.size());
  // The least of three uniform draws: low indexes (the real words first)
  // are much more frequent than high ones.
  const std::uint32_t i = std::min({rng_.below(n), rng_.below(n), rng_.below(n)});
  return vocabulary_[i];
}

Bytes JisText::filler() {
  Bytes b;
  put_pair(b, 0x24, static_cast<std::uint8_t>(0x22 + rng_.below(0x51)));
  return b;
}

Bytes JisText::sentence() {
  Bytes out;
  const std::uint32_t words = 3 + rng_.below(8);
  for (std::uint32_t i = 0; i < words; ++i) {
    const Bytes& w = word();
    out.insert(out.end(), w.begin(), w.end());
    if (i + 1 < words) {
      if (rng_.chance(70)) put_pair(out, 0x24, PARTICLES[rng_.below(sizeof PARTICLES)]);
      if (rng_.chance(10)) put_pair(out, 0x21, 0x22);  // comma
    }
  }
  put_pair(out, 0x21, 0x23);  // full stop
  return out;
}

Bytes JisText::entry() {
  Bytes out = {0x1F, 0x09, 0x00, 0x01, 0x1F, 0x41, 0x01, 0x00};  // indent 1, keyword start
  const Bytes& head = word();
  out.insert(out.end(), head.begin(), head.end());
  out.insert(out.end(), {0x1F, 0x61, 0x1F, 0x0A});  // keyword end, newline
  const std::uint32_t sentences = 1 + rng_.below(4);
  for (std::uint32_t i = 0; i < sentences; ++i) {
    if (rng_.chance(20)) {
      // A usage label in lenticular brackets.
      put_pair(out, 0x21, 0x5A);
      const Bytes& w = word();
      out.insert(out.end(), w.begin(), w.end());
      put_pair(out, 0x21, 0x5B);
    }
    const Bytes s = sentence();
    out.insert(out.end(), s.begin(), s.end());
  }
  out.insert(out.end(), {0x1F, 0x0A});
  return out;
}

Bytes JisText::title(std::size_t max_chars) {
  Bytes out;
  for (int i = 0; i < 4; ++i) {
    const Bytes& w = word();
    if ((out.size() + w.size()) / 2 > max_chars) break;
    out.insert(out.end(), w.begin(), w.end());
  }
  return out;
}

void put_bcd(std::uint8_t* p, std::uint32_t value) {
  for (int i = 3; i >= 0; --i) {
    const std::uint32_t two = value % 100;
    value /= 100;
    p[i] = static_cast<std::uint8_t>((two / 10) << 4 | (two % 10));
  }
}

Bytes graphic_reference(std::uint32_t page) {
  Bytes b(20, 0);
  b[0] = 0x1F;
  b[1] = 0x4D;
  b[3] = 0x01;
  put_bcd(&b[14], page);
  return b;  // bytes 18-19: offset 0 within the page
}

Bytes sound_reference(std::uint32_t start_page, std::uint32_t end_page) {
  Bytes b(18, 0);
  b[0] = 0x1F;
  b[1] = 0x4A;
  b[3] = 0x01;
  put_bcd(&b[6], start_page);
  put_bcd(&b[12], end_page);
  b[17] = 0x00;
  return b;  // bytes 10-11 and 16-17: offsets 0 within the pages
}

}  // namespace tolvex::testbook
