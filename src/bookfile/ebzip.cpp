#include "bookfile/ebzip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "bookfile/inflate.h"
#include "catalog/bytes.h"
#include "platform/platform.h"

namespace tolvex {

namespace {

constexpr std::size_t kMinSlice = 2048;
constexpr std::size_t kReadAhead = 64 * 1024;  // of slices
constexpr std::size_t kIndexAhead = 8 * 1024;  // of the slice index

bool read_at(int fd, std::int64_t offset, std::uint8_t* buffer, std::size_t n) {
  return platform::seek_set(fd, offset) == offset && platform::read_fd(fd, buffer, n) == static_cast<long>(n);
}

// Exactly one zlib stream in `in`, inflating to exactly out.size() bytes;
// `check` receives the Adler-32 its trailer names, so that one pass over the
// slice sums both the slice's check and the whole file's.
bool inflate_slice(const std::uint8_t* in, std::size_t in_size, std::vector<std::uint8_t>& out, std::uint32_t& check) {
  // Header: deflate (8), a window of at most 32 KiB, no preset dictionary,
  // and the check bits that make it a multiple of 31.
  if (in_size < 6 || (in[0] & 0x0F) != 8 || (in[0] >> 4) > 7 || (in[1] & 0x20) != 0 ||
      (in[0] * 256 + in[1]) % 31 != 0) {
    return false;
  }
  // The stream must end where the trailer begins: one cut short, or
  // inflating to more or fewer bytes than a slice, is damaged.
  const std::size_t body = in_size - 6;
  if (inflate_exact(in + 2, body, out.data(), out.size()) != static_cast<long>(body)) return false;
  check = get_be(in + 2 + body, 4);
  return true;
}

}  // namespace

EbzipFile::~EbzipFile() = default;

std::unique_ptr<EbzipFile> EbzipFile::open(int descriptor, std::int64_t ebz_size) {
  std::uint8_t header[EBZIP_HEADER_SIZE];
  if (ebz_size < EBZIP_HEADER_SIZE || !read_at(descriptor, 0, header, sizeof header)) return nullptr;
  if (std::memcmp(header, "EBZip", 5) != 0) return nullptr;
  const int format = header[5] >> 4, level = header[5] & 0x0F;
  if (format != 1 || level > EBZIP_MAX_LEVEL) return nullptr;

  std::unique_ptr<EbzipFile> file(new EbzipFile());
  file->descriptor_ = descriptor;
  file->ebz_size_ = ebz_size;
  file->size_ = static_cast<std::int64_t>(get_be(header + 10, 4));
  file->checksum_ = get_be(header + 14, 4);
  file->slice_size_ = kMinSlice << level;
  file->width_ = file->size_ < (1 << 16) ? 2 : file->size_ < (1 << 24) ? 3 : 4;
  const auto slice = static_cast<std::int64_t>(file->slice_size_);
  file->slices_ = (file->size_ + slice - 1) / slice;
  // The index must fit in the file before anything is sized by the header's
  // claims; its last entry is the end of the file, so the original size and
  // the slice index agree.
  const std::int64_t index_end = EBZIP_HEADER_SIZE + (file->slices_ + 1) * file->width_;
  if (index_end > ebz_size) return nullptr;
  std::uint8_t last[4];
  if (!read_at(descriptor, index_end - file->width_, last, static_cast<std::size_t>(file->width_)) ||
      static_cast<std::int64_t>(get_be(last, file->width_)) != ebz_size) {
    return nullptr;
  }
  file->slice_.resize(file->slice_size_);
  file->adler_ = adler32(0, nullptr, 0);
  // The whole slice index, read in blocks: every slice lies after the index,
  // within the file, and no slice runs backwards or beyond a slice's size.
  std::int64_t start = 0, end = 0;
  for (std::int64_t i = 0; i < file->slices_; ++i) {
    if (!file->slice_bounds(i, start, end)) return nullptr;
  }
  return file;
}

const std::uint8_t* EbzipFile::bytes_at(Window& window, std::size_t ahead, std::int64_t offset, std::size_t n) {
  std::vector<std::uint8_t>& bytes = window.bytes;
  if (offset < window.start ||
      offset + static_cast<std::int64_t>(n) > window.start + static_cast<std::int64_t>(bytes.size())) {
    // Slices and index entries lie in file order, so one read serves the
    // next ones too.
    const std::size_t want = std::max(n, ahead);
    bytes.resize(want);
    window.start = offset;
    if (platform::seek_set(descriptor_, offset) != offset) {
      bytes.clear();
      return nullptr;
    }
    const long got = platform::read_fd(descriptor_, bytes.data(), want);
    bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    if (bytes.size() < n) return nullptr;
  }
  return bytes.data() + (offset - window.start);
}

bool EbzipFile::slice_bounds(std::int64_t slice, std::int64_t& start, std::int64_t& end) {
  const std::uint8_t* entries =
      bytes_at(index_, kIndexAhead, EBZIP_HEADER_SIZE + slice * width_, 2 * static_cast<std::size_t>(width_));
  if (entries == nullptr) return false;
  start = static_cast<std::int64_t>(get_be(entries, width_));
  end = static_cast<std::int64_t>(get_be(entries + width_, width_));
  const std::int64_t index_end = EBZIP_HEADER_SIZE + (slices_ + 1) * width_;
  return start >= index_end && end > start && end <= ebz_size_ && end - start <= static_cast<std::int64_t>(slice_size_);
}

bool EbzipFile::load_slice(std::int64_t slice) {
  if (slice == loaded_) return true;
  loaded_ = -1;
  if (damaged_) return false;
  std::int64_t start = 0, end = 0;
  if (slice < 0 || slice >= slices_ || !slice_bounds(slice, start, end)) return false;
  const auto length = static_cast<std::size_t>(end - start);
  const std::uint8_t* stored = bytes_at(ahead_, kReadAhead, start, length);
  if (stored == nullptr) return false;
  std::uint32_t check = 0;
  const bool inflated = length != slice_size_;  // else stored as it is
  if (!inflated) {
    std::memcpy(slice_.data(), stored, length);
  } else if (!inflate_slice(stored, length, slice_, check)) {
    return false;
  }
  // The bytes of the original (the last slice's padding is not), summed once
  // for the slice's own check (over the padding too) and the file's.
  const auto size = static_cast<std::int64_t>(slice_size_);
  const auto original = static_cast<uInt>(std::min(size_ - slice * size, size));
  const uLong sum = adler32(adler32(0, nullptr, 0), slice_.data(), original);
  if (inflated && adler32(sum, slice_.data() + original, static_cast<uInt>(slice_size_ - original)) != check) {
    return false;
  }
  // The checksum covers the whole original: it is summed over the slices as
  // they are first read in order, and a file read through to its last slice
  // so (a font copy, a graphics or sound file, mostly the text too) fails
  // there when it does not match. Checking it at open would inflate every
  // slice twice; slices that are never read cannot spoil the package.
  if (slice == checked_) {
    adler_ = adler32_combine(adler_, sum, static_cast<z_off_t>(original));
    if (++checked_ == slices_ && static_cast<std::uint32_t>(adler_) != checksum_) {
      damaged_ = true;
      return false;
    }
  }
  loaded_ = slice;
  return true;
}

long EbzipFile::read(std::int64_t offset, std::uint8_t* destination, std::size_t n) {
  if (offset < 0) return -1;
  const auto slice = static_cast<std::int64_t>(slice_size_);
  std::size_t done = 0;
  while (done < n && offset < size_) {
    if (!load_slice(offset / slice)) return -1;
    const std::int64_t in = offset % slice;
    const auto take =
        static_cast<std::size_t>(std::min({static_cast<std::int64_t>(n - done), slice - in, size_ - offset}));
    std::memcpy(destination + done, slice_.data() + in, take);
    done += take;
    offset += static_cast<std::int64_t>(take);
  }
  return static_cast<long>(done);
}

}  // namespace tolvex
