// The small generated books that the whole-run fuzzer damages, and the
// regions of their files that its inputs name: catalog, second table,
// compression header, page index, frequency tables, index page,
// multi-search page, graphic, sound and font files. Book EBZIP_BOOK is book
// 0 with its files kept as name.ebz (ebzip_bytes), its regions in the .ebz
// files: header, slice index and the slices of the pages read first.
//
// A whole-run input is: book number, run flags, then operations of
// [region][offset high][offset low][length][bytes...]; bit 7 of the region
// byte truncates the region's file at region start + offset instead.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zlib.h>

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

// `original` kept as ebzip keeps it at `level` (layout in bookfile/ebzip.h):
// one zlib stream a slice, or the slice as it is where that is no longer.
// Made in-process, so that neither fuzzers nor seeds need the ebzip program.
inline std::vector<std::uint8_t> ebzip_bytes(const std::vector<std::uint8_t>& original, int level) {
  const std::size_t slice = std::size_t{2048} << level, size = original.size();
  const std::size_t slices = (size + slice - 1) / slice;
  const int width = size < (1u << 16) ? 2 : size < (1u << 24) ? 3 : 4;
  std::vector<std::uint8_t> out(22 + (slices + 1) * static_cast<std::size_t>(width));
  std::memcpy(out.data(), "EBZip", 5);
  out[5] = static_cast<std::uint8_t>(0x10 | level);
  put_be(out.data() + 10, 4, static_cast<std::uint32_t>(size));
  put_be(out.data() + 14, 4,
         static_cast<std::uint32_t>(adler32(adler32(0, nullptr, 0), original.data(), static_cast<uInt>(size))));
  std::vector<std::uint8_t> piece(slice), packed(compressBound(static_cast<uLong>(slice)));
  for (std::size_t i = 0; i <= slices; ++i) {
    put_be(out.data() + 22 + i * static_cast<std::size_t>(width), width, static_cast<std::uint32_t>(out.size()));
    if (i == slices) break;
    std::fill(piece.begin(), piece.end(), std::uint8_t{0});  // the last slice is padded
    std::copy(original.begin() + static_cast<std::ptrdiff_t>(i * slice),
              original.begin() + static_cast<std::ptrdiff_t>(std::min(size, (i + 1) * slice)), piece.begin());
    uLongf n = static_cast<uLongf>(packed.size());
    const bool shorter = compress2(packed.data(), &n, piece.data(), static_cast<uLong>(slice), 6) == Z_OK && n < slice;
    const std::vector<std::uint8_t>& stored = shorter ? packed : piece;
    out.insert(out.end(), stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(shorter ? n : slice));
  }
  return out;
}

// The bytes ebzip stores for a text file: its pages, decoded.
inline std::vector<std::uint8_t> decoded_bytes(const testbook::SourceFile& f) {
  std::vector<std::uint8_t> v;
  for (const testbook::Page& p : f.pages) v.insert(v.end(), p.begin(), p.end());
  return v;
}

inline constexpr std::size_t EBZIP_BOOK = 4;

// Replaces book 0's text file (decoded), graphic file and first font by
// name.ebz at levels 0, 1 and 0, and returns the regions: catalog, second
// table, the text's header, slice index and the slices of its index page,
// multi-search page and first body page, the graphic's header and first
// slice, the font's header.
inline std::vector<Region> keep_as_ebzip(const testbook::GeneratedBook& book) {
  std::vector<Region> r = book_regions(book);
  const testbook::GeneratedSubbook& sub = book.subbooks.front();
  const auto pack = [](const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes, int level) {
    const std::filesystem::path packed = path.string() + ".ebz";
    const std::vector<std::uint8_t> ebz = ebzip_bytes(bytes, level);
    std::ofstream out(packed, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(ebz.data()), static_cast<std::streamsize>(ebz.size()));
    std::filesystem::remove(path);
    return packed;
  };
  // Where slice `slice` of a .ebz made here starts (0 beyond the index).
  const auto slice_at = [](const std::filesystem::path& ebz, std::size_t slice) -> std::size_t {
    const std::vector<std::uint8_t> b = detail::file_bytes(ebz);
    const std::uint32_t size = get_be(b.data() + 10, 4);
    const int width = size < (1u << 16) ? 2 : size < (1u << 24) ? 3 : 4;
    const std::size_t at = 22 + slice * static_cast<std::size_t>(width);
    return at + static_cast<std::size_t>(width) <= b.size() ? get_be(b.data() + at, width) : 0;
  };
  const std::filesystem::path text = pack(sub.text.path, decoded_bytes(sub.text), 0);
  const std::filesystem::path graphic = pack(sub.graphic->path, detail::file_bytes(sub.graphic->path), 1);
  const std::filesystem::path font = pack(sub.font_files.front(), detail::file_bytes(sub.font_files.front()), 0);
  std::uint32_t multi = sub.index_page;
  for (const testbook::Component& c : sub.components) {
    if (c.code == 0xFF) {
      multi = c.start_page;
      break;
    }
  }
  r[2] = {text, 0};
  r[3] = {text, 22};
  r[4] = {text, slice_at(text, sub.index_page - 1)};
  r[5] = {text, slice_at(text, multi - 1)};
  r[6] = {text, slice_at(text, sub.body_start - 1)};
  r[7] = {graphic, 0};
  r[8] = {graphic, slice_at(graphic, 0)};
  r[9] = {font, 0};
  return r;
}

}  // namespace tolvex::fuzz
