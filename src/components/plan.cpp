#include "components/plan.h"

#include "bookfile/multi_search.h"
#include "messages/messages.h"

namespace tolvex {

PageRange entry_page_range(const IndexEntryView& entry, BookFile* text_file) {
  PageRange range;
  range.first = entry.start_page();
  if (entry.code() == MULTI_SEARCH_CODE) {
    std::uint32_t start = range.first;
    std::int32_t count = multi_search_page_range(text_file, start);
    range.first = start;
    range.count = count > 0 ? static_cast<std::uint32_t>(count) : 0;
  } else {
    range.count = entry.page_count();
  }
  return range;
}

ComponentPlan plan_components(const PackageDescription& package, std::uint8_t* index_page, BookFile* text_file,
                              BookFile* graphic_file, BookFile* sound_file, bool print_totals) {
  ComponentPlan plan;
  plan.file_total = 4;
  bool graphic_seen = false;
  bool sound_seen = false;
  std::uint32_t graphic_own_start = 0;
  std::uint32_t sound_own_start = 0;
  std::uint32_t chunk_total = 0;  // unsigned: a corrupt page count must not overflow a signed sum

  int count = index_entry_count(index_page);
  for (int i = 0; i < count; ++i) {
    IndexEntryView entry = index_entry(index_page, i);
    PageRange range = entry_page_range(entry, text_file);
    if (entry.code() == GRAPHIC_CODE && graphic_file != nullptr) {
      graphic_seen = true;
      graphic_own_start = range.first;
      plan.graphic_page_count = range.count;
    } else if (entry.code() == SOUND_CODE && sound_file != nullptr) {
      sound_seen = true;
      sound_own_start = range.first;
      plan.sound_page_count = range.count;
    } else if (range.first + range.count > plan.merged_end_page) {
      plan.merged_end_page = range.first + range.count;
    }
    int row = match_component(entry.code(), package.options.selection);
    if (row >= 0) {
      ++plan.selected_count[static_cast<std::size_t>(row)];
      chunk_total += range.count / 16u + (range.count % 16u != 0 ? 1u : 0u);
      ++plan.file_total;
    }
  }
  plan.chunk_total = static_cast<std::int32_t>(chunk_total);
  if (!package.full_font.empty()) ++plan.file_total;
  if (!package.half_font.empty()) ++plan.file_total;

  if (graphic_seen) {
    plan.graphic_shift = static_cast<std::int32_t>(plan.merged_end_page - graphic_own_start);
    plan.graphic_new_start = plan.merged_end_page;
    plan.merged_end_page += plan.graphic_page_count;
  }
  if (sound_seen) {
    plan.sound_shift = static_cast<std::int32_t>(plan.merged_end_page - sound_own_start);
    plan.sound_new_start = plan.merged_end_page;
    plan.merged_end_page += plan.sound_page_count;
  }
  if (print_totals) msg_printf("  Total %d files, %d chunks to go.\n", plan.file_total, plan.chunk_total);
  return plan;
}

}  // namespace tolvex
