#include "catalog/catalog.h"

#include <algorithm>

#include "catalog/bytes.h"
#include "messages/messages.h"
#include "platform/platform.h"

namespace tolvex {

std::string book_dir_of(const std::string& path) {
  std::size_t cut = path.find_last_of("/\\:");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

namespace {

// The bytes that the records of a catalog with this header can reach: the
// header, the entries and (EPWING) the second table. A catalog is a few KiB;
// a file given in its place is read no further than a catalog could reach.
std::size_t catalog_reach(const std::uint8_t* header) {
  const std::size_t count = get_be(header + CATALOG_COUNT_AT, 2);
  if (header[CATALOG_LAYOUT_BYTE] == 0) return CATALOG_HEADER_SIZE + count * EB_ENTRY_SIZE;
  return CATALOG_HEADER_SIZE + count * (EPWING_ENTRY_SIZE + FILE_ENTRY_SIZE);
}

}  // namespace

std::unique_ptr<CatalogImage> read_catalog(const std::string& path) {
  std::int64_t size = platform::regular_file_size(path);
  if (size < 0) return nullptr;
  int fd = platform::open_read(path);
  if (fd < 0) return nullptr;
  auto image = std::make_unique<CatalogImage>();
  image->book_dir = book_dir_of(path);
  std::uint8_t header[CATALOG_HEADER_SIZE] = {};
  const std::size_t head = size < CATALOG_HEADER_SIZE ? static_cast<std::size_t>(size) : CATALOG_HEADER_SIZE;
  long got = head > 0 ? platform::read_fd(fd, header, head) : 0;
  const std::size_t reach = catalog_reach(header);
  const std::size_t want = static_cast<std::uint64_t>(size) < reach ? static_cast<std::size_t>(size) : reach;
  if (got == static_cast<long>(head) && want > head) {
    image->bytes.resize(want);
    long rest = platform::read_fd(fd, image->bytes.data() + head, want - head);
    got = rest < 0 ? -1 : got + rest;
  }
  platform::close_fd(fd);
  if (got != static_cast<long>(want)) return nullptr;
  image->bytes.resize(want);
  std::copy(header, header + head, image->bytes.begin());
  return image;
}

std::unique_ptr<CatalogImage> load_catalog(const std::string& path) {
  std::unique_ptr<CatalogImage> image = read_catalog(path);
  if (image) msg_printf("Working on %s\n", path.c_str());
  return image;
}

void free_catalog(std::unique_ptr<CatalogImage>& image) { image.reset(); }

std::uint16_t SubbookEntry::index_page() const {
  return static_cast<std::uint16_t>(get_be(bytes + EPWING_INDEX_PAGE_AT, 2));
}

int catalog_subbook_count(const CatalogImage& image) {
  if (image.bytes.size() < 2) return 0;
  return static_cast<int>(get_be(image.bytes.data() + CATALOG_COUNT_AT, 2));
}

bool catalog_is_epwing(const CatalogImage& image) {
  return image.bytes.size() > CATALOG_LAYOUT_BYTE && image.bytes[CATALOG_LAYOUT_BYTE] != 0;
}

namespace {
std::size_t entry_size(const CatalogImage& image) {
  return catalog_is_epwing(image) ? EPWING_ENTRY_SIZE : EB_ENTRY_SIZE;
}
}  // namespace

int catalog_readable_entries(const CatalogImage& image) {
  std::size_t size = image.bytes.size();
  if (size < CATALOG_HEADER_SIZE) return 0;
  std::size_t fit = (size - CATALOG_HEADER_SIZE) / entry_size(image);
  int stated = catalog_subbook_count(image);
  return fit < static_cast<std::size_t>(stated) ? static_cast<int>(fit) : stated;
}

std::optional<SubbookEntry> catalog_entry(const CatalogImage& image, int i) {
  if (i < 0 || i >= catalog_readable_entries(image)) return std::nullopt;
  SubbookEntry entry;
  entry.epwing = catalog_is_epwing(image);
  entry.bytes = image.bytes.data() + CATALOG_HEADER_SIZE + static_cast<std::size_t>(i) * entry_size(image);
  return entry;
}

std::optional<SubbookFileEntry> catalog_file_entry(const CatalogImage& image, int i) {
  int count = catalog_subbook_count(image);
  if (!catalog_is_epwing(image) || i < 0 || i >= count) return std::nullopt;
  std::size_t offset = CATALOG_HEADER_SIZE + static_cast<std::size_t>(count) * EPWING_ENTRY_SIZE +
      static_cast<std::size_t>(i) * FILE_ENTRY_SIZE;
  if (offset + FILE_ENTRY_SIZE > image.bytes.size()) return std::nullopt;
  return SubbookFileEntry{image.bytes.data() + offset};
}

std::string catalog_fault(const CatalogImage& image) {
  const int stated = catalog_subbook_count(image);
  if (image.bytes.size() < CATALOG_HEADER_SIZE || stated == 0) return "no subbooks";
  if (stated > MAX_SUBBOOKS) return std::to_string(stated) + " subbooks, more than a book holds";
  if (catalog_readable_entries(image) < stated) return "cut short";
  for (int i = 0; i < stated; ++i) {
    const std::string name = copy_trimmed(catalog_entry(image, i)->dir_name_field(), 8);
    const bool printable = std::all_of(name.begin(), name.end(), [](char c) { return c > 0x20 && c < 0x7F; });
    if (name.empty() || !printable) return "subbook " + std::to_string(i + 1) + " has no folder name";
  }
  return std::string();
}

int compression_kind_of(std::uint8_t code) {
  if (code == COMPRESSION_CODE_1) return HUFFMAN_KIND;
  if (code == COMPRESSION_CODE_2) return FLAGGED_HUFFMAN_KIND;
  return PLAIN_KIND;
}

}  // namespace tolvex
