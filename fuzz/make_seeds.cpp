// Writes the whole-run target's seeds (its input format and regions are
// fuzz_books.h's): every fuzz book untouched, written and cut in every
// region, and icon.def texts. (tests/fuzz/run-fuzzers.sh adds the seeds of
// the other targets, from a generated book and its package.)
//   tolvex-fuzz-seeds OUTDIR
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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
  std::printf("tolvex-fuzz-seeds: seeds in %s\n", out.string().c_str());
  return 0;
}
