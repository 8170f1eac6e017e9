// The bytes of a VORQDATA file as the data writer puts them together
// (data_file_layout.h): its header, its chunk records and the table of
// their offsets. Writing them, and saying what failed, is the caller's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "components/compressor.h"
#include "components/data_file_layout.h"
#include "components/plan.h"

namespace tolvex {

// A record buffer: the record's head, then room for the tokens of a full
// chunk. The head goes before the tokens so that a record goes out in one
// write.
inline constexpr std::size_t RECORD_BYTES = RECORD_HEAD_BYTES + MAX_TOKEN_BYTES;

// The header of `file`, of `chunks` records.
std::array<std::uint8_t, DATA_HEADER_SIZE> data_file_header(const PlannedFile& file, std::uint32_t chunks);

// Compresses the chunk of `length` bytes at `data` into the tokens of the
// record buffer `record`, behind a window filled with the chunk's fill byte;
// returns the token bytes and sets `fill`.
std::size_t compress_into_record(ChunkCompressor& compressor, const std::uint8_t* data, std::size_t length,
                                 SearchKind search, std::uint8_t* record, std::uint8_t& fill);

// Puts the head before the `token_bytes` tokens of the record buffer
// `record`; returns the record's size.
std::size_t finish_record(std::uint8_t* record, std::size_t token_bytes, std::uint8_t fill);

// The record offset table: records follow the header and the table, in
// chunk order. A file of 0 chunks has an empty table.
class RecordTable {
 public:
  // Makes room for `chunks` offsets; false when the memory cannot be had.
  bool allocate(std::uint32_t chunks);
  // Where the first record goes.
  std::uint32_t first_record() const { return first_record_; }
  // Notes that the record of `chunk`, of `record_bytes`, is written next.
  void add(std::uint32_t chunk, std::size_t record_bytes);
  // The table's bytes, written behind the header.
  const std::vector<std::uint8_t>& bytes() const { return offsets_; }

 private:
  std::vector<std::uint8_t> offsets_;
  std::uint32_t first_record_ = DATA_HEADER_SIZE;
  std::uint32_t next_record_ = DATA_HEADER_SIZE;
};

}  // namespace tolvex
