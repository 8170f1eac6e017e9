// Whole conversions of damaged books, in-process: a small generated book
// whose catalog, compression header, page index, tables, index page,
// multi-search page, body text and separate files (or, in the book kept with
// ebzip, the .ebz headers, slice index and slices) are overwritten or cut by
// the input, with an icon.def the input may write, converted with the flags
// it chooses. This reaches every reader of the book: catalog, book files and
// their decoders, multi-search ranges, relocation, icon.def. The run must end
// normally, write nothing outside Dic/ and the log, and leave the book as it
// was.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "components/run_options.h"
#include "fuzz_books.h"
#include "fuzz_support.h"
#include "pipeline/pipeline.h"

using namespace tolvex;

namespace {

using Files = std::map<std::string, std::vector<std::uint8_t>>;  // by path relative to the book

struct Book {
  testbook::GeneratedBook generated;
  std::vector<fuzz::Region> regions;
  Files pristine;
};

// The books, written once into the scratch directory, which is then left for
// work/ where the runs write.
std::vector<Book> make_books() {
  std::vector<testbook::BookRecipe> recipes = fuzz::fuzz_book_recipes();
  if (recipes.size() != fuzz::EBZIP_BOOK) fuzz::fail("the ebzip'd book is not the book after the others");
  recipes.push_back(recipes.front());  // kept with ebzip
  std::vector<Book> books(recipes.size());
  for (std::size_t i = 0; i < recipes.size(); ++i) {
    Book& b = books[i];
    b.generated = testbook::write_book(fuzz::fs::absolute("book" + std::to_string(i)), recipes[i]);
    if (!b.generated.ok()) fuzz::fail("sample book could not be written");
    b.regions = i == fuzz::EBZIP_BOOK ? fuzz::keep_as_ebzip(b.generated) : fuzz::book_regions(b.generated);
    b.pristine = testing_support::read_tree(b.generated.root);
  }
  fuzz::fs::create_directories("work");
  fuzz::fs::current_path("work");
  return books;
}

}  // namespace

TOLVEX_FUZZ_TARGET("wholerun") {
  static const std::vector<Book> books = make_books();
  static std::vector<std::pair<fuzz::fs::path, const std::vector<std::uint8_t>*>> dirty;  // to restore
  for (const auto& [path, bytes] : dirty) fuzz::write_bytes(path, *bytes);
  dirty.clear();
  const std::uint8_t* data = input.data();
  const std::size_t size = input.size();
  if (size < 2) return;
  const Book& book = books[data[0] % books.size()];
  RunOptions options;
  options.selection = data[1] & 7;
  options.NO_HASH = (data[1] & 8) != 0;
  options.DO_RAW = (data[1] & 16) != 0;
  options.threads = 1;

  Files expected = book.pristine;
  std::vector<std::uint8_t> icon_def;
  std::size_t pos = 2;
  while (pos + 4 <= size) {
    const std::uint8_t op = data[pos];
    const fuzz::Region& region = book.regions[(op & 0x7F) % fuzz::REGION_COUNT];
    const std::size_t at = region.offset + (std::size_t{data[pos + 1]} << 8 | data[pos + 2]);
    std::size_t len = data[pos + 3];
    pos += 4;
    std::vector<std::uint8_t>& bytes = region.file.empty()
        ? icon_def
        : expected.at(region.file.lexically_relative(book.generated.root).generic_string());
    if ((op & 0x80) != 0) {
      if (at < bytes.size()) bytes.resize(at);
      continue;
    }
    if (len > size - pos) len = size - pos;
    if (&bytes == &icon_def && icon_def.size() < at + len) icon_def.resize(at + len, '\n');
    for (std::size_t k = 0; k < len && at + k < bytes.size(); ++k) bytes[at + k] = data[pos + k];
    pos += len;
  }
  for (const auto& [name, bytes] : expected) {
    if (bytes == book.pristine.at(name)) continue;
    fuzz::write_bytes(book.generated.root / name, bytes);
    dirty.emplace_back(book.generated.root / name, &book.pristine.at(name));
  }

  if (!icon_def.empty()) fuzz::write_bytes("icon.def", icon_def);
  std::unique_ptr<CatalogImage> catalog = load_catalog(book.generated.catalog.string());
  if (!catalog) fuzz::fail("the catalog of the book could not be loaded");
  convert_subbooks(*catalog, std::nullopt, std::nullopt, options);

  fuzz::fs::remove("icon.def");
  fuzz::expect_only_outputs();
  if (testing_support::read_tree(book.generated.root) != expected) fuzz::fail("the run changed the book");
}
