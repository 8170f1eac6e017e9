// Generator of sample books in the EB and EPWING layouts, for tests, the
// demo, fuzz seeds and benchmarks. Everything follows from the seed and the
// options: the same BookRecipe always gives the same bytes.
//
// A book is a catalog (CATALOG: 16-byte header, 40-byte entries; CATALOGS:
// 16-byte header, 164-byte entries, then a second table of 164-byte file
// records, padded to 2048 bytes) and per subbook a directory with its text
// file (EB: <DIR>/START; EPWING: <DIR>/DATA/<name>), optional separate graphic
// and sound files in DATA, and font files in <DIR>/GAIJI.
//
// The text file holds, from page 1, the index page, then the components the
// index page lists: copyright (0x02), menu (0x01), a code no converter knows
// (0x0C), the body text (0x00), search indexes (0x30, 0x70, 0x91), optional
// components (0x80, 0x81, 0x03), multi-search pages (0xFF) and the pages their
// entries name, fonts (0xF1, 0xF2), graphics (0xD2) and sound (0xD8) unless
// they have files of their own.
//
// Body text is JIS X 0208 in two-byte units with control escapes, graphic
// references (1F 4D, BCD page at bytes 14-17, 20 bytes) and sound references
// (1F 4A, BCD pages at bytes 6-9 and 12-15, 18 bytes) that point into the
// graphic and sound components. Some of them are pinned across page and
// 16-page chunk boundaries, and a few body pages are pathological (all zeros,
// 0..255 repeated).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "huffman_encoder.h"

