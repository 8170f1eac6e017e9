// The whole data file writer on a generated book: read_block (kind-2 text),
// relocation, compression and writing, with 1 and 2 threads. Throughput is
// source page bytes per second.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>

#include "catalog/catalog.h"
#include "components/run_options.h"
#include "messages/messages.h"
#include "pipeline/pipeline.h"
#include "testbook.h"

namespace tolvex {
namespace {

namespace fs = std::filesystem;

void BM_WholeWriter(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / "tolvex_writer_bench";
  fs::remove_all(dir);
  testbook::BookRecipe recipe = testbook::sample_book_recipe(1);
  recipe.subbooks.resize(1);
  recipe.subbooks[0].body_pages = 2000;  // 4 MB of body text
  const testbook::GeneratedBook book = testbook::write_book(dir / "book", recipe);
  if (!book.ok()) {
    state.SkipWithError(book.error.c_str());
    return;
  }
  std::uint64_t pages = 0;
  for (const auto& c : book.subbooks[0].components) pages += c.range_count;
  const fs::path old = fs::current_path();
  fs::create_directories(dir / "out");
  fs::current_path(dir / "out");
  set_console_sink([](std::string_view) {});
  std::unique_ptr<CatalogImage> image = load_catalog(book.catalog.string());
  RunOptions options;
  options.selection = DO_OPTIONAL | DO_GRAPHICS | DO_SOUND;
  options.threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    convert_subbooks(*image, std::nullopt, std::nullopt, options);
  }
  set_console_sink(nullptr);
  fs::current_path(old);
  fs::remove_all(dir);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pages * 2048));
}
BENCHMARK(BM_WholeWriter)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tolvex
