// Writes the seed corpora that need the generator's knowledge of its books,
// one directory per target: the whole-run inputs for every fuzz book (with
// icon.def texts), and body pages of book 0 for the compressor and the
// inflater.
// (tests/fuzz/run-fuzzers.sh adds the data files of a generated package.)
//   tolvex-fuzz-seeds OUTDIR
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "components/compressor.h"
#include "fuzz_books.h"
#include "fuzz_support.h"

using namespace tolvex;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tolvex-fuzz-seeds OUTDIR\n");
    return 2;
  }
  const fs::path out = fs::absolute(argv[1]);
  const auto seed = [&](const std::string& target, const std::string& name, const Bytes& bytes) {
    fs::create_directories(out / target);
    fuzz::write_bytes(out / target / name, bytes);
  };
  // Whole runs: each book untouched under two flag sets, then one write and
  // one cut in every region.
  for (std::uint8_t b = 0; b <= fuzz::EBZIP_BOOK; ++b) {
    const std::string tag = "book" + std::to_string(b);
    seed("whole_run_fuzz", tag + "-plain", {b, 0x07});
    seed("whole_run_fuzz", tag + "-raw-scan", {b, 0x1F});
    for (std::uint8_t r = 0; r < fuzz::REGION_COUNT; ++r) {
      seed("whole_run_fuzz", tag + "-write" + std::to_string(r), {b, 0x07, r, 0, 2, 4, 0xFF, 0xFF, 0xFF, 0xFF});
      seed("whole_run_fuzz", tag + "-cut" + std::to_string(r),
           {b, 0x07, static_cast<std::uint8_t>(0x80 | r), 0, 24, 0});
    }
  }
  for (const std::string& def : std::vector<std::string>{
           "[SAMPLE_16]\n4444444444444444\n44FFFFF44FFFFF44\n; comment\n\n[DEFAULT_32]\n0123456789ABCDEFabcdef\n",
           "[SAMPLE_16] own\r\nF\r\n[DEFAULT_32]\r\n77777777777777777777777777777777\r\n[X]\r\n",
           "[SAMPLE_16]\n 123456789abcdefXYZ" + std::string(200, '0') + "\n"}) {
    Bytes input = {0, 0x07, fuzz::ICON_DEF_REGION, 0, 0, static_cast<std::uint8_t>(def.size())};
    input.insert(input.end(), def.begin(), def.end());
    seed("whole_run_fuzz", "icon-def" + std::to_string(def.size()), input);
  }
  const testbook::GeneratedBook book = testbook::write_book(out / "book", fuzz::fuzz_book_recipes().front());
  if (!book.ok()) {
    std::fprintf(stderr, "tolvex-fuzz-seeds: %s\n", book.error.c_str());
    return 1;
  }
  const testbook::GeneratedSubbook& sub = book.subbooks.front();
  const auto pages = [&](std::uint32_t first, std::size_t bytes) {
    Bytes v;
    for (std::uint32_t p = first; v.size() < bytes && p <= sub.text.pages.size(); ++p)
      v.insert(v.end(), sub.text.pages[p - 1].begin(), sub.text.pages[p - 1].end());
    v.resize(std::min(v.size(), bytes));
    return v;
  };
  Bytes chunk = {0};  // the search kind, then the chunk
  const Bytes body = pages(sub.body_start, CHUNK_BYTES);
  chunk.insert(chunk.end(), body.begin(), body.end());
  seed("compressor_fuzz", "body", chunk);
  chunk[0] = 2;  // the scan search as well
  chunk.resize(1 + 4096);
  seed("compressor_fuzz", "body-scan", chunk);
  const Bytes slice = testing_support::zlib_stream(pages(sub.body_start, 2048));
  Bytes deflated = {0x08, 0x00};  // 2048 bytes out, from the raw deflate data inside the zlib stream
  deflated.insert(deflated.end(), slice.begin() + 2, slice.end() - 4);
  seed("inflate_fuzz", "slice", deflated);
  fs::remove_all(out / "book");
  std::printf("tolvex-fuzz-seeds: seeds in %s\n", out.string().c_str());
  return 0;
}
