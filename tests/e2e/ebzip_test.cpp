// Books kept compressed with ebzip: every layout and kind, at levels 0, 2 and
// 5, converts to the package of the plain book with the same messages; a
// damaged .ebz is refused with "Can't open" (header, slice index) or fails
// read_block (a slice, the checksum), and the run goes on to "Done.".
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "e2e_support.h"
#include "ebzip_tool.h"

namespace tolvex::e2e {
namespace {

using testbook::BookRecipe;

// The run's log and console without the lines that carry the time.
std::string timeless(const std::string& text) {
  std::istringstream in(text);
  std::string line, kept;
  while (std::getline(in, line)) {
    if (line.rfind("Start: ", 0) != 0 && line.rfind("Stop: ", 0) != 0 && line.rfind("Time elapsed", 0) != 0)
      kept += line + "\n";
  }
  return kept;
}

struct Conversion {
  RunResult result;
  std::string log;
  std::map<std::string, std::vector<std::uint8_t>> dic;
};

// tolvex -a book/CATALOG(S) in `dir`, which holds the book as book/: the
// messages name the same paths for every copy of the book.
Conversion convert(const fs::path& dir, const testbook::GeneratedBook& book) {
  Conversion run;
  run.result = run_tolvex_in(dir, {"-a", "book/" + book.catalog.filename().string()});
  run.log = timeless(read_text(dir / "tolvex.log"));
  run.dic = read_tree(dir / "Dic");
  return run;
}

BookRecipe recipe_of(testbook::Layout layout, int entry_version) {
  BookRecipe r;
  r.layout = layout;
  r.subbooks[0].entry_version = static_cast<std::uint8_t>(entry_version);
  return r;
}

TEST(Ebzip, EveryBookAtEveryLevelGivesThePlainBooksPackageAndMessages) {
  TOLVEX_REQUIRE_EBZIP();
  const struct {
    const char* name;
    BookRecipe recipe;
  } books[] = {
      {"EPWING, kind-2 text, kind-1 sound, graphics file, fonts", testbook::sample_book_recipe()},
      {"EPWING, kind-1 text, kind-2 sound", testbook::eb_library_book_recipe(1)},
      {"EPWING V1", recipe_of(testbook::Layout::EPWING, 1)},
      {"EB", recipe_of(testbook::Layout::EB, 2)},
  };
  for (const auto& b : books) {
    SCOPED_TRACE(b.name);
    ScratchDir plain;
    const testbook::GeneratedBook book = testbook::write_book(plain.path() / "book", b.recipe);
    ASSERT_TRUE(book.ok()) << book.error;
    const Conversion reference = convert(plain.path(), book);
    ASSERT_EQ(reference.result.status, 0);
    ASSERT_FALSE(reference.dic.empty());
    const fs::path text = fs::relative(book.subbooks[0].text.path, book.root);
    for (int level : {0, 2, 5}) {
      SCOPED_TRACE(level);
      ScratchDir packed;
      ASSERT_TRUE(testing_support::ebzip_book(book.root, packed.path() / "book", level));
      ASSERT_FALSE(fs::exists(packed.path() / "book" / text));
      ASSERT_TRUE(fs::exists(packed.path() / "book" / (text.string() + ".ebz")));
      const Conversion run = convert(packed.path(), book);
      EXPECT_EQ(run.result.status, 0);
      EXPECT_EQ(timeless(run.result.output), timeless(reference.result.output));
      EXPECT_EQ(run.log, reference.log);
      EXPECT_TRUE(run.dic == reference.dic);
    }
  }
}

// Writes `original` as ebzip does at `level`, each slice through `store`
// (which may spoil it), and the header through `fix`.
template <typename Store, typename Fix>
std::vector<std::uint8_t> ebz_of(const std::vector<std::uint8_t>& original, int level, Store store, Fix fix) {
  const std::size_t slice = std::size_t{2048} << level, slices = (original.size() + slice - 1) / slice;
  const int width = original.size() < (1 << 16) ? 2 : original.size() < (1 << 24) ? 3 : 4;
  std::vector<std::vector<std::uint8_t>> stored;
  for (std::size_t i = 0; i < slices; ++i) {
    std::vector<std::uint8_t> bytes(slice);
    std::copy_n(original.begin() + i * slice, std::min(slice, original.size() - i * slice), bytes.begin());
    uLongf length = compressBound(slice + 1);
    std::vector<std::uint8_t> packed(length);
    compress(packed.data(), &length, bytes.data(), slice);
    packed.resize(length);
    stored.push_back(packed.size() < slice ? packed : bytes);
    store(i, bytes, stored.back());
  }
  std::vector<std::uint8_t> out(22 + (slices + 1) * width);
  std::copy_n("EBZip", 5, out.begin());
  out[5] = static_cast<std::uint8_t>(0x10 | level);
  const auto be = [&](std::size_t at, std::uint64_t v, int n) {
    for (int k = n - 1; k >= 0; --k, v >>= 8) out[at + k] = static_cast<std::uint8_t>(v);
  };
  be(10, original.size(), 4);
  be(14, adler32(adler32(0, nullptr, 0), original.data(), static_cast<uInt>(original.size())), 4);
  for (std::size_t i = 0; i <= slices; ++i) {
    be(22 + i * width, out.size(), width);
    if (i < slices) out.insert(out.end(), stored[i].begin(), stored[i].end());
    if (i < slices) be(22 + i * width, out.size() - stored[i].size(), width);
  }
  fix(out, width);
  return out;
}

TEST(Ebzip, DamagedFilesEndWithTheirMessage) {
  using Bytes = std::vector<std::uint8_t>;
  const auto keep = [](std::size_t, const Bytes&, Bytes&) {};
  const auto as_is = [](Bytes&, int) {};
  const auto zlib = [](const Bytes& b) {
    uLongf length = compressBound(b.size());
    Bytes packed(length);
    compress(packed.data(), &length, b.data(), b.size());
    packed.resize(length);
    return packed;
  };
  const struct {
    const char* name;
    std::function<void(std::size_t, const Bytes&, Bytes&)> store;
    std::function<void(Bytes&, int)> fix;
    bool at_open = true;  // else a slice: read_block fails where it is read
  } cases[] = {
      {"wrong magic", keep, [](Bytes& f, int) { f[1] = 'b'; }},
      {"unknown format", keep, [](Bytes& f, int) { f[5] = 0x22; }},
      {"unknown level", keep, [](Bytes& f, int) { f[5] = 0x16; }},
      {"slice outside the file", keep, [](Bytes& f, int w) { f[22 + w] = 0x7F; }},
      {"slice index backwards", keep,
       [](Bytes& f, int w) { std::swap_ranges(&f[22 + w], &f[22 + 2 * w], &f[22 + 2 * w]); }},
      {"original size beyond the slices", keep, [](Bytes& f, int) { f[12] += 0x20; }},
      {"checksum", keep, [](Bytes& f, int) { f[17] ^= 1; }, false},
      {"slice inflates short",
       [&](std::size_t i, const Bytes& b, Bytes& s) {
         if (i == 1) s = zlib(Bytes(b.begin(), b.end() - 1));
       },
       as_is, false},
      {"slice inflates long",
       [&](std::size_t i, const Bytes& b, Bytes& s) {
         Bytes more = b;
         more.push_back(0);
         if (i == 1) s = zlib(more);
       },
       as_is, false},
      {"slice's own checksum",
       [](std::size_t i, const Bytes&, Bytes& s) {
         if (i == 1) s.back() ^= 1;
       },
       as_is, false},
      {"stream never ends",
       [](std::size_t i, const Bytes&, Bytes& s) {
         if (i == 1) s.resize(s.size() - 5);
       },
       as_is, false},
  };
  ScratchDir dir;
  BookRecipe recipe = testbook::eb_library_book_recipe(1);
  recipe.subbooks[0].fonts = false;
  const testbook::GeneratedBook book = testbook::write_book(dir.path() / "book", recipe);
  ASSERT_TRUE(book.ok()) << book.error;
  const fs::path text = book.subbooks[0].text.path;
  Bytes original;
  for (const auto& page : book.subbooks[0].text.pages) original.insert(original.end(), page.begin(), page.end());
  fs::remove(text);
  const auto write = [&](const Bytes& bytes) {
    std::ofstream(text.string() + ".ebz", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  // The writer above is right: undamaged, the book converts (as plain text).
  write(ebz_of(original, 1, keep, as_is));
  ScratchDir good;
  RunResult r = run_tolvex_in(good.path(), {"-a", book.catalog.string()});
  EXPECT_EQ(r.output.find("Can't open"), std::string::npos) << r.output;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write(ebz_of(original, 1, c.store, c.fix));
    ScratchDir out;
    r = run_tolvex_in(out.path(), {"-a", book.catalog.string()});
    EXPECT_EQ(r.status, 0);
    // The path as built ends in DATA/<name>, whatever separators came before.
    const std::string message = c.at_open ? "/DATA/" + text.filename().string() + "\"\nNothing to do.\n"
                                          : "\nread_block() failed. (";
    EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Can't open \"") != std::string::npos, c.at_open) << r.output;
    EXPECT_NE(r.output.find("Done.\n"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(out.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "Dic" || name == "tolvex.log") << name;
    }
  }
}

}  // namespace
}  // namespace tolvex::e2e
