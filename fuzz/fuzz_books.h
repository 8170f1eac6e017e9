// The small generated books that the whole-run fuzzer damages, and the
// regions of their files that its inputs name: catalog, second table,
// compression header, page index, frequency tables, index page,
// multi-search page, graphic, sound and font files.
//
// A whole-run input is: book number, run flags, then operations of
// [region][offset high][offset low][length][bytes...]; bit 7 of the region
// byte truncates the region's file at region start + offset instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalog/bytes.h"
#include "testbook.h"

namespace tolvex::fuzz {

inline std::vector<testbook::BookRecipe> fuzz_book_recipes() {
  using testbook::SubbookRecipe;
  std::vector<testbook::BookRecipe> books;
  {
    testbook::BookRecipe b;  // compressed (kind 2) text with separate graphic and sound (kind 1) files
    SubbookRecipe s;
    s.dir_name = "SAMPLE";
    s.text_kind = 2;
    s.separate_graphic = true;
    s.separate_sound = true;
    s.sound_kind = 1;
    s.body_pages = 6;
    s.multi_searches = 2;
    s.graphic_pages = 2;
    s.sound_pages = 2;
    b.subbooks = {s};
    books.push_back(b);
  }
  {
    testbook::BookRecipe b;  // kind 1 text, graphics and sound inside the text file
    SubbookRecipe s;
    s.dir_name = "KIND1";
    s.text_kind = 1;
    s.body_pages = 6;
    s.multi_searches = 1;
    s.graphic_pages = 2;
    s.sound_pages = 1;
    b.seed = 2;
    b.subbooks = {s};
    books.push_back(b);
  }
  {
    testbook::BookRecipe b;  // EB layout: START, plain
    b.layout = testbook::Layout::EB;
    SubbookRecipe s;
    s.dir_name = "EBBOOK";
    s.body_pages = 6;
    s.multi_searches = 1;
    s.graphic_pages = 1;
    s.sound_pages = 1;
    b.seed = 3;
    b.subbooks = {s};
    books.push_back(b);
  }
  {
    testbook::BookRecipe b;  // plain EPWING V1 subbook and a stream book
    SubbookRecipe s;
    s.dir_name = "PLAIN";
    s.entry_version = 1;
    s.body_pages = 6;
    s.multi_searches = 1;
    s.graphic_pages = 1;
    s.sound_pages = 1;
    SubbookRecipe stream;
    stream.dir_name = "GUIDE";
    stream.book_type = 0xF0;
    b.seed = 4;
    b.subbooks = {s, stream};
    books.push_back(b);
  }
  return books;
}

struct Region {
  std::filesystem::path file;
  std::size_t offset = 0;
};

inline constexpr int REGION_COUNT = 10;

namespace detail {
inline std::vector<std::uint8_t> file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Where page p of a source file is stored.
inline std::size_t page_location(const testbook::SourceFile& f, const std::vector<std::uint8_t>& bytes,
                                 std::uint32_t p) {
  if (p == 0) p = 1;
  if (f.kind == 0) return std::size_t{p - 1} * 2048;
  if (bytes.size() < 20) return 0;
  const std::size_t index = get_be(bytes.data(), 4);
  const std::size_t group = index + 36 * ((p - 1) / 16);
  if (group + 36 > bytes.size()) return 0;
  return get_be(bytes.data() + group, 4) + get_be(bytes.data() + group + 4 + 2 * ((p - 1) % 16), 2);
}
}  // namespace detail

// The regions of a generated book, numbered 0 .. REGION_COUNT - 1.
inline std::vector<Region> book_regions(const testbook::GeneratedBook& book) {
  const testbook::GeneratedSubbook& sub = book.subbooks.front();
  const testbook::SourceFile& text = sub.text;
  const std::vector<std::uint8_t> bytes = detail::file_bytes(text.path);
  const bool compressed = text.kind != 0 && bytes.size() >= 20;
  const std::size_t entries = book.subbooks.size();
  std::vector<Region> r(REGION_COUNT);
  r[0] = {book.catalog, 0};
  r[1] = {book.catalog, 16 + entries * (book.layout == testbook::Layout::EPWING ? 164 : 40)};
  r[2] = {text.path, 0};
  r[3] = {text.path, compressed ? get_be(bytes.data(), 4) : 0};
  r[4] = {text.path, compressed ? get_be(bytes.data() + 8, 4) : 2048};
  r[5] = {text.path, detail::page_location(text, bytes, sub.index_page)};
  r[6] = r[5];
  for (const testbook::Component& c : sub.components) {
    if (c.code == 0xFF) {
      r[6] = {text.path, detail::page_location(text, bytes, c.start_page)};
      break;
    }
  }
  r[7] = sub.graphic ? Region{sub.graphic->path, 0}
                     : Region{text.path, detail::page_location(text, bytes, sub.body_start)};
  r[8] = r[2];
  if (sub.sound) {
    const std::vector<std::uint8_t> s = detail::file_bytes(sub.sound->path);
    r[8] = {sub.sound->path, sub.sound->kind != 0 && s.size() >= 20 ? get_be(s.data(), 4) : 0};
  }
  r[9] = sub.font_files.empty() ? r[0] : Region{sub.font_files.front(), 0};
  return r;
}

}  // namespace tolvex::fuzz
