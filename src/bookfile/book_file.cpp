#include "bookfile/book_file.h"

#include <vector>

#include "platform/platform.h"
#include "source/bytes.h"

namespace tolvex {

namespace {

// Shared by every BookFile: callers continue with page 0 only on the file
// they read last, so one counter serves them all.
std::int32_t g_current_page = 0;

// current_page + 1 without signed overflow (page numbers above INT32_MAX
// wrap as they would in the 32-bit counter, and such pages never exist).
void advance_current_page() {
  g_current_page = static_cast<std::int32_t>(static_cast<std::uint32_t>(g_current_page) + 1u);
}

constexpr std::int64_t kHeaderSize = 20;
constexpr std::int64_t kGroupSize = 36;  // base offset + sixteen 16-bit page offsets

bool read_exact(int fd, void* buffer, std::size_t n) {
  return platform::read_fd(fd, buffer, n) == static_cast<long>(n);
}

}  // namespace

BookFile::~BookFile() {
  if (descriptor >= 0) platform::close_fd(descriptor);
}

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

BookFilePtr open_book_file(const std::string& path, int kind) {
  auto file = std::make_unique<BookFile>();
  file->name = base_name_of(path);
  // Disc copies may spell the names in lower case or with ";1"; messages
  // keep the path as the catalog built it.
  const std::string actual = platform::resolve_path_case(path);
  file->descriptor = platform::open_read(actual);
  if (file->descriptor < 0) return nullptr;
  if (kind != 1 && kind != 2) return file;  // plain

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

  file->tree = build_decoding_tree(*file, platform::regular_file_size(actual));
  if (!file->tree) return nullptr;
  return file;
}

int close_book_file(BookFilePtr& file) {
  file.reset();
  return 0;
}

std::int32_t current_page() { return g_current_page; }
void set_current_page(std::int32_t page) { g_current_page = page; }

std::uint8_t* read_block(std::uint8_t* destination, BookFile* file, std::uint32_t page) {
  if (file == nullptr || file->descriptor < 0 || destination == nullptr) return nullptr;
  const int fd = file->descriptor;

  if (file->kind != 1 && file->kind != 2) {
    if (page != 0) {
      g_current_page = static_cast<std::int32_t>(page);
      const std::int64_t offset = (static_cast<std::int64_t>(page) - 1) * PAGE_SIZE;
      if (platform::seek_set(fd, offset) != offset) return nullptr;
    }
    // Page 0 reads on at the file position: after page n of this file, page n + 1.
    if (!read_exact(fd, destination, PAGE_SIZE)) return nullptr;  // a short last page fails too
    advance_current_page();
    return destination;
  }

  if (page != 0) g_current_page = static_cast<std::int32_t>(page);
  // current_page 0 here means no page was read yet: there is no page to go on
  // with, and guessing page 1 would hide a malformed caller.
  if (g_current_page <= 0 || !file->header || !file->tree) return nullptr;
  const std::int64_t q = static_cast<std::int64_t>(g_current_page) - 1;

  // The page index is read anew for every page.
  std::uint8_t group[kGroupSize];
  const std::int64_t group_offset = static_cast<std::int64_t>(file->header->index_offset) + kGroupSize * (q / 16);
  if (group_offset < 0 || platform::seek_set(fd, group_offset) != group_offset) return nullptr;
  if (!read_exact(fd, group, sizeof group)) return nullptr;
  const std::int64_t page_offset =
      static_cast<std::int64_t>(get_be(group, 4)) + get_be(group + 4 + 2 * (q % 16), 2);
  if (platform::seek_set(fd, page_offset) != page_offset) return nullptr;

  if (file->kind == 2) {
    std::uint8_t flag = 0;
    if (!read_exact(fd, &flag, 1)) return nullptr;
    if (flag != 0) {  // stored raw
      if (!read_exact(fd, destination, PAGE_SIZE)) return nullptr;
      advance_current_page();
      return destination;
    }
  }

  // The stream may end early at the end of the file; the decoder never reads
  // past the bytes actually read. A page whose stream runs out before its
  // end symbol (or before it is full) is damaged: fail rather than hand on
  // a page padded with zeros.
  std::uint8_t stream[PAGE_SIZE];
  const long got = platform::read_fd(fd, stream, sizeof stream);
  if (got <= 0) return nullptr;
  if (!decode_page(std::span<const std::uint8_t>(stream, static_cast<std::size_t>(got)), *file->tree,
                   destination)) {
    return nullptr;
  }
  advance_current_page();
  return destination;
}

}  // namespace tolvex
