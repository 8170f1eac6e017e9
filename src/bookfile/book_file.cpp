#include "bookfile/book_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "catalog/bytes.h"
#include "catalog/catalog.h"
#include "platform/platform.h"

namespace tolvex {

namespace {

// current_page + 1 without signed overflow (page numbers above INT32_MAX
// wrap as they would in the 32-bit counter, and such pages never exist).
void advance(std::int32_t& current_page) {
  current_page = static_cast<std::int32_t>(static_cast<std::uint32_t>(current_page) + 1u);
}

// Every BookFile gets a serial of its own, so that a cache never takes a
// file opened later at the same address for the one it holds.
std::atomic<std::uint64_t> g_next_serial{1};

constexpr std::int64_t kHeaderSize = 20;
constexpr std::int64_t kGroupSize = 36;  // base offset + sixteen 16-bit page offsets

bool read_exact(int fd, void* buffer, std::size_t n) {
  return platform::read_fd(fd, buffer, n) == static_cast<long>(n);
}

}  // namespace

// A reader reads through two caches of the file it read last (the file does
// not change while it is converted): the page group last read (compressed
// files), and the bytes from the last page's offset on, read 64 KiB at a
// time, so that the pages after it come from memory. Both give exactly what
// seeking and reading the file would give, including at and behind its end.
struct PageReader::Cache {
  std::uint64_t group_file = 0;  // serial; 0: none
  std::int64_t group_offset = -1;
  std::uint8_t group[kGroupSize] = {};

  std::uint64_t file = 0;  // serial; 0: none
  std::int64_t start = 0;  // file offset of bytes[0]
  std::size_t size = 0;    // bytes read there
  bool at_end = false;     // the read stopped at the end of the file
  std::vector<std::uint8_t> bytes;

