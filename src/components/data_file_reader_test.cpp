#include "components/data_file_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "components/compressor.h"
#include "source/bytes.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes pages_of(std::size_t count, unsigned seed) {
  Bytes out(count * DATA_PAGE_SIZE);
  std::mt19937 rng(seed);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i % 97 < 60 ? i % 13 : rng());
  return out;
}

// A data file laid out by hand around the compressor's records.
Bytes build_file(const Bytes& pages, std::uint32_t first_page, std::uint8_t code = 0x01) {
  ChunkCompressor c;
  const std::size_t n = (pages.size() + CHUNK_BYTES - 1) / CHUNK_BYTES;
  Bytes file(DATA_HEADER_SIZE + 4 * n);
  std::memcpy(file.data(), "VORQDATA\x00\x02\x00\x02\x00\x00\x00", 15);
  file[15] = code;
  std::memcpy(file.data() + 16, "\x00\x10\x10\x00\x00\x10", 6);
  put_be(file.data() + 22, 2, static_cast<std::uint32_t>(n));
  put_be(file.data() + 24, 4, first_page);
  put_be(file.data() + 28, 4, first_page + static_cast<std::uint32_t>(pages.size() / DATA_PAGE_SIZE) - 1);
  file[32] = 0x07;
  file[33] = 0x01;
  file[34] = 0x02;
  file[35] = 0x03;
  Bytes tokens(MAX_TOKEN_BYTES);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t at = i * CHUNK_BYTES;
    const std::size_t length = std::min<std::size_t>(CHUNK_BYTES, pages.size() - at);
    const std::uint8_t fill = choose_fill_byte(pages.data() + at, std::min<std::size_t>(length, WINDOW_SIZE));
    std::memset(c.buffer(), fill, WINDOW_SIZE);
    std::memcpy(c.chunk(), pages.data() + at, length);
    const std::size_t d = c.compress_chunk(length, SearchKind::hash, tokens.data());
    put_be(file.data() + DATA_HEADER_SIZE + 4 * i, 4, static_cast<std::uint32_t>(file.size()));
    std::uint8_t head[5];
    put_be(head, 4, static_cast<std::uint32_t>(d / 3));
    head[4] = fill;
    file.insert(file.end(), head, head + 5);
    file.insert(file.end(), tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(d));
  }
  return file;
}

// Parses and returns the error ("" on success).
std::string fault_of(const Bytes& file) {
  DataFile out;
  std::string error;
  const bool ok = parse_data_file(file, out, error);
  EXPECT_EQ(ok, error.empty()) << error;
  return error;
}

std::uint32_t offset_of_chunk(const Bytes& file, int i) { return get_be(file.data() + 64 + 4 * i, 4); }

TEST(DataFileReader, ReadsHeaderRecordsAndPages) {
  const Bytes pages = pages_of(35, 1);  // chunks of 16, 16 and 3 pages
  const Bytes file = build_file(pages, 12, 0xFF);
  DataFile out;
  std::string error;
  ASSERT_TRUE(parse_data_file(file, out, error)) << error;
  EXPECT_EQ(out.code, 0xFF);
  EXPECT_EQ(out.chunk_count, 3);
  EXPECT_EQ(out.first_page, 12u);
  EXPECT_EQ(out.last_page, 46u);
  EXPECT_EQ(out.attribute, 0x07);
  EXPECT_EQ(out.parameters, (std::array<std::uint8_t, 3>{1, 2, 3}));
  ASSERT_EQ(out.chunks.size(), 3u);
  EXPECT_EQ(out.chunks[0].offset, 64u + 12);
  EXPECT_EQ(out.page_count(), 35u);
  EXPECT_EQ(out.pages, pages);
}

