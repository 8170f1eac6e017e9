#include "from_book.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "bookfile/book_file.h"
#include "bookfile/relocate.h"
#include "catalog/bytes.h"
#include "catalog/catalog.h"

namespace tolvex::testbook {

namespace {

namespace fs = std::filesystem;

// The whole file, found in any case or with ";1" as the converter finds it.
bool read_whole(const std::string& path, std::vector<std::uint8_t>& out) {
  BookFilePtr file = open_book_file(path, 0);
  if (!file) return false;
  out.resize(static_cast<std::size_t>(book_file_size(*file)));
  std::size_t got = 0;
  for (long n = 1; got < out.size() && n > 0; got += static_cast<std::size_t>(std::max(n, 0L)))
    n = read_book_bytes(file.get(), out.data() + got, out.size() - got);
  return got == out.size();
}

// The bytes as whole pages, the last one padded with zeros.
void append_pages(std::vector<Page>& pages, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += PAGE_BYTES) {
    pages.emplace_back();
    std::copy_n(bytes.begin() + static_cast<long>(at), std::min(PAGE_BYTES, bytes.size() - at), pages.back().begin());
  }
}

bool write_bytes(const fs::path& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) error = "cannot write " + path.string();
  return static_cast<bool>(out);
}

bool write_source(SourceFile& file, const fs::path& path, int kind, std::vector<Page> pages,
                  const HuffmanOptions& options, std::string& error) {
  file.path = path;
  file.kind = kind;
  file.catalog_code = static_cast<std::uint8_t>(kind == 0 ? 0x00 : 0x10 + kind);
  CompressedFile compressed;
  if (kind == 0) {
    for (const Page& p : pages) compressed.bytes.insert(compressed.bytes.end(), p.begin(), p.end());
  } else if (!compress_pages(kind, pages, options, compressed, error)) {
    error = path.string() + ": " + error;
    return false;
  }
  file.pages = std::move(pages);
  file.raw_pages = compressed.raw_pages;
  return write_bytes(path, compressed.bytes, error);
}

// Graphics (0xD2) and sound (0xD8) that move to files of their own count
// their pages from 1 there; they must be the last pages of the text file.
// Moves their pages into moved[0] and moved[1], relocates the body text's
// references to them and cuts the text's pages behind its last component.
// Returns "" or why the book cannot be split so.
std::string split_off(std::vector<Page>& pages, std::uint32_t index_page, const SubbookRecipe& want,
                      std::vector<Page> moved[2]) {
  Page& index = pages[index_page - 1];
  const std::uint32_t entries = get_be(index.data(), 2);
  std::int32_t shift[2] = {0, 0};
  std::uint32_t text_end = 0, body_start = 0, body_pages = 0, moved_start = ~0u;
  for (std::uint32_t i = 0; i < entries; ++i) {
    std::uint8_t* e = &index[16 + 16 * i];
    const std::uint32_t start = get_be(e + 2, 4), count = get_be(e + 6, 4);
    const int k = e[0] == 0xD2 && want.separate_graphic ? 0 : e[0] == 0xD8 && want.separate_sound ? 1 : -1;
    if (e[0] == 0x00) body_start = start, body_pages = count;
    if (start < 1 || start + count - 1 > pages.size()) return "component beyond the file";
    if (k < 0) {
      text_end = std::max(text_end, start + count - 1);
      continue;
    }
    moved[k].assign(pages.begin() + start - 1, pages.begin() + start - 1 + count);
    shift[k] = 1 - static_cast<std::int32_t>(start);
    moved_start = std::min(moved_start, start);
    put_be(e + 2, 4, 1);
  }
  if (moved_start <= text_end) return "graphics and sound do not follow the text";
  if ((shift[0] != 0 || shift[1] != 0) && body_pages > 0) {
    // The body text's references follow their pages (one page of room behind).
    std::vector<std::uint8_t> body((body_pages + 1) * PAGE_BYTES, 0);
    for (std::uint32_t p = 0; p < body_pages; ++p)
      std::copy(pages[body_start - 1 + p].begin(), pages[body_start - 1 + p].end(), &body[p * PAGE_BYTES]);
    relocate_references(body.data(), body_pages * PAGE_BYTES, shift[0], shift[1]);
    for (std::uint32_t p = 0; p < body_pages; ++p)
      std::copy_n(&body[p * PAGE_BYTES], PAGE_BYTES, pages[body_start - 1 + p].begin());
  }
  pages.resize(text_end);
  return "";
}

}  // namespace

