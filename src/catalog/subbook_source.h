// Where a subbook's source files are, read from its catalog record (and, for
// an EPWING subbook of entry_version 2 or more, its second-table record).
//
// EB: the text file is <book>/<DIR>/START, plain, with the index page on
// page 1; no fonts, graphics or sound. EPWING: the text file is
// <book>/<DIR>/DATA/HONMON (entry_version below 2) or the second table's text
// name; graphics and sound files lie in DATA, fonts in GAIJI. The graphic
// file is always plain; the text and sound kinds come from the second table.
#pragma once

#include <cstdint>
#include <string>

#include "catalog/catalog.h"

namespace tolvex {

struct SubbookSource {
  SubbookEntry entry;
  std::string title;     // Shift_JIS
  std::string dir_name;  // upper case
  std::uint32_t index_page = 1;
  std::string text_path;
  int text_kind = 0;
  std::string graphic_path, sound_path;  // empty: none
  int sound_kind = 0;
  std::string full_font, half_font;  // names in GAIJI; empty: none
  std::string full_font_path, half_font_path;
};

// Title and upper-cased directory name, the same in both layouts: enough to
// decide whether the subbook is wanted before anything else is looked at.
SubbookSource name_subbook(const SubbookEntry& entry);

// Fills in the source paths, kinds and font names of subbook i. False when an
// EPWING record of entry_version 2 or more has no second-table record in the
// file; the caller reports it.
bool find_source_files(const CatalogImage& catalog, int i, SubbookSource& source);

}  // namespace tolvex
