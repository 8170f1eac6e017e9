// The planning pass over a subbook's index page: which entries become data
// files, the totals line, and the merged page numbering that places the pages
// of separate graphic and sound files behind the text's pages.
#pragma once

#include <cstdint>
#include <string>

#include "bookfile/book_file.h"
#include "components/component_table.h"
#include "components/package_description.h"

namespace tolvex {

struct PageRange {
  std::uint32_t first = 0;
  std::uint32_t count = 0;
  std::uint32_t last() const { return first + count - 1; }  // unsigned, as stored in headers
};

// First page and page count of an entry; for code 0xFF the multi-search range
// read from the text file (count 0 and the entry's start page when unreadable).
PageRange entry_page_range(const IndexEntryView& entry, BookFile* text_file);

struct ComponentPlan {
  std::int32_t file_total = 0;
  std::int32_t chunk_total = 0;
  std::uint32_t merged_end_page = 0;
  std::uint32_t graphic_new_start = 0;
  std::uint32_t graphic_page_count = 0;
  std::int32_t graphic_shift = 0;
  std::uint32_t sound_new_start = 0;
  std::uint32_t sound_page_count = 0;
  std::int32_t sound_shift = 0;
  // Entries of each kind (by table row) selected in this subbook; read later
  // by the index file and the profile writers.
  SelectedCounts selected_count{};
};

// Plans the subbook and prints "  Total %d files, %d chunks to go.\n"
// (unless `print_totals` is false: a look at a book prints its own).
// A graphic (sound) file given without a 0xD2 (0xD8) entry stays out of the
// merged numbering: shift 0, no pages added.
// The package's selection and font files count; graphic_file and sound_file
// are the separate files of the book (null: none).
ComponentPlan plan_components(const PackageDescription& package, std::uint8_t* index_page, BookFile* text_file,
                              BookFile* graphic_file, BookFile* sound_file, bool print_totals = true);

}  // namespace tolvex
