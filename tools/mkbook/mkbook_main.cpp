// tolvex-mkbook: writes a generated sample book to a directory.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "from_book.h"
#include "testbook.h"

namespace {

using tolvex::testbook::BookRecipe;
using tolvex::testbook::Layout;

const char USAGE[] =
    "Usage: tolvex-mkbook [options] DIR\n"
    "       tolvex-mkbook --sample DIR\n"
    "       tolvex-mkbook --from BOOKDIR [options] DIR\n"
    "Writes a generated EB or EPWING book (catalog, text, graphic, sound and\n"
    "font files) to DIR. The same options always give the same bytes.\n"
    "\n"
    "  --sample DIR         the demo book: EPWING, text compressed with kind 2,\n"
    "                       separate graphic and sound (kind 1) files, fonts,\n"
    "                       multi-search, a few hundred pages\n"
    "  --from BOOKDIR       write BOOKDIR's EPWING V1 book (one subbook, graphics\n"
    "                       and sound in DATA/HONMON, as FreePWING links one)\n"
    "                       again: with --layout eb as START with the fonts in\n"
    "                       it, else with a second table, --text-kind,\n"
    "                       --separate-graphic, --separate-sound and\n"
    "                       --sound-kind as given (references moved along)\n"
    "  --seed N             seed of the contents (default 1)\n"
    "  --layout eb|epwing   catalog layout (default epwing)\n"
    "  --text-kind 0|1|2    text compression: plain, kind 1 or kind 2 (default 0)\n"
    "  --sound-kind 0|1|2   compression of a separate sound file (default 0)\n"
    "  --separate-graphic   graphics in a file of their own (EPWING)\n"
    "  --separate-sound     sound in a file of their own (EPWING)\n"
    "  --pages N            pages of body text, 2048 bytes each (default 60, at\n"
    "                       most 1100000, 2.1 GiB: more than one data file of\n"
    "                       a package takes)\n"
    "  --multi N            multi-search components (default 3, at most 10)\n"
    "  --subbooks N         number of subbooks, all alike (default 1)\n"
    "  --v1                 EPWING V1 subbooks: DATA/HONMON, plain, no second table\n"
    "  --no-fonts           no GAIJI font files\n"
    "  --no-pathological    no body pages of zeros or of 0..255 repeated\n"
    "  --zero-weights       unused symbols get weight 0 (our reader only)\n"
    "  --no-final-end       no end-of-page symbol after a full page (our reader only)\n"
    "  --help               this text\n";

bool parse_number(const char* s, unsigned long& out) {
  char* end = nullptr;
  out = std::strtoul(s, &end, 10);
  return end != s && *end == '\0';
}

int usage_error(const char* what) {
  std::fprintf(stderr, "tolvex-mkbook: %s\n%s", what, USAGE);
  return 1;
}

// What the command line asks for.
struct Options {
  BookRecipe recipe;
  tolvex::testbook::SubbookRecipe sub;
  std::string dir;
  std::string from;
  bool sample = false;
  unsigned long subbooks = 1;
};

// Reads the command line into `o`: -1 to go on, else the exit status
// (after the help text or a usage error).
int parse_options(int argc, char** argv, Options& o) {
  BookRecipe& recipe = o.recipe;
  tolvex::testbook::SubbookRecipe& sub = o.sub;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    auto value = [&](unsigned long& out) {
      if (i + 1 >= argc) return false;
      return parse_number(argv[++i], out);
    };
    unsigned long n = 0;
    if (a == "--help" || a == "-h") {
      std::fputs(USAGE, stdout);
      return 0;
    } else if (a == "--sample") {
      if (i + 1 >= argc) return usage_error("--sample needs a directory");
      o.sample = true;
      o.dir = argv[++i];
    } else if (a == "--from") {
      if (i + 1 >= argc) return usage_error("--from needs a book directory");
      o.from = argv[++i];
    } else if (a == "--seed") {
      if (!value(n)) return usage_error("--seed needs a number");
      recipe.seed = static_cast<std::uint32_t>(n);
    } else if (a == "--layout") {
      if (i + 1 >= argc) return usage_error("--layout needs eb or epwing");
      const std::string_view l = argv[++i];
      if (l == "eb") recipe.layout = Layout::EB;
      else if (l == "epwing") recipe.layout = Layout::EPWING;
      else return usage_error("--layout needs eb or epwing");
    } else if (a == "--text-kind") {
      if (!value(n) || n > 2) return usage_error("--text-kind needs 0, 1 or 2");
      sub.text_kind = static_cast<int>(n);
    } else if (a == "--sound-kind") {
      if (!value(n) || n > 2) return usage_error("--sound-kind needs 0, 1 or 2");
      sub.sound_kind = static_cast<int>(n);
    } else if (a == "--separate-graphic") {
      sub.separate_graphic = true;
    } else if (a == "--separate-sound") {
      sub.separate_sound = true;
    } else if (a == "--pages") {
      if (!value(n) || n == 0 || n > 1100000) return usage_error("--pages needs a number from 1 to 1100000");
      sub.body_pages = static_cast<std::uint32_t>(n);
    } else if (a == "--multi") {
      if (!value(n) || n > 10) return usage_error("--multi needs a number from 0 to 10");
      sub.multi_searches = static_cast<int>(n);
    } else if (a == "--subbooks") {
      if (!value(n) || n == 0 || n > 50) return usage_error("--subbooks needs a number from 1 to 50");
      o.subbooks = n;
    } else if (a == "--v1") {
      sub.entry_version = 1;
    } else if (a == "--no-fonts") {
      sub.fonts = false;
    } else if (a == "--no-pathological") {
      sub.pathological_pages = false;
    } else if (a == "--zero-weights") {
      recipe.huffman.allow_zero_weights = true;
    } else if (a == "--no-final-end") {
      recipe.huffman.end_symbol_after_full_page = false;
    } else if (!a.empty() && a[0] == '-') {
      return usage_error(("unknown option " + std::string(a)).c_str());
    } else if (o.dir.empty()) {
      o.dir = argv[i];
    } else {
      return usage_error("only one directory");
    }
  }
  if (o.dir.empty()) return usage_error("no directory given");
  return -1;
}

// The sample book's recipe, or the asked subbooks named SAMPLE or BOOK1, BOOK2, ...
BookRecipe recipe_of(const Options& o) {
  BookRecipe recipe = o.recipe;
  if (o.sample) return tolvex::testbook::sample_book_recipe(recipe.seed);
  recipe.subbooks.clear();
  for (unsigned long i = 0; i < o.subbooks; ++i) {
    tolvex::testbook::SubbookRecipe s = o.sub;
    s.dir_name = o.subbooks == 1 ? "SAMPLE" : "BOOK" + std::to_string(i + 1);
    recipe.subbooks.push_back(s);
  }
  return recipe;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const int status = parse_options(argc, argv, o);
  if (status >= 0) return status;
  const BookRecipe recipe = recipe_of(o);
  const tolvex::testbook::GeneratedBook book = o.from.empty()
      ? tolvex::testbook::write_book(o.dir, recipe)
      : tolvex::testbook::write_book_from(o.from, o.dir, recipe);
  if (!book.ok()) {
    std::fprintf(stderr, "tolvex-mkbook: %s\n", book.error.c_str());
    return 1;
  }
  std::size_t pages = 0;
  for (const auto& s : book.subbooks) pages += s.text.pages.size();
  std::printf("Wrote %s (%zu subbooks, %zu text pages)\n", book.catalog.string().c_str(), book.subbooks.size(), pages);
  return 0;
}
