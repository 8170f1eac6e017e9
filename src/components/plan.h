// The plan of a subbook's package: which index entries become data files,
// what each file is called, where its pages come from, and the merged page
// numbering that places the pages of separate graphic and sound files behind
// the text's pages. Worked out once per subbook and read by every writer
// (data files, index file, profile files) and by the package checker.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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
PageRange entry_page_range(const IndexEntryView& entry, PageReader& reader, BookFile* text_file);

// A subbook's open source files; graphic and sound are null when the book
// keeps them in the text file (or has none).
struct SourceFiles {
  BookFile* text = nullptr;
  BookFile* graphic = nullptr;
  BookFile* sound = nullptr;
};

// One data file of the package, from one selected index entry.
struct PlannedFile {
  std::string name;  // MULTI<n>.DIC numbered from 1 in page order, else the kind's name
  int row = 0;       // its kind in COMPONENT_KINDS
  std::uint8_t code = 0;
  std::uint8_t attribute = 0;
  std::array<std::uint8_t, 3> parameters{};
  BookFile* source = nullptr;    // the text, graphic or sound file
  PageRange range;               // in the source file's own numbering
  std::uint32_t first_page = 0;  // in the merged numbering
  bool relocate = false;         // body text whose graphic and sound references move

  const ComponentKind& kind() const { return COMPONENT_KINDS[static_cast<std::size_t>(row)]; }
  std::uint32_t last_page() const { return first_page + range.count - 1; }  // unsigned, as stored
  // Chunks of up to 16 pages; the last one may be shorter.
  std::uint32_t chunks() const;
};

struct SubbookPlan {
  SourceFiles sources;
  std::vector<PlannedFile> files;  // index page order
  std::uint32_t chunk_total = 0;
  // What the merged numbering adds to a graphic (sound) file's own page numbers.
  std::int32_t graphic_shift = 0;
  std::int32_t sound_shift = 0;
  // Files of each kind (by table row).
  SelectedCounts selected_count{};
};

// Plans the subbook under the selection bits, reading multi-search pages
// through `reader`; prints nothing. A graphic
// (sound) file given without a 0xD2 (0xD8) entry stays out of the merged
// numbering: shift 0, no pages added.
SubbookPlan plan_subbook(const std::uint8_t* index_page, const SourceFiles& sources, int selection, PageReader& reader);

// Files of the whole package: the data files, the font copies, <DIR>.IDX,
// DICPROF.INI, EXINFO.INI and the registry script.
int package_file_total(const SubbookPlan& plan, const PackageDescription& package);

}  // namespace tolvex