namespace tolvex::testbook {

enum class Layout { EB, EPWING };

struct SubbookRecipe {
  std::string dir_name = "SAMPLE";      // at most 8 characters
  std::vector<std::uint8_t> title_jis;  // JIS X 0208 pairs; empty: generated
  std::uint8_t book_type = 0x00;        // EPWING: 0xF0 makes a stream book (catalog entry only)
  std::uint8_t entry_version = 2;       // EPWING: 1 = DATA/HONMON, plain, no second-table record
  int text_kind = 0;                    // 0 plain, 1 or 2 compressed (needs entry_version >= 2)
  bool separate_graphic = false;        // EPWING, entry_version >= 2: graphics in DATA/<graphic_file>, plain
  bool separate_sound = false;          // EPWING, entry_version >= 2: sound in DATA/<sound_file>
  int sound_kind = 0;                   // compression of the separate sound file
  std::string text_file;                // empty: HONMON2 when compressed, else HONMON
  std::string graphic_file = "HONMONG";
  std::string sound_file = "HONMONS";
  bool fonts = true;  // EPWING: GAIJI/<full_font> and GAIJI/<half_font>
  std::string full_font = "GAI16F00";
  std::string half_font = "GAI16H00";
  std::uint32_t body_pages = 60;
  int multi_searches = 3;          // code-0xFF entries (at most 10)
  bool pathological_pages = true;  // body pages of zeros and of 0..255 repeated
  std::uint32_t graphic_pages = 6;
  std::uint32_t sound_pages = 5;
};

struct BookRecipe {
  std::uint32_t seed = 1;
  Layout layout = Layout::EPWING;
  // EPWING catalog header bytes 2-3; 0 chooses 1 when no subbook has a
  // second-table record and 2 otherwise (the EB library reads the second
  // table exactly when this word is not 1).
  std::uint16_t catalog_version = 0;
  std::vector<SubbookRecipe> subbooks{SubbookRecipe{}};
  HuffmanOptions huffman;  // for every compressed file of the book
};

enum class FileRole { Text, Graphic, Sound };

struct SourceFile {
  std::filesystem::path path;
  int kind = 0;                   // 0 plain, 1, 2
  std::uint8_t catalog_code = 0;  // 0x00, 0x11 or 0x12 as written in the catalog
  std::vector<Page> pages;        // the pages read_block must return, page n at [n - 1]
  std::vector<bool> raw_pages;    // kind 2: pages stored raw
};

struct Component {
  std::uint8_t code = 0;
  std::uint32_t start_page = 0;  // as in the index entry; for 0xFF the multi-search page
  std::uint32_t page_count = 0;  // as in the index entry (for 0xFF: also 1)
  std::uint8_t attribute = 0;
  std::array<std::uint8_t, 3> parameters{};
  FileRole file = FileRole::Text;  // which file start_page counts in
  // The pages the component covers: for 0xFF the range multi_search_page_range
  // must find (lowest page, number of pages); otherwise start_page/page_count.
  std::uint32_t range_start = 0;
  std::uint32_t range_count = 0;
};

struct Reference {
  bool graphic = true;              // false: sound
  std::uint32_t text_page = 0;      // page of the text file where the escape starts
  std::uint32_t offset = 0;         // offset of its 0x1F byte in that page (even)
  std::uint32_t pages[2] = {0, 0};  // graphic: pages[0]; sound: start and end page (own numbering)
};

struct GeneratedSubbook {
  std::string dir_name;
  std::vector<std::uint8_t> title_jis;
  std::uint8_t book_type = 0;
  std::uint8_t entry_version = 0;
  bool stream_book = false;  // catalog entry only: no files
  std::uint32_t index_page = 1;
  SourceFile text;
  std::optional<SourceFile> graphic;  // separate files only
  std::optional<SourceFile> sound;
  std::vector<Component> components;  // in index-page order
  std::uint32_t body_start = 0;       // first page of the body text (code 0x00)
  std::string full_font, half_font;   // names in the catalog, empty when none
  std::vector<std::filesystem::path> font_files;
  std::vector<Reference> references;  // every graphic and sound reference of the body, in text order
};

struct GeneratedBook {
  std::filesystem::path root;     // the directory the book was written to
  std::filesystem::path catalog;  // root/CATALOG or root/CATALOGS
  Layout layout = Layout::EPWING;
  std::vector<std::uint8_t> catalog_bytes;
  std::vector<GeneratedSubbook> subbooks;  // in catalog order
  std::string error;                       // non-empty when writing failed
  bool ok() const { return error.empty(); }
};

// Writes the book under dir (created if needed; existing files are replaced).
GeneratedBook write_book(const std::filesystem::path& dir, const BookRecipe& recipe);

// The catalog of these subbooks in the recipe's layout, padded to whole
// pages (the subbooks' text, graphic and sound paths give the file names).
std::vector<std::uint8_t> build_catalog(const BookRecipe& recipe, const std::vector<GeneratedSubbook>& subbooks);

// The file a component's pages are read from, and the pages of its range.
const SourceFile& component_file(const GeneratedSubbook& subbook, const Component& component);
std::span<const Page> component_pages(const GeneratedSubbook& subbook, const Component& component);

// The index page listing these components: entry_count, then an entry each
// (code, start_page, page_count, attribute, parameters).
Page index_page(const std::vector<Component>& components);

// The --sample preset: an EPWING book with a kind-2 text file, separate
// graphic and sound (kind 1) files, fonts, multi-search and a few hundred
// pages; plus a plain EPWING V1 subbook and a stream-book entry.
BookRecipe sample_book_recipe(std::uint32_t seed = 1);

// A book the EB library accepts: one EPWING subbook whose text is compressed
// with the given kind (0, 1 or 2) and whose sound file uses the other kind.
BookRecipe eb_library_book_recipe(int text_kind, std::uint32_t seed = 1);

// Where page p (from 1) of a written source file begins: (p - 1) * 2048 in a
// plain file, the entry of the page index in a compressed one; the file's size
// for the page after the last, and 0 for page 0 or beyond.
std::uint64_t page_offset(const SourceFile& file, std::uint32_t page);

}  // namespace tolvex::testbook
