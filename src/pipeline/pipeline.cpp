#include "pipeline/pipeline.h"

#include <array>
#include <memory>
#include <new>

#include "bookfile/book_file.h"
#include "catalog/bytes.h"
#include "catalog/subbook_source.h"
#include "components/data_writer.h"
#include "components/package_description.h"
#include "components/plan.h"
#include "messages/messages.h"
#include "package/font_copy.h"
#include "package/index_file.h"
#include "package/profile_files.h"
#include "package/reg_file.h"
#include "pipeline/output_paths.h"
#include "platform/output_file.h"
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
  SubbookSource source;
  PackageDescription package;
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
      const bool converted = epwing ? convert_epwing(i, *entry) : convert_eb(i, *entry);
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
    if (!is_safe_path_component(s.source.dir_name)) {
      msg_printf("Unusable directory name \"%s\"\n", s.source.dir_name.c_str());
      return false;
    }
    if (newdir_) {
      if (!is_safe_path_component(*newdir_)) {
        msg_printf("Unusable directory name \"%s\"\n", newdir_->c_str());
        return false;
      }
      if (outcomes_.refuses(s.source.dir_name, *newdir_)) return false;
      msg_printf("Processing %s -> %s ...\n", s.source.dir_name.c_str(), newdir_->c_str());
      s.package.out_name = *newdir_;
    } else {
      if (outcomes_.refuses(s.source.dir_name, s.source.dir_name)) return false;
      msg_printf("Processing %s ...\n", s.source.dir_name.c_str());
      s.package.out_name = s.source.dir_name;
    }
    s.package.dir = package_dir(s.package.out_name);
    s.package.reg_path = registry_script(s.package.out_name);
    s.package.dic_id = make_dic_id(s.package.out_name);
    s.package.title = s.source.title;
    s.package.full_font = s.source.full_font;
    s.package.half_font = s.source.half_font;
    s.package.catalog_head = {s.source.entry.book_type(), s.source.entry.entry_version()};
    s.package.options = options_;
    platform::make_directory(DIC_ROOT);
    platform::make_directory(s.package.dir);
    // What runs that were killed left of their temporary files (never a live run's).
    platform::remove_stale_temporaries(DIC_ROOT);
    platform::remove_stale_temporaries(s.package.dir);
    outcomes_.made(s.package.out_name, s.package.dir);
    return true;
  }

  bool convert_eb(int i, const SubbookEntry& entry) {
    Subbook s{name_subbook(entry), {}};
    if (!selected(s.source.dir_name)) return false;
    outcomes_.begin(s.source.dir_name);
    find_source_files(catalog_, i, s.source);
    if (!start(s)) return false;
    return convert_guarded(s);
  }

  bool convert_epwing(int i, const SubbookEntry& entry) {
    Subbook s{name_subbook(entry), {}};
    const std::string& dir_name = s.source.dir_name;
    if (!selected(dir_name)) return false;
    outcomes_.begin(dir_name);
    if (entry.book_type() == STREAM_BOOK_TYPE) {
      msg_printf("Skipping %s (stream book)\n", dir_name.c_str());
      outcomes_.skipped();
      return false;
    }
    if (!find_source_files(catalog_, i, s.source)) {
      msg_printf("Catalog has no file record for %s\n", dir_name.c_str());
      return false;
    }
    if (!start(s)) return false;
    return convert_guarded(s);
  }

  // Short of memory, the subbook ends with a message (its files written so
  // far complete, the one in progress removed) and the run goes on.
  bool convert_guarded(Subbook& s) {
    try {
      return convert(s);
    } catch (const std::bad_alloc&) {
      msg_printf("Out of memory while converting %s\n", s.source.dir_name.c_str());
      return true;  // started, like a subbook whose writer failed
    }
  }

  bool convert(Subbook& s) {
    BookFilePtr text = open_book_file(s.source.text_path, s.source.text_kind);
    if (!text) {
      msg_printf("Can't open \"%s\"\n", s.source.text_path.c_str());
      return false;
    }
    // The reading position of this subbook's files.
    PageReader reader;
    std::array<std::uint8_t, PAGE_SIZE> index_page{};
    if (reader.read_block(index_page.data(), text.get(), s.source.index_page) == nullptr) {
      msg_printf("Can't read information block\n");
      return false;
    }
    BookFilePtr graphic, sound;
    if (!s.source.graphic_path.empty()) {
      graphic = open_book_file(s.source.graphic_path, 0);
      if (!graphic) {
        msg_printf("Can't open \"%s\"\n", s.source.graphic_path.c_str());
        return false;
      }
    }
    if (!s.source.sound_path.empty()) {
      sound = open_book_file(s.source.sound_path, s.source.sound_kind);
      if (!sound) {
        msg_printf("Can't open \"%s\"\n", s.source.sound_path.c_str());
        return false;
      }
    }

    const PackageDescription& package = s.package;
    const SubbookPlan plan =
        plan_subbook(index_page.data(), {text.get(), graphic.get(), sound.get()}, package.options.selection, reader);
    msg_printf("  Total %d files, %d chunks to go.\n", package_file_total(plan, package),
               static_cast<int>(plan.chunk_total));
    outcomes_.check(write_data_components(package, plan, reader, buffers()));
    // The plan's source pointers are not used past this point.
    close_book_file(graphic);
    close_book_file(sound);
    const SubbookSource& source = s.source;
    if (!source.full_font_path.empty() && !package.full_font.empty())
      outcomes_.check(copy_font_file(package, source.full_font_path, package.full_font));
    if (!source.half_font_path.empty() && !package.half_font.empty())
      outcomes_.check(copy_font_file(package, source.half_font_path, package.half_font));
    outcomes_.check(write_index_file(package, plan));
    close_book_file(text);
    outcomes_.check(write_dicprof_ini(package, plan));
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
