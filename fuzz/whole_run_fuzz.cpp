// Whole conversions of damaged books, in-process: a small generated book
// whose catalog, compression header, page index, tables, index page,
// multi-search page and separate files (or, in the book kept with ebzip, the
// .ebz headers, slice index and slices) are overwritten or cut by the input,
// converted with the flags the input chooses. The run must end normally,
// write nothing outside Dic/ and the log, and leave the book as it was.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "components/run_options.h"
#include "fuzz_books.h"
#include "fuzz_support.h"
#include "pipeline/pipeline.h"

using namespace tolvex;

namespace {

struct Book {
  testbook::GeneratedBook generated;
  std::vector<fuzz::Region> regions;
  std::map<fuzz::fs::path, std::vector<std::uint8_t>> pristine;  // every file of the book
};

std::vector<Book> g_books;
fuzz::fs::path g_work;
std::set<fuzz::fs::path> g_dirty;  // files changed on disk by the last input

void restore_dirty() {
  for (const auto& path : g_dirty) {
    for (const Book& b : g_books) {
      auto it = b.pristine.find(path);
      if (it != b.pristine.end()) fuzz::write_bytes(path, it->second);
    }
  }
  g_dirty.clear();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const fuzz::fs::path dir = fuzz::enter_scratch_dir("wholerun");
  std::vector<testbook::BookRecipe> recipes = fuzz::fuzz_book_recipes();
  if (recipes.size() != fuzz::EBZIP_BOOK) fuzz::fail("the ebzip'd book is not the book after the others");
  recipes.push_back(recipes.front());  // kept with ebzip
  for (std::size_t i = 0; i < recipes.size(); ++i) {
    Book b;
    b.generated = testbook::write_book(dir / ("book" + std::to_string(i)), recipes[i]);
    if (!b.generated.ok()) fuzz::fail("sample book could not be written");
    b.regions = i == fuzz::EBZIP_BOOK ? fuzz::keep_as_ebzip(b.generated) : fuzz::book_regions(b.generated);
    for (const auto& e : fuzz::fs::recursive_directory_iterator(b.generated.root)) {
      if (e.is_regular_file()) b.pristine[e.path()] = fuzz::read_bytes(e.path());
    }
    g_books.push_back(std::move(b));
  }
  g_work = dir / "work";
  fuzz::fs::create_directories(g_work);
  fuzz::fs::current_path(g_work);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  restore_dirty();
  const Book& book = g_books[data[0] % g_books.size()];
  RunOptions options;
  options.selection = data[1] & 7;
  options.NO_HASH = (data[1] & 8) != 0;
  options.DO_RAW = (data[1] & 16) != 0;
  options.threads = 1;

  std::map<fuzz::fs::path, std::vector<std::uint8_t>> changed;
  std::size_t pos = 2;
  while (pos + 4 <= size) {
    const std::uint8_t op = data[pos];
    const fuzz::Region& region = book.regions[(op & 0x7F) % fuzz::REGION_COUNT];
    const std::size_t at = region.offset + (std::size_t{data[pos + 1]} << 8 | data[pos + 2]);
    std::size_t len = data[pos + 3];
    pos += 4;
    auto it = changed.find(region.file);
    if (it == changed.end()) it = changed.emplace(region.file, book.pristine.at(region.file)).first;
    std::vector<std::uint8_t>& bytes = it->second;
    if ((op & 0x80) != 0) {
      if (at < bytes.size()) bytes.resize(at);
      continue;
    }
    if (len > size - pos) len = size - pos;
    for (std::size_t k = 0; k < len && at + k < bytes.size(); ++k) bytes[at + k] = data[pos + k];
    pos += len;
  }
  for (const auto& [path, bytes] : changed) {
    fuzz::write_bytes(path, bytes);
    g_dirty.insert(path);
  }

  std::unique_ptr<CatalogImage> catalog = load_catalog(book.generated.catalog.string());
  if (!catalog) fuzz::fail("the catalog of the book could not be loaded");
  convert_subbooks(*catalog, std::nullopt, std::nullopt, options);

  for (const auto& e : fuzz::fs::directory_iterator(g_work)) {
    const std::string name = e.path().filename().string();
    if (name != "Dic" && name != "tolvex.log") fuzz::fail("a file was written outside Dic/");
  }
  // The book is exactly as it was before the run.
  std::size_t files = 0;
  for (const auto& e : fuzz::fs::recursive_directory_iterator(book.generated.root)) {
    if (!e.is_regular_file()) continue;
    ++files;
    auto it = changed.find(e.path());
    auto original = book.pristine.find(e.path());
    if (original == book.pristine.end()) fuzz::fail("the run added a file to the book");
    const std::vector<std::uint8_t>& expected = it != changed.end() ? it->second : original->second;
    if (fuzz::read_bytes(e.path()) != expected) fuzz::fail("the run changed a file of the book");
  }
  if (files != book.pristine.size()) fuzz::fail("the run added or removed a file of the book");
  fuzz::clean_outputs();
  return 0;
}