  std::size_t page_bits = 0;  // the stream bits of the last page whose length the page index gave
};

namespace {

using ReadCache = PageReader::Cache;
constexpr std::size_t kReadAhead = 64 * 1024;

// The 36-byte page group at `offset`, or null where seeking there or reading
// it whole fails.
const std::uint8_t* page_group(ReadCache& c, const BookFile& file, std::int64_t offset) {
  if (c.group_file == file.serial && c.group_offset == offset) return c.group;
  c.group_file = 0;
  if (offset < 0 || platform::seek_set(file.descriptor, offset) != offset) return nullptr;
  if (!read_exact(file.descriptor, c.group, sizeof c.group)) return nullptr;
  c.group_file = file.serial;
  c.group_offset = offset;
  return c.group;
}

// As seeking to `offset` and reading up to n (<= kReadAhead) bytes: sets
// `data` to them and returns their count (0 at or behind the end of the
// file), or -1 where the seek or the read fails.
long bytes_at(ReadCache& c, const BookFile& file, std::int64_t offset, std::size_t n, const std::uint8_t*& data) {
  const bool cached = c.file == file.serial && offset >= c.start &&
      (offset + static_cast<std::int64_t>(n) <= c.start + static_cast<std::int64_t>(c.size) || c.at_end);
  if (!cached) {
    c.file = 0;
    if (offset < 0 || platform::seek_set(file.descriptor, offset) != offset) return -1;
    if (c.bytes.empty()) c.bytes.resize(kReadAhead);
    const long got = platform::read_fd(file.descriptor, c.bytes.data(), kReadAhead);
    if (got < 0) return -1;
    c.file = file.serial;
    c.start = offset;
    c.size = static_cast<std::size_t>(got);
    c.at_end = c.size < kReadAhead;
  }
  const std::int64_t end = c.start + static_cast<std::int64_t>(c.size);
  const std::size_t available = offset >= end ? 0 : std::min(n, static_cast<std::size_t>(end - offset));
  data = c.bytes.data() + std::min(static_cast<std::size_t>(offset - c.start), c.size);
  return static_cast<long>(available);
}

}  // namespace

BookFile::BookFile() : serial(g_next_serial.fetch_add(1)) {}

BookFile::~BookFile() {
  if (descriptor >= 0) platform::close_fd(descriptor);
}

PageReader::PageReader() : cache_(std::make_unique<Cache>()) {}
PageReader::~PageReader() = default;

std::string base_name_of(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::unique_ptr<DecodingTree> build_decoding_tree(const BookFile& file, std::int64_t file_size) {
  if (!file.header) return nullptr;
  const CompressionHeader& h = *file.header;
  LeafCounts counts;
  if (!leaf_counts(file.kind, h.table_length, counts)) return nullptr;
  if (counts.leaves() > MAX_LEAVES) return nullptr;
  const std::int64_t bytes = table_bytes(counts);
  // The tables must lie inside the file: a corrupt header cannot make us
  // allocate more than the file could hold.
  if (h.table_offset < 0 || file_size < 0 || h.table_offset + bytes > file_size) return nullptr;
  if (platform::seek_set(file.descriptor, h.table_offset) != h.table_offset) return nullptr;
  std::vector<std::uint8_t> table(static_cast<std::size_t>(bytes));
  if (!read_exact(file.descriptor, table.data(), table.size())) return nullptr;
  auto tree = std::make_unique<DecodingTree>(build_tree_from_leaves(leaves_from_table(counts, table)));
  return tree;
}

namespace {
// The file a book path names: the path itself in any ISO 9660 name form
// (platform::resolve_path_case), else `path.ebz` in any of them ("HONMON.EBZ;1"),
// else the path unchanged. `ebzip` tells which was found.
std::string resolve_book_path(const std::string& path, bool& ebzip) {
  ebzip = false;
  const std::string actual = platform::resolve_path_case(path);
  if (platform::path_exists(actual)) return actual;
  const std::string packed = platform::resolve_path_case(path + ".ebz");
  if (!platform::path_exists(packed)) return actual;
  ebzip = true;
  return packed;
}
}  // namespace

BookFilePtr open_book_file(const std::string& path, int kind, int* open_result) {
  auto file = std::make_unique<BookFile>();
  file->name = base_name_of(path);
  // Disc copies may spell the names in another case, with "." or ";1", or
  // keep them as name.ebz; messages keep the path as the catalog built it.
  bool ebzip = false;
  const std::string actual = resolve_book_path(path, ebzip);
  file->descriptor = platform::open_read(actual);
  if (open_result != nullptr) *open_result = file->descriptor;
  if (file->descriptor < 0) return nullptr;
  if (ebzip) {
    file->ebzip = EbzipFile::open(file->descriptor, platform::descriptor_size(file->descriptor));
    return file->ebzip ? std::move(file) : nullptr;
  }
  if (kind != HUFFMAN_KIND && kind != FLAGGED_HUFFMAN_KIND) return file;  // plain

  file->kind = kind;
  std::uint8_t raw[kHeaderSize];
  if (!read_exact(file->descriptor, raw, sizeof raw)) return nullptr;
  auto header = std::make_unique<CompressionHeader>();
  header->index_offset = static_cast<std::int32_t>(get_be(raw + 0, 4));
  header->word1 = static_cast<std::int32_t>(get_be(raw + 4, 4));
  header->table_offset = static_cast<std::int32_t>(get_be(raw + 8, 4));
  header->table_length = static_cast<std::int32_t>(get_be(raw + 12, 4));
  header->word4 = static_cast<std::int32_t>(get_be(raw + 16, 4));
  file->header = std::move(header);

  file->tree = build_decoding_tree(*file, platform::descriptor_size(file->descriptor));
  if (!file->tree) return nullptr;
  return file;
}

int close_book_file(BookFilePtr& file) {
  file.reset();
  return 0;
}

std::int64_t book_file_size(const BookFile& file) {
  return file.ebzip ? file.ebzip->size() : platform::descriptor_size(file.descriptor);
}

long read_book_bytes(BookFile* file, std::uint8_t* destination, std::size_t n) {
  if (file == nullptr || file->descriptor < 0) return -1;
  const long got = file->ebzip ? file->ebzip->read(file->position, destination, n)
                               : platform::read_fd(file->descriptor, destination, n);
  if (got > 0) file->position += got;
  return got;
}

std::uint8_t* PageReader::read_block(std::uint8_t* destination, BookFile* file, std::uint32_t page) {
  ReadCache& cache = *cache_;
  if (file == nullptr || file->descriptor < 0 || destination == nullptr) return nullptr;

  if (file->kind != HUFFMAN_KIND && file->kind != FLAGGED_HUFFMAN_KIND) {
    // As seeking to the page and reading 2048 bytes, the bytes taken from
    // the read-ahead; page 0 reads on where the last read on this file
    // ended: after page n, page n + 1. A short last page fails, its bytes
    // consumed as the read would have consumed them.
    std::int64_t offset = file->position;
    if (page != 0) {
      current_page_ = static_cast<std::int32_t>(page);
      offset = (static_cast<std::int64_t>(page) - 1) * PAGE_SIZE;
    }
    const std::uint8_t* data = nullptr;
    const long got = file->ebzip ? file->ebzip->read(offset, destination, PAGE_SIZE)
                                 : bytes_at(cache, *file, offset, PAGE_SIZE, data);
    if (got < 0) return nullptr;
    file->position = offset + got;
    if (got != PAGE_SIZE) return nullptr;
    if (!file->ebzip) std::memcpy(destination, data, PAGE_SIZE);
    advance(current_page_);
    return destination;
  }

  if (page != 0) current_page_ = static_cast<std::int32_t>(page);
  // current_page 0 here means no page was read yet: there is no page to go on
  // with, and guessing page 1 would hide a malformed caller.
  if (current_page_ <= 0 || !file->header || !file->tree) return nullptr;
  const std::int64_t q = static_cast<std::int64_t>(current_page_) - 1;

  // The page group of 16 pages, then the page's bytes: a flag byte on kind 2
  // (non-zero: 2048 bytes stored raw follow), else a stream of up to 2048
  // bytes that may end early at the end of the file.
  const std::int64_t group_offset = static_cast<std::int64_t>(file->header->index_offset) + kGroupSize * (q / 16);
  const std::uint8_t* group = page_group(cache, *file, group_offset);
  if (group == nullptr) return nullptr;
  const std::int64_t page_offset = static_cast<std::int64_t>(get_be(group, 4)) + get_be(group + 4 + 2 * (q % 16), 2);

  const std::size_t flag_bytes = file->kind == FLAGGED_HUFFMAN_KIND ? 1 : 0;
  const std::uint8_t* data = nullptr;
  const long got = bytes_at(cache, *file, page_offset, flag_bytes + PAGE_SIZE, data);
  if (got < static_cast<long>(flag_bytes)) return nullptr;  // no flag byte (or no seek)
  if (flag_bytes == 1 && data[0] != 0) {                    // stored raw
    if (got != static_cast<long>(PAGE_SIZE) + 1) return nullptr;
    std::memcpy(destination, data + 1, PAGE_SIZE);
    advance(current_page_);
    return destination;
  }

  // The decoder never reads past the bytes actually read. A page whose
  // stream runs out before its end symbol (or before it is full) is damaged:
  // fail rather than hand on a page padded with zeros.
  const long stream = got - static_cast<long>(flag_bytes);
  if (stream <= 0) return nullptr;
  // The next page's offset gives the length of this one's stream, which lets
  // the decoder work on both halves at once; the last page of a group takes
  // the length of the page before. Only the speed depends on it.
  if (q % 16 < 15) {
    const std::int64_t length = static_cast<std::int64_t>(get_be(group, 4)) + get_be(group + 6 + 2 * (q % 16), 2) -
        page_offset - static_cast<std::int64_t>(flag_bytes);
    if (length > 0 && length <= PAGE_SIZE) cache.page_bits = static_cast<std::size_t>(length) * 8;
  }
  if (!decode_page(std::span<const std::uint8_t>(data + flag_bytes, static_cast<std::size_t>(stream)), *file->tree,
                   destination, cache.page_bits)) {
    return nullptr;
  }
  advance(current_page_);
  return destination;
}

}  // namespace tolvex
