// The catalog accessors and the pipeline's walk over the entries, on any
// catalog bytes. The book directory exists but holds nothing, so every
// subbook that gets as far as opening its text file is reported and passed
// over; nothing may be read outside the catalog image or written outside Dic/.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "catalog/bytes.h"
#include "catalog/catalog.h"
#include "components/run_options.h"
#include "fuzz_support.h"
#include "pipeline/pipeline.h"

using namespace tolvex;

TOLVEX_FUZZ_TARGET("catalog", "") {
  static const bool entered = [] {
    fuzz::fs::create_directories("work/book");
    fuzz::fs::current_path("work");
    return true;
  }();
  (void)entered;
  CatalogImage image;
  image.book_dir = "book/";
  image.bytes.assign(input.begin(), input.end());

  const int stated = catalog_subbook_count(image);
  const int readable = catalog_readable_entries(image);
  if (readable < 0 || readable > stated) fuzz::fail("readable entries outside 0..subbook_count");
  const bool epwing = catalog_is_epwing(image);
  unsigned sum = 0;  // every field is read, so ASan sees every access
  for (int i = 0; i < stated + 2; ++i) {
    std::optional<SubbookEntry> entry = catalog_entry(image, i);
    if (i < readable && !entry) fuzz::fail("a readable entry is absent");
    if (!entry) continue;
    sum += entry->book_type() + entry->entry_version();
    sum += jis_to_sjis(entry->title_field(), entry->title_width()).size();
    sum += copy_trimmed(entry->dir_name_field(), 8).size();
    if (epwing) {
      sum += entry->index_page();
      sum += copy_trimmed(entry->full_font_field(), 8).size() + copy_trimmed(entry->half_font_field(), 8).size();
      if (std::optional<SubbookFileEntry> files = catalog_file_entry(image, i)) {
        sum += copy_trimmed(files->text_file_field(), 8).size() + copy_trimmed(files->graphic_file_field(), 8).size();
        sum += copy_trimmed(files->sound_file_field(), 8).size();
        sum += files->sound_compression() + files->text_compression();
      }
    }
  }
  (void)sum;

  // The first byte past the catalog header chooses the run flags, so every
  // selection walks the same entries.
  RunOptions options;
  options.selection = input.size() > 4 ? (input[4] & 7) : 0;
  options.threads = 1;
  std::optional<std::string> subdir;
  if (input.size() > 5 && (input[5] & 0x80) != 0) subdir = "SAMPLE";
  convert_subbooks(image, subdir, std::nullopt, options);
  fuzz::expect_only_outputs({"book"});
}
