#include "components/data_file_reader.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

#include "catalog/bytes.h"
#include "components/compressor.h"
#include "platform/platform.h"

namespace tolvex {
namespace {

constexpr std::uint32_t MAX_TOKENS = CHUNK_BYTES;  // one token gives at least one byte
// The largest file the format can describe: record offsets are 32 bits, so the
// last record starts below 4 GiB and is at most one full record long.
constexpr std::uint64_t MAX_FILE_SIZE = (1ull << 32) + RECORD_HEAD_BYTES + 3ull * MAX_TOKENS;

#if defined(__GNUC__) && !defined(_WIN32)
bool fail(std::string& error, const char* format, ...) __attribute__((format(printf, 2, 3)));
#endif

bool fail(std::string& error, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  error = text;
  return false;
}

bool check_fixed(std::span<const std::uint8_t> bytes, std::size_t at, const std::uint8_t* expected, std::size_t n,
                 std::string& error) {
  for (std::size_t i = 0; i < n; ++i) {
    if (bytes[at + i] != expected[i]) {
      return fail(error, "header byte %zu is %02X, expected %02X", at + i, bytes[at + i], expected[i]);
    }
  }
  return true;
}

}  // namespace

namespace {

// The header's fixed bytes and fields.
bool parse_header(std::span<const std::uint8_t> bytes, DataFile& out, std::string& error) {
  const std::size_t size = bytes.size();
  if (size < DATA_HEADER_SIZE) {
    return fail(error, "file is %zu bytes, shorter than the 64-byte header", size);
  }
  if (std::memcmp(bytes.data(), DATA_MAGIC.data(), DATA_MAGIC.size()) != 0)
    return fail(error, "bad magic: not a VORQDATA file");
  if (!check_fixed(bytes, DATA_FIXED_8_AT, DATA_FIXED_8.data(), DATA_FIXED_8.size(), error)) return false;
  if (!check_fixed(bytes, DATA_FIXED_16_AT, DATA_FIXED_16.data(), DATA_FIXED_16.size(), error)) return false;
  for (std::size_t i = DATA_PADDING_AT; i < DATA_HEADER_SIZE; ++i) {
    if (bytes[i] != 0) return fail(error, "header byte %zu is %02X, expected 00", i, bytes[i]);
  }
  const std::uint8_t* h = bytes.data();
  out.code = h[DATA_CODE_AT];
  out.chunk_count = static_cast<std::uint16_t>(get_be(h + DATA_CHUNK_COUNT_AT, 2));
  out.first_page = get_be(h + DATA_FIRST_PAGE_AT, 4);
  out.last_page = get_be(h + DATA_LAST_PAGE_AT, 4);
  out.attribute = h[DATA_ATTRIBUTE_AT];
  std::memcpy(out.parameters.data(), h + DATA_PARAMETERS_AT, out.parameters.size());
  return true;
}

// The offset table and the record heads: the records must follow the table
// and each other exactly, to the end of the file.
bool parse_records(std::span<const std::uint8_t> bytes, DataFile& out, std::string& error) {
  const std::size_t size = bytes.size();
  const std::uint8_t* h = bytes.data();
  const unsigned n = out.chunk_count;
  // Sizes and offsets in 64 bits: nothing read from the file can overflow them.
  const std::uint64_t table_end = DATA_HEADER_SIZE + std::uint64_t{DATA_OFFSET_SIZE} * n;
  if (table_end > size) {
    return fail(error, "file ends inside the chunk offset table (%zu bytes, the table of %u chunks ends at %llu)", size,
                n, static_cast<unsigned long long>(table_end));
  }
  out.chunks.resize(n);
  std::uint64_t expected = table_end;
  for (unsigned i = 0; i < n; ++i) {
    ChunkRecordInfo& c = out.chunks[i];
    c.offset = get_be(h + DATA_HEADER_SIZE + DATA_OFFSET_SIZE * i, DATA_OFFSET_SIZE);
    if (c.offset != expected) {
      return fail(error, "chunk %u of %u: record at offset %u, expected %llu", i + 1, n, c.offset,
                  static_cast<unsigned long long>(expected));
    }
    if (expected + RECORD_HEAD_BYTES > size) {
      return fail(error, "chunk %u of %u: record head runs past the end of the file", i + 1, n);
    }
    c.token_count = get_be(h + c.offset, 4);
    c.fill_byte = h[c.offset + RECORD_FILL_AT];
    if (c.token_count == 0 || c.token_count > MAX_TOKENS) {
      return fail(error, "chunk %u of %u: token_count %u is not between 1 and %u", i + 1, n, c.token_count, MAX_TOKENS);
    }
    expected += RECORD_HEAD_BYTES + std::uint64_t{TOKEN_BYTES} * c.token_count;
    if (expected > size) {
      return fail(error, "chunk %u of %u: %u tokens run past the end of the file", i + 1, n, c.token_count);
    }
  }
  if (expected != size) {
    return fail(error, "%llu bytes after the last chunk record", static_cast<unsigned long long>(size - expected));
  }
  return true;
}

// Decodes every chunk into out.pages.
bool decode_chunks(std::span<const std::uint8_t> bytes, DataFile& out, std::string& error) {
  const unsigned n = out.chunk_count;
  std::vector<std::uint8_t> chunk;
  for (unsigned i = 0; i < n; ++i) {
    const ChunkRecordInfo& c = out.chunks[i];
    const auto tokens =
        bytes.subspan(std::size_t{c.offset} + RECORD_HEAD_BYTES, std::size_t{TOKEN_BYTES} * c.token_count);
    for (std::size_t t = 0; t < tokens.size(); t += TOKEN_BYTES) {
      const unsigned offset = token_offset(&tokens[t]);
      if (offset >= static_cast<unsigned>(WINDOW_SIZE)) {
        return fail(error, "chunk %u of %u: token %zu has offset %u, above %d", i + 1, n, t / TOKEN_BYTES + 1, offset,
                    WINDOW_SIZE - 1);
      }
    }
    const std::size_t length = decoded_length(tokens);
    if (i + 1 < n && length != static_cast<std::size_t>(CHUNK_BYTES)) {
      return fail(error, "chunk %u of %u decodes to %zu bytes, expected %d", i + 1, n, length, CHUNK_BYTES);
    }
    if (length % PAGE_SIZE != 0 || length > static_cast<std::size_t>(CHUNK_BYTES)) {
      return fail(error, "last chunk (%u of %u) decodes to %zu bytes, not 1 to 16 whole pages", i + 1, n, length);
    }
    if (!decompress_chunk(c.fill_byte, tokens, length, chunk)) {
      return fail(error, "chunk %u of %u does not decode", i + 1, n);
    }
    out.pages.insert(out.pages.end(), chunk.begin(), chunk.end());
  }
  return true;
}

}  // namespace

bool parse_data_file(std::span<const std::uint8_t> bytes, DataFile& out, std::string& error) {
  out = DataFile{};
  error.clear();
  if (!parse_header(bytes, out, error)) return false;
  if (out.chunk_count == 0) {
    // An index entry of 0 pages is written as the header alone, naming the
    // page before its first page as its last.
    if (bytes.size() != DATA_HEADER_SIZE)
      return fail(error, "chunk_count is 0 but the file holds %zu bytes after the header",
                  bytes.size() - DATA_HEADER_SIZE);
    if (out.last_page + 1 != out.first_page) {
      return fail(error, "chunk_count is 0 but the header names pages %u..%u", static_cast<unsigned>(out.first_page),
                  static_cast<unsigned>(out.last_page));
    }
    return true;
  }
  if (!parse_records(bytes, out, error) || !decode_chunks(bytes, out, error)) return false;
  const std::int64_t header_pages = std::int64_t{out.last_page} - std::int64_t{out.first_page} + 1;
  if (header_pages != static_cast<std::int64_t>(out.page_count())) {
    return fail(error, "header names pages %u..%u (%lld pages), the chunks hold %zu pages", out.first_page,
                out.last_page, static_cast<long long>(header_pages), out.page_count());
  }
  return true;
}

bool read_data_file(const std::string& path, DataFile& out, std::string& error) {
  out = DataFile{};
  const std::int64_t size = platform::regular_file_size(path);
  if (size < 0) return fail(error, "cannot open: missing or not a regular file");
  if (static_cast<std::uint64_t>(size) > MAX_FILE_SIZE ||
      static_cast<std::uint64_t>(size) > std::numeric_limits<std::size_t>::max()) {
    return fail(error, "file is %lld bytes, larger than any data file can be", static_cast<long long>(size));
  }
  const int fd = platform::open_read(path);
  if (fd < 0) return fail(error, "cannot open for reading");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const std::size_t want = std::min<std::size_t>(bytes.size() - got, std::size_t{1} << 20);
    const long r = platform::read_fd(fd, bytes.data() + got, want);
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  platform::close_fd(fd);
  if (got != bytes.size()) return fail(error, "read failed after %zu of %zu bytes", got, bytes.size());
  return parse_data_file(bytes, out, error);
}

}  // namespace tolvex
