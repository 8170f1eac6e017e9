// The VORQDATA reader on files laid out here around the compressor's records:
// what it reads back, and the message for each kind of damage.
#include "components/data_file_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "catalog/bytes.h"
#include "components/compressor.h"
#include "scratch_dir.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes pages_of(std::size_t count) {
  Bytes out(count * PAGE_SIZE);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i % 97 < 60 ? i % 13 : i * i >> 7);
  return out;
}

// A data file laid out here byte by byte around the compressor's records.
Bytes build_file(const Bytes& pages, std::uint32_t first_page, std::uint8_t code) {
  ChunkCompressor c;
  const std::size_t n = (pages.size() + CHUNK_BYTES - 1) / CHUNK_BYTES;
  Bytes file(DATA_HEADER_SIZE + 4 * n);
  std::memcpy(file.data(), "VORQDATA\x00\x02\x00\x02\x00\x00\x00", 15);
  file[15] = code;
  std::memcpy(file.data() + 16, "\x00\x10\x10\x00\x00\x10", 6);
  put_be(file.data() + 22, 2, static_cast<std::uint32_t>(n));
  put_be(file.data() + 24, 4, first_page);
  put_be(file.data() + 28, 4, first_page + static_cast<std::uint32_t>(pages.size() / PAGE_SIZE) - 1);
  std::memcpy(file.data() + 32, "\x07\x01\x02\x03", 4);
  Bytes tokens(MAX_TOKEN_BYTES);
  for (std::size_t at = 0; at < pages.size(); at += CHUNK_BYTES) {
    const std::size_t length = std::min<std::size_t>(CHUNK_BYTES, pages.size() - at);
    const std::uint8_t fill = choose_fill_byte(pages.data() + at, std::min<std::size_t>(length, WINDOW_SIZE));
    std::memset(c.buffer(), fill, WINDOW_SIZE);
    std::memcpy(c.chunk(), pages.data() + at, length);
    const std::size_t d = c.compress_chunk(length, SearchKind::hash, tokens.data());
    put_be(file.data() + DATA_HEADER_SIZE + 4 * (at / CHUNK_BYTES), 4, static_cast<std::uint32_t>(file.size()));
    std::uint8_t head[5] = {0, 0, 0, 0, fill};
    put_be(head, 4, static_cast<std::uint32_t>(d / 3));
    file.insert(file.end(), head, head + 5);
    file.insert(file.end(), tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(d));
  }
  return file;
}

TEST(DataFileReader, ReadsALaidOutFileAndNamesTheFaultOfEachDamagedOne) {
  const Bytes pages = pages_of(20);
  const Bytes good = build_file(pages, 5, 0xFF);  // two chunks: 16 and 4 pages
  const std::uint32_t second = get_be(good.data() + 68, 4);
  const std::uint32_t tokens1 = 72 + 5, tokens2 = second + 5;
  DataFile out;
  std::string error;
  ASSERT_TRUE(parse_data_file(good, out, error)) << error;
  EXPECT_EQ(out.pages, pages);  // the header fields are checked on whole runs
  testing_support::ScratchDir dir;
  EXPECT_FALSE(read_data_file((dir.path() / "missing.DIC").string(), out, error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
  testing_support::write_file_text(dir.path() / "empty.DIC", "");
  EXPECT_FALSE(read_data_file((dir.path() / "empty.DIC").string(), out, error));
  EXPECT_EQ(error, "file is 0 bytes, shorter than the 64-byte header");

  auto set = [](std::size_t at, int n, std::uint32_t v) { return [=](Bytes& f) { put_be(f.data() + at, n, v); }; };
  auto cut = [](std::size_t n) { return [=](Bytes& f) { f.resize(n); }; };
  // Shortens the first copy at or after token byte t by one byte.
  auto shorten_copy = [](std::size_t t) {
    return [=](Bytes& f) mutable {
      while (token_length(&f[t]) == 0) t += 3;
      --f[t + 1];
    };
  };
  auto header_only = [](std::uint32_t last_page, std::size_t extra) {
    return [=](Bytes& f) {
      f.resize(64 + extra);
      put_be(f.data() + 22, 2, 0);
      put_be(f.data() + 28, 4, last_page);
    };
  };
  const std::vector<std::pair<std::function<void(Bytes&)>, std::string>> cases = {
      {header_only(4, 0), ""},  // a component of no pages: the header alone
      {cut(40), "file is 40 bytes, shorter than the 64-byte header"},
      {[](Bytes& f) { f[0] = 'W'; }, "bad magic: not a VORQDATA file"},
      {[](Bytes& f) { f[9] = 0x03; }, "header byte 9 is 03, expected 02"},
      {[](Bytes& f) { f[21] = 0x11; }, "header byte 21 is 11, expected 10"},
      {[](Bytes& f) { f[63] = 0x01; }, "header byte 63 is 01, expected 00"},
      {header_only(24, 0), "chunk_count is 0 but the header names pages 5..24"},
      {header_only(4, 1), "chunk_count is 0 but the file holds 1 bytes after the header"},
      {set(28, 4, 25), "header names pages 5..25 (21 pages), the chunks hold 20 pages"},
      {set(28, 4, 3), "header names pages 5..3 (-1 pages), the chunks hold 20 pages"},
      {cut(66), "file ends inside the chunk offset table (66 bytes, the table of 2 chunks ends at 72)"},
      {cut(72), "chunk 1 of 2: record head runs past the end of the file"},  // the table ends at the end
      {set(64, 4, 68), "chunk 1 of 2: record at offset 68, expected 72"},
      {set(72, 4, (second - tokens1) / 3 - 1),
       "chunk 2 of 2: record at offset " + std::to_string(second) + ", expected " + std::to_string(second - 3)},
      {set(72, 4, 0), "chunk 1 of 2: token_count 0 is not between 1 and 32768"},
      {cut(second + 2), "chunk 2 of 2: record head runs past the end of the file"},
      {cut(good.size() - 1),
       "chunk 2 of 2: " + std::to_string(get_be(good.data() + second, 4)) + " tokens run past the end of the file"},
      {[](Bytes& f) { f.push_back(0); }, "1 bytes after the last chunk record"},
      {[=](Bytes& f) { f[tokens1] = 0xFF; }, "chunk 1 of 2: token 1 has offset 4080, above 4079"},
      {shorten_copy(tokens1), "chunk 1 of 2 decodes to 32767 bytes, expected 32768"},
      {shorten_copy(tokens2), "last chunk (2 of 2) decodes to 8191 bytes, not 1 to 16 whole pages"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    Bytes file = good;
    cases[i].first(file);
    DataFile parsed;
    std::string fault;
    const bool ok = parse_data_file(file, parsed, fault);
    EXPECT_EQ(ok, fault.empty()) << fault;
    EXPECT_EQ(fault, cases[i].second) << "case " << i;
  }
}

}  // namespace
}  // namespace tolvex
