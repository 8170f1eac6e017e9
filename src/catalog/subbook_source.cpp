#include "catalog/subbook_source.h"

#include <optional>

#include "catalog/bytes.h"

namespace tolvex {

SubbookSource name_subbook(const SubbookEntry& entry) {
  SubbookSource s;
  s.entry = entry;
  s.title = jis_to_sjis(entry.title_field(), entry.title_width());
  s.dir_name = copy_trimmed(entry.dir_name_field(), NAME_FIELD_WIDTH);
  upper_ascii(s.dir_name);
  return s;
}

namespace {

// A font named in the record (first byte not NUL), in GAIJI.
void find_font(const CatalogImage& catalog, const SubbookSource& s, const std::uint8_t* field, std::string& name,
               std::string& path) {
  if (field[0] == 0) return;
  name = copy_trimmed(field, NAME_FIELD_WIDTH);
  path = join_book_path(catalog.book_dir, s.dir_name, "GAIJI", name);
}

// A file named in the second table, in DATA; an all-blank name means none.
std::string data_file(const CatalogImage& catalog, const SubbookSource& s, const std::uint8_t* field) {
  const std::string name = copy_trimmed(field, NAME_FIELD_WIDTH);
  return name.empty() ? std::string() : join_book_path(catalog.book_dir, s.dir_name, "DATA", name);
}

}  // namespace

bool find_source_files(const CatalogImage& catalog, int i, SubbookSource& s) {
  if (!s.entry.epwing) {
    s.text_path = join_book_path(catalog.book_dir, s.dir_name, "START", "");
    s.index_page = 1;
    return true;
  }
  s.index_page = s.entry.index_page();
  std::optional<SubbookFileEntry> files;
  if (s.entry.entry_version() >= 2) {
    files = catalog_file_entry(catalog, i);
    if (!files) return false;
  }
  const std::string text_name = files ? copy_trimmed(files->text_file_field(), NAME_FIELD_WIDTH)
                                      : std::string("HONMON");
  s.text_path = join_book_path(catalog.book_dir, s.dir_name, "DATA", text_name);
  find_font(catalog, s, s.entry.full_font_field(), s.full_font, s.full_font_path);
  find_font(catalog, s, s.entry.half_font_field(), s.half_font, s.half_font_path);
  if (files) {
    s.text_kind = compression_kind_of(files->text_compression());
    s.sound_kind = compression_kind_of(files->sound_compression());
    s.graphic_path = data_file(catalog, s, files->graphic_file_field());
    s.sound_path = data_file(catalog, s, files->sound_file_field());
  }
  return true;
}

}  // namespace tolvex
