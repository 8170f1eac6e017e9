// Book files kept compressed with ebzip (name.ebz), read by byte offset into
// the original file.
//
// Layout, all numbers big-endian:
//   0  5  "EBZip"
//   5  1  high nibble: format (1); low nibble: level 0-5, slices of 2048 << level bytes
//   6  4  unused (0)
//  10  4  size of the original file
//  14  4  Adler-32 of the original file
//  18  4  modification time
//  22     slice index: slices + 1 offsets into the .ebz, 2 bytes wide when the
//         original is below 64 KiB, 3 below 16 MiB, else 4; slice i lies from
//         offset i to offset i + 1
// A slice as long as the slice size is stored as it is; a shorter one is a
// zlib stream of exactly one slice. The last slice is padded with zeros.
//
// ebzip stores what the EB library reads: an EPWING-compressed file (kind 1
// or 2) goes in decoded, so the .ebz is read as a plain file whatever
// compression the catalog names.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace tolvex {

inline constexpr std::int64_t EBZIP_HEADER_SIZE = 22;
inline constexpr int EBZIP_MAX_LEVEL = 5;

class EbzipFile {
 public:
  // Checks the header and the whole slice index, reading the descriptor (not
  // owned). Null when either is damaged. Slices are checked as they are
  // inflated, the checksum when every slice has been read in order.
  static std::unique_ptr<EbzipFile> open(int descriptor, std::int64_t ebz_size);

  std::int64_t size() const { return size_; }  // of the original file

  // Copies up to n bytes of the original from `offset` on; returns their count
  // (fewer at the end of the original), or -1 where a slice cannot be read or
  // is damaged. Only the slices the bytes lie in are inflated; the last one
  // is kept.
  long read(std::int64_t offset, std::uint8_t* destination, std::size_t n);

  ~EbzipFile();
  EbzipFile(const EbzipFile&) = delete;
  EbzipFile& operator=(const EbzipFile&) = delete;

 private:
  EbzipFile() = default;
  // File bytes read ahead from `start` on.
  struct Window {
    std::vector<std::uint8_t> bytes;
    std::int64_t start = 0;
  };
  bool load_slice(std::int64_t slice);
  bool slice_bounds(std::int64_t slice, std::int64_t& start, std::int64_t& end);
  // n bytes at `offset`, through `window` (refilled with `ahead` bytes from
  // `offset` on where they are not in it); null where the file is shorter.
  const std::uint8_t* bytes_at(Window& window, std::size_t ahead, std::int64_t offset, std::size_t n);

  int descriptor_ = -1;
  std::int64_t ebz_size_ = 0;
  std::int64_t size_ = 0;
  std::size_t slice_size_ = 0;
  std::int64_t slices_ = 0;
  int width_ = 0;  // of a slice index entry
  std::uint32_t checksum_ = 0;
  std::int64_t loaded_ = -1;         // the slice in `slice_`
  std::vector<std::uint8_t> slice_;  // one slice, inflated
  // The slice index lies before the slices, so each is read through a window
  // of its own: reading on in one never drops the other.
  Window index_;
  Window ahead_;
  std::int64_t checked_ = 0;  // slices summed into adler_, in order
  std::uint32_t adler_ = 0;
  bool damaged_ = false;  // the checksum did not match
};

}  // namespace tolvex
