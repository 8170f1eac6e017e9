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
  std::vector<std::uint8_t> bytes;  // the file as far as its records reach (a catalog: all of it)
};

// Loads the file's header, entries and second table (never more than the
// header's count can reach, so a huge file given as a catalog is not read
// whole); prints "Working on %s\n" on success, nothing on failure.
std::unique_ptr<CatalogImage> load_catalog(const std::string& path);
// The same without a word (a look at a book writes nothing, not even the log).
std::unique_ptr<CatalogImage> read_catalog(const std::string& path);
// Kept for symmetry with load_catalog; the unique_ptr releases everything.
void free_catalog(std::unique_ptr<CatalogImage>& image);

// The directory part of a catalog path ("D:CATALOGS" -> "D:").
std::string book_dir_of(const std::string& path);

// The header: subbook_count (2 bytes) at 0, the layout code (2 bytes) at 2.
inline constexpr int CATALOG_HEADER_SIZE = 16;
inline constexpr int CATALOG_COUNT_AT = 0;
inline constexpr int CATALOG_LAYOUT_BYTE = 3;  // 0: EB, else EPWING
inline constexpr int EB_ENTRY_SIZE = 40;
inline constexpr int EPWING_ENTRY_SIZE = 164;
inline constexpr int FILE_ENTRY_SIZE = 164;

// A subbook record. EB (40 bytes): book_type, entry_version, the title
// (30 bytes of JIS X 0208), the directory name (8 bytes). EPWING (164 bytes):
// the same two bytes, an 80-byte title field of which 64 bytes count, the
// directory name, the index page, the full-width and half-width font names
// (8 bytes each, in a 32-byte slot).
inline constexpr int ENTRY_BOOK_TYPE_AT = 0;
inline constexpr int ENTRY_VERSION_AT = 1;
inline constexpr int ENTRY_TITLE_AT = 2;
inline constexpr int EB_TITLE_WIDTH = 30;
inline constexpr int EPWING_TITLE_FIELD = 80;
inline constexpr int EPWING_TITLE_WIDTH = 64;
inline constexpr int EB_DIR_NAME_AT = 32;
inline constexpr int EPWING_DIR_NAME_AT = 82;
inline constexpr int EPWING_INDEX_PAGE_AT = 94;  // 2 bytes
inline constexpr int EPWING_FULL_FONT_AT = 100;
inline constexpr int EPWING_HALF_FONT_AT = 132;
// Directory, font and file names: 8 bytes, padded with blanks or NULs.
inline constexpr int NAME_FIELD_WIDTH = 8;

// book_type of an EPWING stream book, which is not converted.
inline constexpr std::uint8_t STREAM_BOOK_TYPE = 0xF0;

// A second-table record: the text file's name at 4 and its compression code
// at 55; the graphic file's name at 44 (code at 54), the sound file's at 56
// (code at 53). Bits 0-1 of byte 42 are 2 where the record names a graphic
// file, bits 0-1 of byte 41 are 1 where it names a sound file.
inline constexpr int FILE_TEXT_NAME_AT = 4;
inline constexpr int FILE_SOUND_SLOT_AT = 41;
inline constexpr std::uint8_t FILE_SOUND_SLOT = 0x01;
inline constexpr int FILE_GRAPHIC_SLOT_AT = 42;
inline constexpr std::uint8_t FILE_GRAPHIC_SLOT = 0x02;
inline constexpr int FILE_GRAPHIC_NAME_AT = 44;
inline constexpr int FILE_SOUND_COMPRESSION_AT = 53;
inline constexpr int FILE_GRAPHIC_COMPRESSION_AT = 54;
inline constexpr int FILE_TEXT_COMPRESSION_AT = 55;
inline constexpr int FILE_SOUND_NAME_AT = 56;

// Compression codes of the second table and the kinds they give a BookFile.
inline constexpr std::uint8_t COMPRESSION_CODE_1 = 0x11;
inline constexpr std::uint8_t COMPRESSION_CODE_2 = 0x12;
inline constexpr int PLAIN_KIND = 0;
inline constexpr int HUFFMAN_KIND = 1;          // Huffman-coded pages
inline constexpr int FLAGGED_HUFFMAN_KIND = 2;  // each page flagged raw or Huffman-coded

// A subbook record: 40 bytes (EB) or 164 bytes (EPWING) inside the image.
struct SubbookEntry {
  const std::uint8_t* bytes = nullptr;
  bool epwing = false;

  std::uint8_t book_type() const { return bytes[ENTRY_BOOK_TYPE_AT]; }
  std::uint8_t entry_version() const { return bytes[ENTRY_VERSION_AT]; }
  const std::uint8_t* title_field() const { return bytes + ENTRY_TITLE_AT; }
  std::size_t title_width() const { return epwing ? EPWING_TITLE_WIDTH : EB_TITLE_WIDTH; }
  const std::uint8_t* dir_name_field() const { return bytes + (epwing ? EPWING_DIR_NAME_AT : EB_DIR_NAME_AT); }
  // EPWING only.
  std::uint16_t index_page() const;
  const std::uint8_t* full_font_field() const { return bytes + EPWING_FULL_FONT_AT; }
  const std::uint8_t* half_font_field() const { return bytes + EPWING_HALF_FONT_AT; }
};

// The second-table record of an EPWING subbook (entry_version 2 or more).
struct SubbookFileEntry {
  const std::uint8_t* bytes = nullptr;

  const std::uint8_t* text_file_field() const { return bytes + FILE_TEXT_NAME_AT; }
  const std::uint8_t* graphic_file_field() const { return bytes + FILE_GRAPHIC_NAME_AT; }
  std::uint8_t sound_compression() const { return bytes[FILE_SOUND_COMPRESSION_AT]; }
  std::uint8_t text_compression() const { return bytes[FILE_TEXT_COMPRESSION_AT]; }
  const std::uint8_t* sound_file_field() const { return bytes + FILE_SOUND_NAME_AT; }
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
