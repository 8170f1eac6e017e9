#include <gtest/gtest.h>

#include <vector>

#include "bookfile/book_file.h"
#include "bookfile/huffman.h"
#include "bookfile/test_encoder.h"

namespace tolvex {
namespace {

using test_encoding::FrequencyTables;
using test_encoding::TestEncoder;
using Bytes = std::vector<std::uint8_t>;

FrequencyTables quad_tables() {
  FrequencyTables t;
  t.kind = 2;
  for (int b = 0; b < 256; ++b) t.bytes[b] = 1;
  for (int i = 0; i < 1024; ++i) {
    t.pairs.push_back({{0x30, static_cast<std::uint8_t>(0x21 + (i & 0x3F))}, static_cast<std::uint16_t>(i == 0 ? 500 : 0)});
  }
  t.quads.push_back({{0x1F, 0x0A, 0x24, 0x22}, 300});
  return t;
}

TEST(DecodePage, FourByteSymbolWithTwoBytesLeftWritesTwoAndEndsThePage) {
  TestEncoder enc(quad_tables());
  Bytes text;
  for (int i = 0; i < 1023; ++i) text.insert(text.end(), {0x30, 0x21});
  text.insert(text.end(), {0x1F, 0x0A, 0x24, 0x22, 0x41, 0x42});
  const std::string bits = enc.bits_for(text, true);
  ASSERT_EQ(bits, [&] {
    std::string expect;
    for (int i = 0; i < 1023; ++i) expect += enc.bits_for(Bytes{0x30, 0x21}, false);
    return expect + enc.bits_for(Bytes{0x1F, 0x0A, 0x24, 0x22}, false) + enc.byte_code(0x41) + enc.byte_code(0x42) +
           enc.end_code();
  }());
  Bytes page(PAGE_SIZE);
  decode_page(TestEncoder::pack(bits), enc.tree(), page.data());
  Bytes expect(text.begin(), text.begin() + PAGE_SIZE);
  EXPECT_EQ(page, expect);
  EXPECT_EQ(page[2046], 0x1F);
  EXPECT_EQ(page[2047], 0x0A);
}

TEST(DecodePage, FullPageIgnoresTheBitsAfterIt) {
  TestEncoder enc(quad_tables());
  Bytes text(PAGE_SIZE);
  for (int i = 0; i < PAGE_SIZE; ++i) text[i] = static_cast<std::uint8_t>(i * 13);
  Bytes stream = enc.encode(text, false);
  stream.insert(stream.end(), {0xFF, 0x00, 0xA5});
  Bytes page(PAGE_SIZE);
  decode_page(stream, enc.tree(), page.data());
  EXPECT_EQ(page, text);
}

TEST(DecodePage, CodeCutByTheEndOfTheStreamEndsThePage) {
  FrequencyTables t;
  t.kind = 1;
  t.bytes[0x41] = 5;
  t.bytes[0x42] = 3;
  t.bytes[0x43] = 1;
  TestEncoder enc(t);
  // "0 10 110 11" then nothing: A, B, C and two bits of a longer code.
  Bytes page(PAGE_SIZE, 0xEE);
  decode_page(Bytes{0x5B}, enc.tree(), page.data());
  Bytes expect(PAGE_SIZE, 0);
  expect[0] = 0x41;
  expect[1] = 0x42;
  expect[2] = 0x43;
  EXPECT_EQ(page, expect);

  std::fill(page.begin(), page.end(), 0xEE);
  decode_page(std::span<const std::uint8_t>(), enc.tree(), page.data());
  EXPECT_EQ(page, Bytes(PAGE_SIZE, 0));
}

}  // namespace
}  // namespace tolvex