TEST(DataFileReader, ReadsFromDisk) {
  const Bytes file = build_file(pages_of(2, 2), 1);
  const std::string path = "data_file_reader_test.tmp";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                              static_cast<std::streamsize>(file.size()));
  DataFile out;
  std::string error;
  EXPECT_TRUE(read_data_file(path, out, error)) << error;
  EXPECT_EQ(out.pages, pages_of(2, 2));
  std::remove(path.c_str());
  EXPECT_FALSE(read_data_file(path, out, error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST(DataFileReader, ReportsHeaderFaults) {
  const Bytes good = build_file(pages_of(1, 3), 5);
  EXPECT_NE(fault_of(Bytes(good.begin(), good.begin() + 40)).find("shorter than the 64-byte header"),
            std::string::npos);
  Bytes bad = good;
  bad[0] = 'W';
  EXPECT_EQ(fault_of(bad), "bad magic: not a VORQDATA file");
  bad = good;
  bad[9] = 0x03;
  EXPECT_EQ(fault_of(bad), "header byte 9 is 03, expected 02");
  bad = good;
  bad[21] = 0x11;
  EXPECT_EQ(fault_of(bad), "header byte 21 is 11, expected 10");
  bad = good;
  bad[63] = 0x01;
  EXPECT_EQ(fault_of(bad), "header byte 63 is 01, expected 00");
  bad = Bytes(good.begin(), good.begin() + 64);
  bad[22] = bad[23] = 0;
  EXPECT_EQ(fault_of(bad), "chunk_count is 0 but the header names pages 5..5");
  put_be(bad.data() + 28, 4, 4);  // a component of 0 pages: the header alone
  EXPECT_EQ(fault_of(bad), "");
  bad.push_back(0);
  EXPECT_EQ(fault_of(bad), "chunk_count is 0 but the file holds 1 bytes after the header");
  bad = good;
  put_be(bad.data() + 28, 4, 6);  // two pages named, one stored
  EXPECT_EQ(fault_of(bad), "header names pages 5..6 (2 pages), the chunks hold 1 pages");
  put_be(bad.data() + 28, 4, 3);  // last page before the first
  EXPECT_EQ(fault_of(bad), "header names pages 5..3 (-1 pages), the chunks hold 1 pages");
}

TEST(DataFileReader, ReportsBrokenOffsetChainsAndTruncation) {
  const Bytes good = build_file(pages_of(20, 4), 1);  // two chunks
  ASSERT_EQ(fault_of(good), "");
  const std::uint32_t second = offset_of_chunk(good, 1);

  Bytes bad = good;
  put_be(bad.data() + 64, 4, 68);
  EXPECT_EQ(fault_of(bad), "chunk 1 of 2: record at offset 68, expected 72");
  bad = good;
  put_be(bad.data() + 68, 4, second + 3);
  EXPECT_EQ(fault_of(bad), "chunk 2 of 2: record at offset " + std::to_string(second + 3) + ", expected " +
                               std::to_string(second));
  // A token count that makes the chain miss the next record.
  bad = good;
  put_be(bad.data() + 72, 4, get_be(bad.data() + 72, 4) - 1);
  EXPECT_NE(fault_of(bad).find("chunk 2 of 2: record at offset"), std::string::npos);
  bad = good;
  put_be(bad.data() + 72, 4, 0);
  EXPECT_EQ(fault_of(bad), "chunk 1 of 2: token_count 0 is not between 1 and 32768");

  EXPECT_EQ(fault_of(Bytes(good.begin(), good.end() - 1)).find("chunk 2 of 2:"), 0u);
  EXPECT_EQ(fault_of(Bytes(good.begin(), good.begin() + second + 2)),
            "chunk 2 of 2: record head runs past the end of the file");
  EXPECT_NE(fault_of(Bytes(good.begin(), good.begin() + 66)).find("inside the chunk offset table"),
            std::string::npos);
  bad = good;
  bad.push_back(0);
  EXPECT_EQ(fault_of(bad), "1 bytes after the last chunk record");
}

TEST(DataFileReader, ReportsChunksThatDoNotDecodeToWholePages) {
  const Bytes good = build_file(pages_of(20, 5), 1);
  const std::uint32_t tokens = offset_of_chunk(good, 0) + 5;

  Bytes bad = good;
  bad[tokens] = 0xFF;  // offset 0xFFx
  EXPECT_NE(fault_of(bad).find("chunk 1 of 2: token 1 has offset"), std::string::npos);
  // A copy one byte shorter: the first chunk is no longer 32768 bytes.
  bad = good;
  std::size_t t = tokens;
  while (token_length(&bad[t]) == 0) t += 3;
  --bad[t + 1];
  EXPECT_EQ(fault_of(bad), "chunk 1 of 2 decodes to 32767 bytes, expected 32768");
  // The same in the last chunk: not whole pages.
  bad = good;
  t = offset_of_chunk(good, 1) + 5;
  while (token_length(&bad[t]) == 0) t += 3;
  --bad[t + 1];
  EXPECT_EQ(fault_of(bad), "last chunk (2 of 2) decodes to 8191 bytes, not 1 to 16 whole pages");
}

TEST(DataFileReader, NeverFailsUnsafelyOnDamagedFiles) {
  // Under the sanitizers: random damage anywhere must give a clean verdict.
  const Bytes good = build_file(pages_of(18, 6), 3);
  std::mt19937 rng(6);
  for (int round = 0; round < 300; ++round) {
    Bytes bad = good;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) {
      // Mostly the header, table and record heads, where structure lives.
      const std::size_t at = rng() % 3 ? rng() % 120 : rng() % bad.size();
      bad[at] = static_cast<std::uint8_t>(rng());
    }
    if (rng() % 5 == 0) bad.resize(rng() % bad.size());
    DataFile out;
    std::string error;
    if (parse_data_file(bad, out, error)) {
      EXPECT_EQ(out.pages.size(), out.page_count() * DATA_PAGE_SIZE);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

}  // namespace
}  // namespace tolvex
