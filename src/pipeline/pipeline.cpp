#include "pipeline/pipeline.h"

#include <array>
#include <memory>

#include "bookfile/book_file.h"
#include "catalog/bytes.h"
#include "components/data_writer.h"
#include "components/package_description.h"
#include "messages/messages.h"
#include "package/font_copy.h"
#include "package/index_file.h"
#include "package/profile_files.h"
#include "package/reg_file.h"
#include "pipeline/output_paths.h"
#include "platform/platform.h"

namespace tolvex {

std::uint32_t make_dic_id(const std::string& name) {
  unsigned char c[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (std::size_t i = 0; i < name.size() && i < 8; ++i) c[i] = static_cast<unsigned char>(name[i]);
  std::uint32_t id = 0;
  id |= static_cast<std::uint32_t>(c[0] & 0x0F) << 24;
  id |= static_cast<std::uint32_t>(c[1] & 0x0F) << 20;
  id |= static_cast<std::uint32_t>(c[2] & 0x0F) << 16;
  id |= static_cast<std::uint32_t>(c[3] & 0x0F) << 12;
  id |= static_cast<std::uint32_t>(c[4] & 0x07) << 9;
  id |= static_cast<std::uint32_t>(c[5] & 0x07) << 6;
  id |= static_cast<std::uint32_t>(c[6] & 0x07) << 3;
  id |= static_cast<std::uint32_t>(c[7] & 0x07);
  return id;
}

namespace {

// One subbook: where its source files are, and the package it becomes.
struct Subbook {
  SubbookEntry entry;
  std::string dir_name;  // uppercased
  PackageDescription package;
  std::uint32_t index_page = 1;
  std::string text_path;
  int text_kind = 0;
  std::string full_font_path, half_font_path;
  std::string graphic_path, sound_path;  // empty: none
  int sound_kind = 0;
};

class PipelineRun {
 public:
  PipelineRun(const CatalogImage& catalog, const std::optional<std::string>& subdir,
              const std::optional<std::string>& newdir, const RunOptions& options, LibraryRun* library)
      : catalog_(catalog), subdir_(subdir), newdir_(newdir), options_(options), outcomes_(library, options) {}

  int run() {
    const bool epwing = catalog_is_epwing(catalog_);
    const int stated = catalog_subbook_count(catalog_);
    const int readable = catalog_readable_entries(catalog_);
    if (readable < stated) {
      msg_printf("Catalog is truncated: only %d of %d subbook entries can be read\n", readable, stated);
    }
    for (int i = 0; i < readable; ++i) {
      std::optional<SubbookEntry> entry = catalog_entry(catalog_, i);
      if (!entry) continue;
      const bool converted = epwing ? convert_epwing(i, *entry) : convert_eb(*entry);
      if (converted) ++converted_;
      outcomes_.end(converted);
    }
    if (converted_ == 0) msg_printf("Nothing to do.\n");
    return 0;
  }

 private:
  bool selected(const std::string& dir_name) const { return !subdir_ || *subdir_ == dir_name; }

  // Names, the "Processing" line and the output directories; false when the
  // package could not be placed safely under Dic/.
  bool start(Subbook& s) {
    if (!is_safe_path_component(s.dir_name)) {
      msg_printf("Unusable directory name \"%s\"\n", s.dir_name.c_str());
      return false;
    }
    if (newdir_) {
      if (!is_safe_path_component(*newdir_)) {
        msg_printf("Unusable directory name \"%s\"\n", newdir_->c_str());
        return false;
      }
      if (outcomes_.refuses(s.dir_name, *newdir_)) return false;
      msg_printf("Processing %s -> %s ...\n", s.dir_name.c_str(), newdir_->c_str());
      s.package.out_name = *newdir_;
    } else {
      if (outcomes_.refuses(s.dir_name, s.dir_name)) return false;
      msg_printf("Processing %s ...\n", s.dir_name.c_str());
      s.package.out_name = s.dir_name;
    }
    s.package.dir = package_dir(s.package.out_name);
    s.package.reg_path = registry_script(s.package.out_name);
    s.package.dic_id = make_dic_id(s.package.out_name);
    s.package.catalog_head = {s.entry.book_type(), s.entry.entry_version()};
    s.package.options = options_;
    platform::make_directory(DIC_ROOT);
    platform::make_directory(s.package.dir);
    outcomes_.made(s.package.out_name, s.package.dir);
    return true;
  }

  // Title and upper-cased directory name, the same in both layouts.
  static Subbook named(const SubbookEntry& entry) {
    Subbook s;
    s.entry = entry;
    s.package.title = jis_to_sjis(entry.title_field(), entry.title_width());
    s.dir_name = copy_trimmed(entry.dir_name_field(), 8);
    upper_ascii(s.dir_name);
    return s;
  }

  bool convert_eb(const SubbookEntry& entry) {
    Subbook s = named(entry);
    if (!selected(s.dir_name)) return false;
    outcomes_.begin(s.dir_name);
    s.text_path = join_book_path(catalog_.book_dir, s.dir_name, "START", "");
    s.index_page = 1;
    if (!start(s)) return false;
    return convert(s);
  }

  bool convert_epwing(int i, const SubbookEntry& entry) {
    Subbook s = named(entry);
    if (!selected(s.dir_name)) return false;
    outcomes_.begin(s.dir_name);
    if (entry.book_type() == 0xF0) {
      msg_printf("Skipping %s (stream book)\n", s.dir_name.c_str());
      outcomes_.skipped();
      return false;
    }
    s.index_page = entry.index_page();
    std::optional<SubbookFileEntry> files;
    if (entry.entry_version() >= 2) {
      files = catalog_file_entry(catalog_, i);
      if (!files) {
        msg_printf("Catalog has no file record for %s\n", s.dir_name.c_str());
        return false;
      }
    }
    std::string text_name = files ? copy_trimmed(files->text_file_field(), 8) : std::string("HONMON");
    s.text_path = join_book_path(catalog_.book_dir, s.dir_name, "DATA", text_name);
    if (entry.full_font_field()[0] != 0) {
      s.package.full_font = copy_trimmed(entry.full_font_field(), 8);
      s.full_font_path = join_book_path(catalog_.book_dir, s.dir_name, "GAIJI", s.package.full_font);
    }
    if (entry.half_font_field()[0] != 0) {
      s.package.half_font = copy_trimmed(entry.half_font_field(), 8);
      s.half_font_path = join_book_path(catalog_.book_dir, s.dir_name, "GAIJI", s.package.half_font);
    }
    if (files) {
      s.text_kind = compression_kind_of(files->text_compression());
      s.sound_kind = compression_kind_of(files->sound_compression());
      std::string graphic = copy_trimmed(files->graphic_file_field(), 8);
      std::string sound = copy_trimmed(files->sound_file_field(), 8);
      if (!graphic.empty()) s.graphic_path = join_book_path(catalog_.book_dir, s.dir_name, "DATA", graphic);
      if (!sound.empty()) s.sound_path = join_book_path(catalog_.book_dir, s.dir_name, "DATA", sound);
    }
    if (!start(s)) return false;
    return convert(s);
  }

  bool convert(Subbook& s) {
    BookFilePtr text = open_book_file(s.text_path, s.text_kind);
    if (!text) {
      msg_printf("Can't open \"%s\"\n", s.text_path.c_str());
      return false;
    }
    std::array<std::uint8_t, PAGE_SIZE> index_page{};
    if (read_block(index_page.data(), text.get(), s.index_page) == nullptr) {
      msg_printf("Can't read information block\n");
      return false;
    }
    BookFilePtr graphic, sound;
    if (!s.graphic_path.empty()) {
      graphic = open_book_file(s.graphic_path, 0);
      if (!graphic) {
        msg_printf("Can't open \"%s\"\n", s.graphic_path.c_str());
        return false;
      }
    }
    if (!s.sound_path.empty()) {
      sound = open_book_file(s.sound_path, s.sound_kind);
      if (!sound) {
        msg_printf("Can't open \"%s\"\n", s.sound_path.c_str());
        return false;
      }
    }

    PackageDescription& package = s.package;
    ComponentPlan plan;
    outcomes_.check(
        write_data_components(package, index_page.data(), text.get(), graphic.get(), sound.get(), buffers(), plan));
    package.selected_count = plan.selected_count;
    close_book_file(graphic);
    close_book_file(sound);
    if (!s.full_font_path.empty() && !package.full_font.empty())
      outcomes_.check(copy_font_file(package, s.full_font_path, package.full_font));
    if (!s.half_font_path.empty() && !package.half_font.empty())
      outcomes_.check(copy_font_file(package, s.half_font_path, package.half_font));
    outcomes_.check(write_index_file(package, index_page.data(), text.get()));
    close_book_file(text);
    outcomes_.check(write_dicprof_ini(package));
    outcomes_.check(write_exinfo_ini(package));
    outcomes_.check(write_reg_file(package));
    return true;
  }

  // The large work buffers are made once, for the first subbook that needs them.
  DataWriterBuffers& buffers() {
    if (!buffers_) buffers_ = std::make_unique<DataWriterBuffers>();
    return *buffers_;
  }

  const CatalogImage& catalog_;
  const std::optional<std::string>& subdir_;
  const std::optional<std::string>& newdir_;
  const RunOptions& options_;
  std::unique_ptr<DataWriterBuffers> buffers_;
  int converted_ = 0;
  OutcomeRecorder outcomes_;
};

}  // namespace

int convert_subbooks(const CatalogImage& catalog, const std::optional<std::string>& subdir,
                     const std::optional<std::string>& newdir, const RunOptions& options, LibraryRun* library) {
  return PipelineRun(catalog, subdir, newdir, options, library).run();
}

}  // namespace tolvex
