// The small generated books that the whole-run fuzzer damages, and the
// regions of their files that its inputs name: catalog, second table,
// compression header, page index, frequency tables, index page,
// multi-search page, graphic, sound and font files, the body text (its
// graphic and sound references, relocated in the books with separate files)
// and icon.def in the working directory. Book EBZIP_BOOK is book 0 with its
// files kept as name.ebz, its regions in the .ebz files: header, slice index
// and the slices of the pages read first.
//
// A whole-run input is: book number, run flags, then operations of
// [region][offset high][offset low][length][bytes...]; bit 7 of the region
// byte truncates the region's file at region start + offset instead. Writes
// to icon.def (absent until written) extend it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "catalog/bytes.h"
#include "ebzip.h"
#include "files.h"
#include "recipes.h"

namespace tolvex::fuzz {

// Kind-2 text with separate graphic and sound (kind 1) files; kind-1 text
// holding graphics and sound; the EB layout (START, plain); a plain EPWING
// V1 subbook and a stream book; plain text with separate graphic and sound
// files.
inline std::vector<testbook::BookRecipe> fuzz_book_recipes() {
  using testing_support::small_book;
  std::vector<testbook::BookRecipe> books = {small_book(2, true, 6), small_book(1, false, 6), small_book(0, false, 6),
                                             small_book(0, false, 6), small_book(0, true, 6)};
  books[2].layout = testbook::Layout::EB;
  books[3].subbooks.front().entry_version = 1;
  books[3].subbooks.emplace_back().book_type = 0xF0;
  books[3].subbooks.back().dir_name = "GUIDE";
  for (std::uint32_t i = 0; i < books.size(); ++i) books[i].seed = i + 1;
  return books;
}

inline constexpr std::size_t EBZIP_BOOK = 5;
inline constexpr int REGION_COUNT = 12;
inline constexpr std::uint8_t ICON_DEF_REGION = REGION_COUNT - 1;

struct Region {
  std::filesystem::path file;  // empty: icon.def
  std::size_t offset = 0;
};

// The first page of the subbook's first multi-search component.
inline std::uint32_t multi_search_page(const testbook::GeneratedSubbook& sub) {
  for (const testbook::Component& c : sub.components) {
    if (c.code == 0xFF) return c.start_page;
  }
  return sub.index_page;
}

// The regions of a generated book, numbered 0 .. REGION_COUNT - 1.
inline std::vector<Region> book_regions(const testbook::GeneratedBook& book) {
  const testbook::GeneratedSubbook& sub = book.subbooks.front();
  const testbook::SourceFile& text = sub.text;
  const std::vector<std::uint8_t> header = testing_support::read_file_bytes(text.path);
  const bool compressed = text.kind != 0;
  const std::size_t entries = book.subbooks.size();
  const auto at = [&](std::uint32_t page) { return Region{text.path, testbook::page_offset(text, page)}; };
  std::vector<Region> r = {{book.catalog, 0},
                           {book.catalog, 16 + entries * (book.layout == testbook::Layout::EPWING ? 164 : 40)},
                           {text.path, 0},
                           {text.path, compressed ? get_be(header.data(), 4) : 0},         // the page index
                           {text.path, compressed ? get_be(header.data() + 8, 4) : 2048},  // the frequency tables
                           at(sub.index_page),
                           at(multi_search_page(sub)),
                           sub.graphic ? Region{sub.graphic->path, 0} : at(sub.body_start),
                           {text.path, 0},
                           sub.font_files.empty() ? Region{book.catalog, 0} : Region{sub.font_files.front(), 0},
                           at(sub.body_start),
                           {}};
  if (sub.sound) {
    const std::vector<std::uint8_t> s = testing_support::read_file_bytes(sub.sound->path);
    r[8] = {sub.sound->path, sub.sound->kind != 0 ? get_be(s.data(), 4) : 0};
  }
  return r;
}

// Replaces book 0's text file (decoded), graphic file and first font by
// name.ebz at levels 0, 1 and 0, and returns the regions: catalog, second
// table, the text's header, slice index and the slices of its index page,
// multi-search page and first body page, the graphic's header and first
// slice, the font's header.
inline std::vector<Region> keep_as_ebzip(const testbook::GeneratedBook& book) {
  std::vector<Region> r = book_regions(book);
  const testbook::GeneratedSubbook& sub = book.subbooks.front();
  std::vector<std::uint8_t> ebz;
  std::size_t size = 0;
  const auto pack = [&](const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes, int level) {
    const std::filesystem::path packed = path.string() + ".ebz";
    size = bytes.size();
    ebz = testing_support::ebzip_bytes(bytes, level);
    testing_support::write_file_bytes(packed, ebz);
    std::filesystem::remove(path);
    return packed;
  };
  // Where slice i of the file packed last starts.
  const auto slice = [&](const std::filesystem::path& file, std::size_t i) {
    const auto width = static_cast<std::size_t>(testing_support::ebz_index_width(size));
    return Region{file, 22 + (i + 1) * width <= ebz.size() ? get_be(ebz.data() + 22 + i * width, width) : 0};
  };
  std::vector<std::uint8_t> decoded;
  for (const testbook::Page& p : sub.text.pages) decoded.insert(decoded.end(), p.begin(), p.end());
  const std::filesystem::path text = pack(sub.text.path, decoded, 0);
  r[2] = {text, 0};
  r[3] = {text, 22};
  r[4] = slice(text, sub.index_page - 1);
  r[5] = slice(text, multi_search_page(sub) - 1);
  r[6] = slice(text, sub.body_start - 1);
  r[10] = slice(text, sub.body_start);
  r[7] = {pack(sub.graphic->path, testing_support::read_file_bytes(sub.graphic->path), 1), 0};
  r[8] = slice(r[7].file, 0);
  r[9] = {pack(sub.font_files.front(), testing_support::read_file_bytes(sub.font_files.front()), 0), 0};
  return r;
}

}  // namespace tolvex::fuzz
