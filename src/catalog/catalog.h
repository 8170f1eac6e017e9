// The book's catalog file (CATALOG in the EB layout, CATALOGS in the EPWING
// layout) held whole in memory, and read-only views of its records.
//
// Header: subbook_count (2 bytes, big-endian) and a layout code whose byte 3
// chooses the layout: 0 = EB (40-byte entries), anything else = EPWING
// (164-byte entries). EPWING catalogs follow their entries with a second
// table of 164-byte SubbookFileEntry records, one per entry.
//
// The accessors never read past the loaded bytes: an entry or a second-table
// record that does not lie wholly inside the file is reported as absent.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvex {

struct CatalogImage {
  std::string book_dir;             // path up to and including its last '/', '\' or ':'
  std::vector<std::uint8_t> bytes;  // the whole catalog file
};

// Loads the file whole; prints "Working on %s\n" on success, nothing on failure.
std::unique_ptr<CatalogImage> load_catalog(const std::string& path);
// The same without a word (a look at a book writes nothing, not even the log).
std::unique_ptr<CatalogImage> read_catalog(const std::string& path);
// Kept for symmetry with load_catalog; the unique_ptr releases everything.
void free_catalog(std::unique_ptr<CatalogImage>& image);

// The directory part of a catalog path ("D:CATALOGS" -> "D:").
std::string book_dir_of(const std::string& path);

inline constexpr int CATALOG_HEADER_SIZE = 16;
inline constexpr int EB_ENTRY_SIZE = 40;
inline constexpr int EPWING_ENTRY_SIZE = 164;
inline constexpr int FILE_ENTRY_SIZE = 164;

// book_type of an EPWING stream book, which is not converted.
inline constexpr std::uint8_t STREAM_BOOK_TYPE = 0xF0;

// A subbook record: 40 bytes (EB) or 164 bytes (EPWING) inside the image.
struct SubbookEntry {
  const std::uint8_t* bytes = nullptr;
  bool epwing = false;

  std::uint8_t book_type() const { return bytes[0]; }
  std::uint8_t entry_version() const { return bytes[1]; }
  // Title field in JIS X 0208: 30 bytes (EB) or the first 64 of 80 (EPWING).
  const std::uint8_t* title_field() const { return bytes + 2; }
  std::size_t title_width() const { return epwing ? 64 : 30; }
  const std::uint8_t* dir_name_field() const { return bytes + (epwing ? 82 : 32); }
  // EPWING only.
  std::uint16_t index_page() const;
  const std::uint8_t* full_font_field() const { return bytes + 100; }
  const std::uint8_t* half_font_field() const { return bytes + 132; }
};

// The second-table record of an EPWING subbook (entry_version 2 or more).
struct SubbookFileEntry {
  const std::uint8_t* bytes = nullptr;

  const std::uint8_t* text_file_field() const { return bytes + 4; }
  const std::uint8_t* graphic_file_field() const { return bytes + 44; }
  std::uint8_t sound_compression() const { return bytes[53]; }
  std::uint8_t text_compression() const { return bytes[55]; }
  const std::uint8_t* sound_file_field() const { return bytes + 56; }
};

// subbook_count as the header states it (0 for a file shorter than 2 bytes).
int catalog_subbook_count(const CatalogImage& image);
// Layout from byte 3 alone (a file shorter than 4 bytes counts as EB).
bool catalog_is_epwing(const CatalogImage& image);
// How many of the stated entries lie wholly inside the file.
int catalog_readable_entries(const CatalogImage& image);
std::optional<SubbookEntry> catalog_entry(const CatalogImage& image, int i);
// Second-table record i of an EPWING catalog, if it lies wholly in the file.
std::optional<SubbookFileEntry> catalog_file_entry(const CatalogImage& image, int i);

// Books hold at most 50 subbooks.
inline constexpr int MAX_SUBBOOKS = 50;
// Why a file found by its name is no catalog a library run should convert:
// no subbooks or more than a book holds, entries cut short, a subbook without
// a folder name. Empty when it looks like one. (A single-book run converts
// whatever it is given.)
std::string catalog_fault(const CatalogImage& image);

// 0x11 -> 1, 0x12 -> 2, anything else -> 0 (plain).
int compression_kind_of(std::uint8_t code);

}  // namespace tolvex
