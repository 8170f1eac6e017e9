#include "pipeline/book_listing.h"

#include <array>

#include "bookfile/book_file.h"
#include "catalog/bytes.h"
#include "catalog/subbook_source.h"
#include "components/package_description.h"
#include "components/plan.h"
#include "messages/messages.h"
#include "pipeline/output_paths.h"
#include "platform/console_text.h"
#include "platform/platform.h"

namespace tolvex {

namespace {

// How a source file is kept: ebzip'd, plain, or in one of the two compressed kinds.
std::string stored_as(const BookFile& file) {
  if (file.ebzip) return "ebzip'd";
  return file.kind == 0 ? "plain" : "compressed, kind " + std::to_string(file.kind);
}

// The title of the package that Dic/<DIR>/EXINFO.INI describes ("SRCINFO=").
std::optional<std::string> package_title(const std::string& dir) {
  BookFilePtr file = open_book_file(dir + "/EXINFO.INI", 0);
  if (!file) return std::nullopt;
  std::array<std::uint8_t, 1024> bytes{};
  const long n = read_book_bytes(file.get(), bytes.data(), bytes.size());
  const std::string text(reinterpret_cast<const char*>(bytes.data()), n > 0 ? static_cast<std::size_t>(n) : 0);
  const std::size_t at = text.find("SRCINFO=");
  if (at == std::string::npos) return std::nullopt;
  const std::size_t start = at + 8;
  return text.substr(start, text.find_first_of("\r\n", start) - start);
}

void list_package(const std::string& out_name) {
  const std::string dir = package_dir(out_name);
  if (!platform::is_directory(dir)) {
    console_printf("  Package: %s (new)\n", dir.c_str());
    return;
  }
  const std::optional<std::string> title = package_title(dir);
  if (title) {
    console_printf("  Package: %s exists here, holding \"%s\"\n", dir.c_str(),
                   platform::console_text_from_sjis(*title).c_str());
  } else {
    console_printf("  Package: %s exists here, without EXINFO.INI\n", dir.c_str());
  }
}

// The data files the selection writes, in the order the writer writes them.
void list_components(const PackageDescription& package, const SubbookPlan& plan) {
  console_printf("  Components: %d files, %d chunks\n", package_file_total(plan, package),
                 static_cast<int>(plan.chunk_total));
  for (const PlannedFile& file : plan.files) {
    console_printf("    %-12s %u page%s\n", file.name.c_str(), file.range.count, file.range.count == 1 ? "" : "s");
  }
}

class Listing {
 public:
  Listing(const CatalogImage& catalog, const std::optional<std::string>& newdir, const RunOptions& options)
      : catalog_(catalog), newdir_(newdir), options_(options) {}

  // Reads what the conversion reads, in its order, and stops where it would.
  void list(const SubbookSource& s) {
    BookFilePtr text = open_book_file(s.text_path, s.text_kind);
    if (!text) return cant_open(s.text_path);
    console_printf("  Text: %s, %s, %s\n", in_book(s.text_path).c_str(), layout(s), stored_as(*text).c_str());
    PageReader reader;
    std::array<std::uint8_t, PAGE_SIZE> index_page{};
    if (reader.read_block(index_page.data(), text.get(), s.index_page) == nullptr) {
      console_printf("Can't read information block\n");
      return;
    }
    BookFilePtr graphic = s.graphic_path.empty() ? nullptr : open_book_file(s.graphic_path, 0);
    if (!s.graphic_path.empty() && !graphic) return cant_open(s.graphic_path);
    BookFilePtr sound = s.sound_path.empty() ? nullptr : open_book_file(s.sound_path, s.sound_kind);
    if (!s.sound_path.empty() && !sound) return cant_open(s.sound_path);
    if (graphic) console_printf("  Graphics file: %s, %s\n", in_book(s.graphic_path).c_str(), "plain");
    if (sound) console_printf("  Sound file: %s, %s\n", in_book(s.sound_path).c_str(), stored_as(*sound).c_str());
    console_printf("  Fonts: %s\n", fonts(s).c_str());
    PackageDescription package;
    package.options = options_;
    package.full_font = s.full_font;
    package.half_font = s.half_font;
    list_components(
        package, plan_subbook(index_page.data(), {text.get(), graphic.get(), sound.get()}, options_.selection, reader));
    list_package(newdir_ ? *newdir_ : s.dir_name);
  }

 private:
  static void cant_open(const std::string& path) { console_printf("Can't open \"%s\"\n", path.c_str()); }

  const char* layout(const SubbookSource& s) const {
    if (!catalog_is_epwing(catalog_)) return "EB";
    return s.entry.entry_version() >= 2 ? "EPWING" : "EPWING V1";
  }
  // A path below the book's folder, as the book names it.
  std::string in_book(const std::string& path) const { return path.substr(catalog_.book_dir.size()); }

  static std::string fonts(const SubbookSource& s) {
    if (s.full_font.empty() && s.half_font.empty()) return "none";
    std::string names;
    for (const std::string* name : {&s.full_font, &s.half_font}) {
      if (name->empty()) continue;
      names += (names.empty() ? "GAIJI/" : ", GAIJI/") + *name;
    }
    return names;
  }

  const CatalogImage& catalog_;
  const std::optional<std::string>& newdir_;
  const RunOptions& options_;
};

}  // namespace

void list_subbooks(const CatalogImage& catalog, const std::optional<std::string>& subdir,
                   const std::optional<std::string>& newdir, const RunOptions& options) {
  Listing listing(catalog, newdir, options);
  int listed = 0;
  const int readable = catalog_readable_entries(catalog);
  if (readable < catalog_subbook_count(catalog)) {
    console_printf("Catalog is truncated: only %d of %d subbook entries can be read\n", readable,
                   catalog_subbook_count(catalog));
  }
  for (int i = 0; i < readable; ++i) {
    const std::optional<SubbookEntry> entry = catalog_entry(catalog, i);
    if (!entry) continue;
    SubbookSource s = name_subbook(*entry);
    if (subdir && *subdir != s.dir_name) continue;
    ++listed;
    console_printf("Subbook %d: %s\n", i + 1, s.dir_name.c_str());
    console_printf("  Title: %s\n", platform::console_text_from_sjis(s.title).c_str());
    if (catalog_is_epwing(catalog) && entry->book_type() == STREAM_BOOK_TYPE) {
      console_printf("  Stream book: not converted\n");
    } else if (!find_source_files(catalog, i, s)) {
      console_printf("Catalog has no file record for %s\n", s.dir_name.c_str());
    } else if (!is_safe_path_component(s.dir_name)) {
      console_printf("Unusable directory name \"%s\"\n", s.dir_name.c_str());
    } else if (newdir && !is_safe_path_component(*newdir)) {
      console_printf("Unusable directory name \"%s\"\n", newdir->c_str());
    } else {
      listing.list(s);
    }
  }
  if (listed == 0) console_printf("Nothing to do.\n");
}

}  // namespace tolvex
