// tolvex-readtime: how long reading every text page of a book takes,
// with the converter's read_block and (when built with the EB library) with
// the EB library's eb_seek_text + eb_read_rawtext.
//
//   tolvex-readtime TEXTFILE KIND [BOOKDIR]
//
// TEXTFILE is the subbook's text file (HONMON, or HONMON2 of kind 1 or 2),
// KIND its compression kind (0, 1, 2). The pages read are 1 to the last page
// of the text's components on the index page (page 1), graphic and sound
// entries left out. With BOOKDIR the EB library reads the same pages of the
// book there. Each reader runs three times; the fastest run is printed as
//   read_block: N pages, S s, R MB/s, hash H
//   EB library: N pages, S s, R MB/s, hash H
// and the two hashes must agree (exit status 1 otherwise).
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bookfile/book_file.h"

#if defined(TOLVEX_READTIME_EB)
#include <eb/eb.h>
#include <eb/error.h>
#include <eb/text.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t get_be(const std::uint8_t* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

// FNV-1a over every page, so that the two readers can be seen to agree.
struct Hash {
  std::uint64_t h = 1469598103934665603ull;
  void add(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  }
};

// Runs `read` (which reads every page once and returns its hash, or 0 on a
// failure) three times and prints the fastest run.
std::uint64_t timed(const char* label, std::uint32_t pages, const std::function<std::uint64_t()>& read) {
  double best = 1e300;
  std::uint64_t hash = 0;
  for (int run = 0; run < 3; ++run) {
    const auto t0 = Clock::now();
    hash = read();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (hash == 0) {
      std::printf("%s: read failed\n", label);
      return 0;
    }
    best = std::min(best, s);
  }
  const double mb = pages * 2048.0 / 1e6;
  std::printf("%s: %u pages, %.3f s, %.1f MB/s, hash %016llx\n", label, pages, best, mb / best,
              static_cast<unsigned long long>(hash));
  return hash;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s TEXTFILE KIND [BOOKDIR]\n", argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  const int kind = std::atoi(argv[2]);
  std::array<std::uint8_t, tolvex::PAGE_SIZE> page{};

  std::uint32_t pages = 0;
  {
    tolvex::BookFilePtr f = tolvex::open_book_file(path, kind);
    tolvex::PageReader reader;
    if (!f || !reader.read_block(page.data(), f.get(), 1)) {
      std::fprintf(stderr, "%s: cannot read the index page\n", path.c_str());
      return 1;
    }
    const std::uint32_t n = std::min<std::uint32_t>(get_be(page.data(), 2), 127);
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint8_t* e = page.data() + 16 + 16 * i;
      if (e[0] == 0xD2 || e[0] == 0xD8) continue;
      pages = std::max(pages, get_be(e + 2, 4) + get_be(e + 6, 4) - 1);
    }
  }

  const std::uint64_t ours = timed("read_block", pages, [&]() -> std::uint64_t {
    tolvex::BookFilePtr f = tolvex::open_book_file(path, kind);
    if (!f) return 0;
    tolvex::PageReader reader;
    Hash h;
    for (std::uint32_t p = 1; p <= pages; ++p) {
      if (!reader.read_block(page.data(), f.get(), p == 1 ? 1 : 0)) return 0;
      h.add(page.data(), page.size());
    }
    return h.h | 1;
  });
  if (ours == 0) return 1;
  if (argc == 3) return 0;

#if defined(TOLVEX_READTIME_EB)
  if (eb_initialize_library() != EB_SUCCESS) return 1;
  const std::uint64_t theirs = timed("EB library", pages, [&]() -> std::uint64_t {
    EB_Book book;
    eb_initialize_book(&book);
    EB_Subbook_Code list[EB_MAX_SUBBOOKS];
    int n = 0;
    std::uint64_t result = 0;
    if (eb_bind(&book, argv[3]) == EB_SUCCESS && eb_subbook_list(&book, list, &n) == EB_SUCCESS && n > 0 &&
        eb_set_subbook(&book, list[0]) == EB_SUCCESS) {
      Hash h;
      bool ok = true;
      for (std::uint32_t p = 1; p <= pages && ok; ++p) {
        EB_Position pos{static_cast<int>(p), 0};
        ok = eb_seek_text(&book, &pos) == EB_SUCCESS;
        std::size_t got = 0;
        while (ok && got < page.size()) {
          ssize_t len = 0;
          ok = eb_read_rawtext(&book, page.size() - got, reinterpret_cast<char*>(page.data() + got), &len) ==
                  EB_SUCCESS &&
              len > 0;
          got += ok ? static_cast<std::size_t>(len) : 0;
        }
        if (ok) h.add(page.data(), page.size());
      }
      if (ok) result = h.h | 1;
    }
    eb_finalize_book(&book);
    return result;
  });
  eb_finalize_library();
  if (theirs != ours) {
    std::printf("MISMATCH: the two readers return different pages\n");
    return 1;
  }
  return 0;
#else
  std::printf("EB library: not built in (libeb16-dev missing)\n");
  return 0;
#endif
}
