// Writes the seed corpora of the fuzz targets, one directory per target,
// from books made by the sample-book generator:
//   tolvex-fuzz-seeds OUTDIR
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "components/compressor.h"
#include "components/run_options.h"
#include "fuzz_books.h"
#include "fuzz_support.h"
#include "pipeline/pipeline.h"

using namespace tolvex;
namespace fs = std::filesystem;

namespace {

int g_written = 0;

void seed(const fs::path& out, const std::string& target, const std::string& name,
          const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(out / target);
  fuzz::write_bytes(out / target / name, bytes);
  ++g_written;
}

std::vector<std::uint8_t> page_bytes(std::span<const testbook::Page> pages, std::size_t limit) {
  std::vector<std::uint8_t> v;
  for (const auto& p : pages) {
    if (v.size() >= limit) break;
    v.insert(v.end(), p.begin(), p.end());
  }
  if (v.size() > limit) v.resize(limit);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tolvex-fuzz-seeds OUTDIR\n");
    return 2;
  }
  const fs::path out = fs::absolute(argv[1]);
  const fs::path books_dir = out / "books";
  fs::remove_all(books_dir);
  set_console_sink([](std::string_view) {});

  std::vector<testbook::BookRecipe> recipes = fuzz::fuzz_book_recipes();
  if (recipes.size() != fuzz::EBZIP_BOOK) fuzz::fail("the ebzip'd book is not the book after the others");
  recipes.push_back(recipes.front());  // kept with ebzip: whole-run seeds only
  recipes.push_back(testbook::sample_book_recipe());
  for (std::size_t b = 0; b < recipes.size(); ++b) {
    const std::string tag = "book" + std::to_string(b);
    testbook::GeneratedBook book = testbook::write_book(books_dir / tag, recipes[b]);
    if (!book.ok()) {
      std::fprintf(stderr, "tolvex-fuzz-seeds: %s\n", book.error.c_str());
      return 1;
    }
    // Whole runs: the book untouched under two flag sets, then one write and
    // one cut in every region.
    const auto whole_run_seeds = [&] {
      seed(out, "whole_run_fuzz", tag + "-plain", {static_cast<std::uint8_t>(b), 0x07});
      seed(out, "whole_run_fuzz", tag + "-raw-scan", {static_cast<std::uint8_t>(b), 0x1F});
      for (int r = 0; r < fuzz::REGION_COUNT; ++r) {
        auto rb = static_cast<std::uint8_t>(r);
        seed(out, "whole_run_fuzz", tag + "-write" + std::to_string(r),
             {static_cast<std::uint8_t>(b), 0x07, rb, 0, 2, 4, 0xFF, 0xFF, 0xFF, 0xFF});
        seed(out, "whole_run_fuzz", tag + "-cut" + std::to_string(r),
             {static_cast<std::uint8_t>(b), 0x07, static_cast<std::uint8_t>(0x80 | r), 0, 24, 0});
      }
    };
    if (b == fuzz::EBZIP_BOOK) {
      whole_run_seeds();
      continue;
    }
    seed(out, "catalog_fuzz", tag, book.catalog_bytes);
    const bool small = b < recipes.size() - 1;  // the sample book is only a catalog seed
    if (!small) continue;

    const testbook::GeneratedSubbook& sub = book.subbooks.front();
    // The text file kept compressed with ebzip, at levels 0 and 2, for the
    // book file reader's .ebz path.
    for (int level : {0, 2}) {
      seed(out, "book_file_fuzz", tag + "-ebz" + std::to_string(level),
           fuzz::ebzip_bytes(fuzz::decoded_bytes(sub.text), level));
    }
    for (const testbook::SourceFile* f : {&sub.text, sub.sound ? &*sub.sound : nullptr}) {
      if (f != nullptr && f->kind != 0) {
        seed(out, "book_file_fuzz", tag + "-" + f->path.filename().string(), fuzz::read_bytes(f->path));
      }
    }
    for (const testbook::Component& c : sub.components) {
      if (c.code == 0xFF) {
        seed(out, "multi_search_fuzz", tag + "-page" + std::to_string(c.start_page),
             page_bytes(std::span<const testbook::Page>(&sub.text.pages[c.start_page - 1], 1), 2048));
      }
      if (c.code == 0x00) {
        std::vector<std::uint8_t> text = {0, 0, 0, 0x10, 0, 0, 0, 0x20};
        std::vector<std::uint8_t> body = page_bytes(testbook::component_pages(sub, c), 3 * 2048);
        text.insert(text.end(), body.begin(), body.end());
        seed(out, "relocate_fuzz", tag + "-body", text);
        std::vector<std::uint8_t> chunk = {0};
        body = page_bytes(testbook::component_pages(sub, c), CHUNK_BYTES);
        chunk.insert(chunk.end(), body.begin(), body.end());
        seed(out, "compressor_fuzz", tag + "-body", chunk);
        chunk[0] = 2;  // the scan search as well
        chunk.resize(1 + 4096);
        seed(out, "compressor_fuzz", tag + "-body-scan", chunk);
      }
    }

    whole_run_seeds();

    // Data files: the package of the book, converted in-process.
    const fs::path work = books_dir / (tag + "-work");
    fs::create_directories(work);
    const fs::path here = fs::current_path();
    fs::current_path(work);
    if (std::unique_ptr<CatalogImage> catalog = load_catalog(book.catalog.string())) {
      RunOptions options;
      options.selection = 7;
      options.threads = 1;
      convert_subbooks(*catalog, std::nullopt, std::nullopt, options);
    }
    fs::current_path(here);
    if (fs::exists(work / "Dic")) {
      for (const auto& e : fs::recursive_directory_iterator(work / "Dic")) {
        if (!e.is_regular_file() || e.file_size() > 65536) continue;
        std::vector<std::uint8_t> bytes = fuzz::read_bytes(e.path());
        if (bytes.size() >= 8 && std::memcmp(bytes.data(), "VORQDATA", 8) == 0) {
          seed(out, "data_file_fuzz", tag + "-" + e.path().filename().string(), bytes);
        }
      }
    }
  }

  const char* icons[] = {
      "",
      "[DEFAULT_16]\n4444444444444444\n44FFFFF44FFFFF44\n; comment\n\n[DICT01_32]\n0123456789ABCDEFabcdef\n",
      "[DICT01_16] own\r\nF\r\n[DEFAULT_32]\r\n77777777777777777777777777777777\r\n[X]\r\n",
      ("[DICT01_16]\n 123456789abcdefXYZ0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"
       "0123456789abcdef0123456789abcdef0123456789abcdef0123456789\n"),
  };
  int n = 0;
  for (const char* text : icons) {
    seed(out, "icon_def_fuzz", "icons" + std::to_string(n++),
         std::vector<std::uint8_t>(text, text + std::strlen(text)));
  }
  fs::remove_all(books_dir);
  std::printf("tolvex-fuzz-seeds: %d seed files in %s\n", g_written, out.string().c_str());
  return 0;
}
