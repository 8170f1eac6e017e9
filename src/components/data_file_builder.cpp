#include "components/data_file_builder.h"

#include <cstring>
#include <new>

#include "catalog/bytes.h"

namespace tolvex {

std::array<std::uint8_t, DATA_HEADER_SIZE> data_file_header(const PlannedFile& file, std::uint32_t chunks) {
  std::array<std::uint8_t, DATA_HEADER_SIZE> header{};
  std::uint8_t* h = header.data();
  std::memcpy(h, DATA_MAGIC.data(), DATA_MAGIC.size());
  std::memcpy(h + DATA_FIXED_8_AT, DATA_FIXED_8.data(), DATA_FIXED_8.size());
  h[DATA_CODE_AT] = file.code;
  std::memcpy(h + DATA_FIXED_16_AT, DATA_FIXED_16.data(), DATA_FIXED_16.size());
  put_be(h + DATA_CHUNK_COUNT_AT, 2, chunks);
  put_be(h + DATA_FIRST_PAGE_AT, 4, file.first_page);
  put_be(h + DATA_LAST_PAGE_AT, 4, file.last_page());
  h[DATA_ATTRIBUTE_AT] = file.attribute;
  std::memcpy(h + DATA_PARAMETERS_AT, file.parameters.data(), file.parameters.size());
  return header;
}

std::size_t compress_into_record(ChunkCompressor& compressor, const std::uint8_t* data, std::size_t length,
                                 SearchKind search, std::uint8_t* record, std::uint8_t& fill) {
  fill = choose_fill_byte(data, length < WINDOW_SIZE ? length : WINDOW_SIZE);
  std::memset(compressor.buffer(), fill, WINDOW_SIZE);
  std::memcpy(compressor.chunk(), data, length);
  return compressor.compress_chunk(length, search, record + RECORD_HEAD_BYTES);
}

std::size_t finish_record(std::uint8_t* record, std::size_t token_bytes, std::uint8_t fill) {
  put_be(record, 4, static_cast<std::uint32_t>(token_bytes / TOKEN_BYTES));
  record[RECORD_FILL_AT] = fill;
  return RECORD_HEAD_BYTES + token_bytes;
}

bool RecordTable::allocate(std::uint32_t chunks) {
  try {
    offsets_.resize(DATA_OFFSET_SIZE * static_cast<std::size_t>(chunks));
  } catch (const std::bad_alloc&) {
    return false;
  }
  first_record_ = DATA_HEADER_SIZE + DATA_OFFSET_SIZE * chunks;
  next_record_ = first_record_;
  return true;
}

void RecordTable::add(std::uint32_t chunk, std::size_t record_bytes) {
  put_be(offsets_.data() + DATA_OFFSET_SIZE * chunk, DATA_OFFSET_SIZE, next_record_);
  next_record_ += static_cast<std::uint32_t>(record_bytes);
}

}  // namespace tolvex