GeneratedBook write_book_from(const std::string& source_dir, const fs::path& dir, const BookRecipe& recipe) {
  GeneratedBook book;
  book.root = dir;
  book.layout = recipe.layout;
  const auto fail = [&](const std::string& why) {
    book.error = source_dir + ": " + why;
    return book;
  };
  CatalogImage image{source_dir + "/", {}};
  if (!read_whole(source_dir + "/CATALOGS", image.bytes)) return fail("no readable CATALOGS");
  const std::optional<SubbookEntry> entry = catalog_entry(image, 0);
  if (!catalog_is_epwing(image) || catalog_subbook_count(image) != 1 || !entry || entry->entry_version() != 1)
    return fail("not an EPWING V1 book of one subbook");
  const SubbookRecipe& want = recipe.subbooks.at(0);
  const bool eb = recipe.layout == Layout::EB;
  GeneratedSubbook s;
  s.dir_name = copy_trimmed(entry->dir_name_field(), 8);
  s.title_jis.assign(entry->title_field(), entry->title_field() + 80);
  s.book_type = entry->book_type();
  s.entry_version = eb ? 0 : 2;
  s.index_page = entry->index_page();
  const std::string fonts[2] = {copy_trimmed(entry->full_font_field(), 8), copy_trimmed(entry->half_font_field(), 8)};
  std::vector<std::uint8_t> font_bytes[2];
  for (int half = 0; half < 2; ++half)
    if (!fonts[half].empty() &&
        !read_whole(join_book_path(image.book_dir, s.dir_name, "GAIJI", fonts[half]), font_bytes[half]))
      return fail("no font " + fonts[half]);

  // Every page of the text file, graphics and sound included.
  BookFilePtr text = open_book_file(join_book_path(image.book_dir, s.dir_name, "DATA", "HONMON"), 0);
  if (!text) return fail("no " + s.dir_name + "/DATA/HONMON");
  std::vector<Page> pages(static_cast<std::size_t>(book_file_size(*text) / PAGE_BYTES));
  PageReader reader;
  for (std::size_t p = 0; p < pages.size(); ++p)
    if (!reader.read_block(pages[p].data(), text.get(), static_cast<std::uint32_t>(p + 1)))
      return fail("cannot read page " + std::to_string(p + 1));
  if (s.index_page < 1 || s.index_page > pages.size() || (eb && s.index_page != 1))
    return fail("index page " + std::to_string(s.index_page));
  // Room for two more entries (the EB layout's fonts).
  if (16 + 16 * (get_be(pages[s.index_page - 1].data(), 2) + 2) > PAGE_BYTES) return fail("the index page is full");

  if (eb) {
    // The fonts become components of START, each on whole pages of its own.
    for (int half = 0; half < 2; ++half) {
      const std::vector<std::uint8_t>& bytes = font_bytes[half];
      if (fonts[half].empty()) continue;
      std::uint8_t* ix = pages[0].data();  // the index page (appending moves it)
      std::uint8_t* e = ix + 16 + 16 * get_be(ix, 2);
      e[0] = half ? 0xF2 : 0xF1;
      put_be(e + 2, 4, static_cast<std::uint32_t>(pages.size() + 1));
      put_be(e + 6, 4, static_cast<std::uint32_t>((bytes.size() + PAGE_BYTES - 1) / PAGE_BYTES));
      put_be(ix, 2, get_be(ix, 2) + 1);
      append_pages(pages, bytes);
    }
    if (!write_source(s.text, dir / s.dir_name / "START", 0, std::move(pages), recipe.huffman, book.error)) return book;
  } else {
    std::vector<Page> moved[2];
    const std::string why = split_off(pages, s.index_page, want, moved);
    if (!why.empty()) return fail(why);
    const fs::path data = dir / s.dir_name / "DATA";
    const std::string name = want.text_kind != 0 ? "HONMON2" : "HONMON";
    if (!write_source(s.text, data / name, want.text_kind, std::move(pages), recipe.huffman, book.error) ||
        (!moved[0].empty() &&
         !write_source(s.graphic.emplace(), data / "HONMONG", 0, std::move(moved[0]), recipe.huffman, book.error)) ||
        (!moved[1].empty() &&
         !write_source(s.sound.emplace(), data / "HONMONS", want.sound_kind, std::move(moved[1]), recipe.huffman,
                       book.error)))
      return book;
    for (int half = 0; half < 2; ++half) {
      if (fonts[half].empty()) continue;
      if (!write_bytes(dir / s.dir_name / "GAIJI" / fonts[half], font_bytes[half], book.error)) return book;
      (half ? s.half_font : s.full_font) = fonts[half];
    }
  }
  book.subbooks.push_back(std::move(s));
  book.catalog_bytes = build_catalog(recipe, book.subbooks);
  book.catalog = dir / (eb ? "CATALOG" : "CATALOGS");
  write_bytes(book.catalog, book.catalog_bytes, book.error);
  return book;
}

}  // namespace tolvex::testbook
