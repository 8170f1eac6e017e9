#include "components/plan.h"

#include <cstring>

#include "bookfile/multi_search.h"
#include "components/compressor.h"

namespace tolvex {

PageRange entry_page_range(const IndexEntryView& entry, PageReader& reader, BookFile* text_file) {
  PageRange range;
  range.first = entry.start_page();
  if (entry.code() == MULTI_SEARCH_CODE) {
    std::uint32_t start = range.first;
    std::int32_t count = multi_search_page_range(reader, text_file, start);
    range.first = start;
    range.count = count > 0 ? static_cast<std::uint32_t>(count) : 0;
  } else {
    range.count = entry.page_count();
  }
  return range;
}

std::uint32_t PlannedFile::chunks() const {
  return range.count / PAGES_PER_CHUNK + (range.count % PAGES_PER_CHUNK != 0 ? 1u : 0u);
}

namespace {

// Where a file kept apart from the text lands in the merged numbering.
struct Separate {
  BookFile* file = nullptr;
  bool seen = false;
  PageRange own;
  std::uint32_t merged_first = 0;
  std::int32_t shift = 0;
};

// Places the separate file behind the pages numbered so far.
void place(Separate& s, std::uint32_t& merged_end) {
  if (!s.seen) return;
  s.merged_first = merged_end;
  s.shift = static_cast<std::int32_t>(merged_end - s.own.first);
  merged_end += s.own.count;
}

}  // namespace

SubbookPlan plan_subbook(const std::uint8_t* index_page, const SourceFiles& sources, int selection,
                         PageReader& reader) {
  SubbookPlan plan;
  plan.sources = sources;
  Separate graphic, sound;
  graphic.file = sources.graphic;
  sound.file = sources.sound;
  std::uint32_t merged_end = 0;
  int multi_number = 0;
  // The page is only read here; the view's setter is never used.
  std::uint8_t* page = const_cast<std::uint8_t*>(index_page);
  const int count = index_entry_count(index_page);
  for (int i = 0; i < count; ++i) {
    const IndexEntryView entry = index_entry(page, i);
    const PageRange range = entry_page_range(entry, reader, sources.text);
    Separate* separate = entry.code() == GRAPHIC_CODE && graphic.file ? &graphic
        : entry.code() == SOUND_CODE && sound.file                    ? &sound
                                                                      : nullptr;
    if (separate != nullptr) {
      separate->seen = true;
      separate->own = range;
    } else if (range.first + range.count > merged_end) {
      merged_end = range.first + range.count;
    }
    const int row = match_component(entry.code(), selection);
    if (row < 0) continue;
    PlannedFile f;
    f.row = row;
    f.code = entry.code();
    if (f.code == MULTI_SEARCH_CODE) ++multi_number;
    f.name = component_file_name(f.kind(), multi_number);
    f.attribute = entry.attribute();
    std::memcpy(f.parameters.data(), entry.parameters(), f.parameters.size());
    f.source = separate != nullptr ? separate->file : sources.text;
    f.range = range;
    f.first_page = range.first;
    f.relocate = f.code == BODY_TEXT_CODE && (sources.graphic != nullptr || sources.sound != nullptr);
    ++plan.selected_count[static_cast<std::size_t>(row)];
    plan.chunk_total += f.chunks();  // unsigned: a corrupt page count must not overflow
    plan.files.push_back(f);
  }
  place(graphic, merged_end);
  place(sound, merged_end);
  plan.graphic_shift = graphic.shift;
  plan.sound_shift = sound.shift;
  for (PlannedFile& f : plan.files) {
    if (f.source == graphic.file && f.source != nullptr) f.first_page = graphic.merged_first;
    if (f.source == sound.file && f.source != nullptr) f.first_page = sound.merged_first;
  }
  return plan;
}

int package_file_total(const SubbookPlan& plan, const PackageDescription& package) {
  return 4 + static_cast<int>(plan.files.size()) + (package.full_font.empty() ? 0 : 1) +
      (package.half_font.empty() ? 0 : 1);
}

}  // namespace tolvex
