#include "testbook.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "catalog/catalog.h"
#include "components/component_table.h"
#include "jis_text.h"

namespace tolvex::testbook {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t EB_ENTRY = EB_ENTRY_SIZE;
constexpr std::size_t EPWING_ENTRY = EPWING_ENTRY_SIZE;
constexpr std::size_t CATALOG_HEADER = CATALOG_HEADER_SIZE;

void put_be(std::uint8_t* p, int n, std::uint32_t v) {
  for (int i = n - 1; i >= 0; --i, v >>= 8) p[i] = static_cast<std::uint8_t>(v);
}

void put_name(std::uint8_t* field, std::size_t width, const std::string& name, std::uint8_t pad) {
  for (std::size_t i = 0; i < width; ++i) field[i] = i < name.size() ? static_cast<std::uint8_t>(name[i]) : pad;
}

std::uint8_t compression_code(int kind) {
  return kind == HUFFMAN_KIND ? COMPRESSION_CODE_1 : kind == FLAGGED_HUFFMAN_KIND ? COMPRESSION_CODE_2 : 0x00;
}

bool write_file(const fs::path& path, std::span<const std::uint8_t> bytes, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

// Writes the pages one after another, without a flat copy of them all.
bool write_pages(const fs::path& path, const std::vector<Page>& pages, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const Page& p : pages)
    out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
  out.close();
  if (!out) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

// Copies bytes into a page from `at`, as far as they fit.
void fill(Page& page, std::size_t at, const Bytes& bytes) {
  for (std::size_t i = 0; i < bytes.size() && at + i < PAGE_BYTES; ++i) page[at + i] = bytes[i];
}

// ---------------------------------------------------------------------------
// Page contents of the components other than the body text.

Page text_page(JisText& text, bool entries) {
  Page page{};
  Bytes out;
  while (true) {
    const Bytes piece = entries ? text.entry() : text.sentence();
    if (out.size() + piece.size() + 2 > PAGE_BYTES * 3 / 4) break;
    out.insert(out.end(), piece.begin(), piece.end());
    out.insert(out.end(), {0x1F, 0x0A});
  }
  fill(page, 0, out);
  return page;  // the last quarter stays zero, as on the last page of a component
}

// A leaf of a search index: a header (leaf mark, record count), then records
// of key length, JIS key, a body page and an offset.
Page index_page(JisText& text, Rng& rng, std::uint32_t body_start, std::uint32_t body_pages) {
  Page page{};
  std::size_t at = 4;
  std::uint32_t records = 0;
  while (true) {
    const Bytes& key = text.word();
    if (at + 1 + key.size() + 6 > PAGE_BYTES - 64) break;
    page[at++] = static_cast<std::uint8_t>(key.size());
    fill(page, at, key);
    at += key.size();
    put_be(&page[at], 4, body_start + rng.below(std::max<std::uint32_t>(body_pages, 1)));
    put_be(&page[at + 4], 2, 2 * rng.below(1024));
    at += 6;
    ++records;
  }
  page[0] = 0x80;
  put_be(&page[2], 2, records);
  return page;
}

Page noise_page(Rng& rng) {
  Page page{};
  for (std::size_t i = 0; i < PAGE_BYTES; i += 8) {
    const std::uint64_t r = rng.next();
    for (int b = 0; b < 8; ++b) page[i + b] = static_cast<std::uint8_t>(r >> (8 * b));
  }
  return page;
}

// Glyph bitmaps: a few strokes per character on a 16-pixel grid.
Page glyph_page(Rng& rng, std::size_t glyph_bytes) {
  Page page{};
  for (std::size_t g = 0; g + glyph_bytes <= PAGE_BYTES; g += glyph_bytes) {
    const std::size_t row_bytes = glyph_bytes / 16;
    for (int s = 0; s < 3; ++s) {
      const std::uint32_t row = 2 + rng.below(12);
      for (std::size_t b = 0; b < row_bytes; ++b) page[g + row * row_bytes + b] = 0xFF;
      const std::uint32_t col = rng.below(static_cast<std::uint32_t>(row_bytes * 8));
      for (std::uint32_t r = 1; r < 15; ++r)
        page[g + r * row_bytes + col / 8] |= static_cast<std::uint8_t>(0x80 >> (col % 8));
    }
  }
  return page;
}

// Colour picture data: a bitmap-like header on the first page, then
// gradients with a little noise.
Page picture_page(Rng& rng, std::uint32_t index) {
  Page page{};
  for (std::size_t i = 0; i < PAGE_BYTES; ++i)
    page[i] = static_cast<std::uint8_t>((i / 3 + index * 7) + (rng.below(8) == 0 ? rng.below(4) : 0));
  if (index == 0) {
    const Bytes header = {'B', 'M', 0x00, 0x00, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x00, 0x00, 0x00};
    fill(page, 0, header);
  }
  return page;
}

// 8-bit sound samples: triangle waves whose period changes from page to page.
Page sound_page(Rng& rng, std::uint32_t index) {
  Page page{};
  const std::uint32_t period = 16 + 4 * (index % 9);
  for (std::size_t i = 0; i < PAGE_BYTES; ++i) {
    const std::uint32_t phase = static_cast<std::uint32_t>(i % period);
    const std::uint32_t half = period / 2;
    const std::uint32_t level = phase < half ? phase : period - phase;
    page[i] = static_cast<std::uint8_t>(0x80 - 48 + level * 96 / half + (rng.below(16) == 0 ? 1 : 0));
  }
  return page;
}

// ---------------------------------------------------------------------------
// The body text.

struct Pin {
  std::size_t offset;  // in the body, even
  Bytes bytes;
  int ref = 0;  // 0 none, 1 graphic, 2 sound (the escape starts at offset)
  std::uint32_t pages[2] = {0, 0};
};

struct BodyTargets {
  std::uint32_t graphic_first = 0, graphic_count = 0;  // own numbering of the graphic component
  std::uint32_t sound_first = 0, sound_count = 0;
};

Bytes caption(bool graphic) {
  // "figure" or "sound" in JIS, then the end escape of the reference.
  if (graphic) return {0x3F, 0x5E, 0x48, 0x47, 0x1F, 0x6D};
  return {0x32, 0x3B, 0x40, 0x3C, 0x1F, 0x6A};
}

// Reference targets drawn from the generator's random numbers.
struct TargetDraw {
  const BodyTargets& targets;
  Rng& rng;
  std::uint32_t graphic() { return targets.graphic_first + rng.below(targets.graphic_count); }
  void sound(std::uint32_t& start, std::uint32_t& end) {
    start = targets.sound_first + rng.below(targets.sound_count);
    end = std::min(start + rng.below(3), targets.sound_first + targets.sound_count - 1);
  }
};

// References pinned across page and chunk (16-page) boundaries, in body order.
std::vector<Pin> pinned_references(std::uint32_t body_pages, TargetDraw& draw) {
  std::vector<Pin> pins;
  const bool g = draw.targets.graphic_count > 0;
  const bool s = draw.targets.sound_count > 0;
  auto pin_graphic = [&](std::size_t at) {
    Pin pin{at, {}, 1, {draw.graphic(), 0}};
    pin.bytes = graphic_reference(pin.pages[0]);
    pins.push_back(pin);
  };
  auto pin_sound = [&](std::size_t at) {
    Pin pin{at, {}, 2, {0, 0}};
    draw.sound(pin.pages[0], pin.pages[1]);
    pin.bytes = sound_reference(pin.pages[0], pin.pages[1]);
    const Bytes c = caption(false);
    pin.bytes.insert(pin.bytes.end(), c.begin(), c.end());
    pins.push_back(pin);
  };
  const std::size_t P = PAGE_BYTES;
  // The escape starts in the last unit of a page; its page number is on the next.
  if (g && body_pages >= 7) pin_graphic(6 * P - 2);
  if (g && body_pages >= 17) pin_graphic(16 * P - 2);
  // A sound reference in the last two units of a chunk's last page.
  if (s && body_pages >= 33) pin_sound(32 * P - 4);
  // A graphic reference ending exactly at a chunk's end, and a sound
  // reference opening the next chunk.
  if (g && s && body_pages >= 49) {
    pin_graphic(48 * P - 20);
    pin_sound(48 * P);
  }
  std::sort(pins.begin(), pins.end(), [](const Pin& a, const Pin& b) { return a.offset < b.offset; });
  return pins;
}

// A dictionary entry, sometimes followed by a graphic or a sound reference
// with its caption; `ref` (0, 1 graphic, 2 sound), `ref_at` and `pg` say which.
Bytes body_piece(JisText& text, TargetDraw& draw, int& ref, std::size_t& ref_at, std::uint32_t pg[2]) {
  Bytes piece = text.entry();
  ref = 0;
  if (draw.targets.graphic_count > 0 && draw.rng.chance(12)) {
    ref = 1;
    ref_at = piece.size();
    pg[0] = draw.graphic();
    const Bytes e = graphic_reference(pg[0]);
    piece.insert(piece.end(), e.begin(), e.end());
  } else if (draw.targets.sound_count > 0 && draw.rng.chance(8)) {
    ref = 2;
    ref_at = piece.size();
    draw.sound(pg[0], pg[1]);
    const Bytes e = sound_reference(pg[0], pg[1]);
    piece.insert(piece.end(), e.begin(), e.end());
  }
  if (ref != 0) {
    const Bytes c = caption(ref == 1);
    piece.insert(piece.end(), c.begin(), c.end());
    piece.insert(piece.end(), {0x1F, 0x0A});
  }
  return piece;
}

void build_body(std::vector<Page>& pages, std::uint32_t body_start, std::uint32_t body_pages, bool pathological,
                const BodyTargets& targets, JisText& text, Rng& rng, std::vector<Reference>& refs) {
  // The body is written straight into its pages (zero until written), at
  // offsets counted from its first page.
  const std::size_t total = static_cast<std::size_t>(body_pages) * PAGE_BYTES;
  auto body = [&](std::size_t at) -> std::uint8_t& { return pages[body_start - 1 + at / PAGE_BYTES][at % PAGE_BYTES]; };
  auto put = [&](std::size_t at, const Bytes& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) body(at + i) = bytes[i];
  };

  TargetDraw draw{targets, rng};
  const std::vector<Pin> pins = pinned_references(body_pages, draw);
  const std::size_t P = PAGE_BYTES;

  std::set<std::size_t> ramp_pages, special_pages;  // special: the zero and the ramp pages
  if (pathological && body_pages >= 12) {
    ramp_pages.insert(8);
    special_pages = {7, 8};
  }

  auto record = [&](int ref, std::size_t at, const std::uint32_t* pg) {
    Reference r;
    r.graphic = ref == 1;
    r.text_page = body_start + static_cast<std::uint32_t>(at / P);
    r.offset = static_cast<std::uint32_t>(at % P);
    r.pages[0] = pg[0];
    r.pages[1] = pg[1];
    refs.push_back(r);
  };

  std::size_t pos = 0;
  std::size_t next_pin = 0;
  while (pos < total) {
    const std::size_t page_index = pos / P;
    if (pos % P == 0 && special_pages.count(page_index)) {
      if (ramp_pages.count(page_index))
        for (std::size_t i = 0; i < P; ++i) body(pos + i) = static_cast<std::uint8_t>(i);
      pos += P;
      continue;
    }
    if (next_pin < pins.size() && pins[next_pin].offset == pos) {
      const Pin& pin = pins[next_pin++];
      put(pos, pin.bytes);
      record(pin.ref, pos, pin.pages);
      pos += pin.bytes.size();
      continue;
    }
    // Text stops at the next pin or at the next special page, whichever
    // comes first (looked up, not walked to: a walk over the pages left
    // would make the body quadratic in its length).
    std::size_t barrier = total;
    if (next_pin < pins.size()) barrier = std::min(barrier, pins[next_pin].offset);
    const auto special = special_pages.upper_bound(page_index);
    if (special != special_pages.end()) barrier = std::min(barrier, *special * P);

    int ref = 0;
    std::size_t ref_at = 0;
    std::uint32_t pg[2] = {0, 0};
    const Bytes piece = body_piece(text, draw, ref, ref_at, pg);
    if (pos + piece.size() <= barrier) {
      put(pos, piece);
      if (ref != 0) record(ref, pos + ref_at, pg);
      pos += piece.size();
    } else {
      // Pad with single characters up to the barrier.
      while (pos < barrier) {
        const Bytes f = text.filler();
        body(pos) = f[0];
        body(pos + 1) = f[1];
        pos += 2;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// One subbook.

struct Builder {
  const BookRecipe& book;
  const SubbookRecipe& recipe;
  Rng rng;
  JisText text;
  GeneratedSubbook out;
  std::uint32_t next_page = 2;  // page 1 is the index page

  Builder(const BookRecipe& b, const SubbookRecipe& s, std::uint64_t seed) : book(b), recipe(s), rng(seed), text(rng) {}

  Component& add(std::uint8_t code, std::uint32_t pages, FileRole file = FileRole::Text) {
    Component c;
    c.code = code;
    c.file = file;
    c.start_page = file == FileRole::Text ? next_page : 1;
    c.page_count = pages;
    c.attribute = static_cast<std::uint8_t>(code == 0x00 ? 0x00 : rng.below(2));
    c.parameters = {0x00, static_cast<std::uint8_t>(rng.below(4)), static_cast<std::uint8_t>(code)};
    c.range_start = c.start_page;
    c.range_count = pages;
    if (file == FileRole::Text) next_page += pages;
    out.components.push_back(c);
    return out.components.back();
  }
};

struct MultiEntry {
  std::uint8_t code;
  std::uint32_t start, count;
};
// Per multi-search: its groups, each a list of entries.
using MultiGroups = std::vector<std::vector<std::vector<MultiEntry>>>;

// Multi-search: the page of the first one comes before the pages its
// entries name, the others after; all entries' pages lie in one block, so
// every range also covers pages of the other multi-searches. `component`
// receives the index of each one's component.
void plan_multi_searches(Builder& b, int multis, MultiGroups& multi_groups, std::vector<std::size_t>& component) {
  if (multis <= 0) return;
  component.push_back(b.out.components.size());
  b.add(0xFF, 1);
  for (int m = 0; m < multis; ++m) {
    const int groups = 1 + m % 3;
    for (int g = 0; g < groups; ++g) {
      std::vector<MultiEntry> entries;
      const int count = 1 + (m + g) % 3;
      for (int e = 0; e < count; ++e) {
        const std::uint8_t codes[] = {0x71, 0x91, 0x01};
        const std::uint32_t pages = 1 + static_cast<std::uint32_t>(e % 2);
        entries.push_back({codes[e % 3], b.next_page, pages});
        b.next_page += pages;
      }
      if (g == 0) entries.push_back({0x72, 1, 0});  // a page count of 0 widens nothing
      multi_groups[static_cast<std::size_t>(m)].push_back(std::move(entries));
    }
  }
  for (int m = 1; m < multis; ++m) {
    component.push_back(b.out.components.size());
    b.add(0xFF, 1);
  }
}

// The page plan of the text file, in index-page order, the multi-searches
// planned into `multi_groups` (sized to their number); returns where the
// graphic and sound pages lie.
BodyTargets plan_pages(Builder& b, const SubbookRecipe& recipe, bool separate_graphic, bool separate_sound,
                       MultiGroups& multi_groups, std::vector<std::size_t>& multi_component) {
  b.add(0x02, 1);
  b.add(0x01, 2);
  b.add(0x0C, 1);
  b.out.body_start = b.next_page;
  b.add(0x00, std::max<std::uint32_t>(recipe.body_pages, 1));
  b.add(0x30, 3);
  b.add(0x70, 2);
  b.add(0x91, 2);
  b.add(0x80, 2);
  b.add(0x81, 2);
  b.add(0x03, 1);
  plan_multi_searches(b, static_cast<int>(multi_groups.size()), multi_groups, multi_component);
  b.add(0xF1, 2);
  b.add(0xF2, 1);
  BodyTargets targets;
  if (recipe.graphic_pages > 0) {
    const Component& c = b.add(0xD2, recipe.graphic_pages, separate_graphic ? FileRole::Graphic : FileRole::Text);
    targets.graphic_first = c.start_page;
    targets.graphic_count = c.page_count;
  }
  if (recipe.sound_pages > 0) {
    const Component& c = b.add(0xD8, recipe.sound_pages, separate_sound ? FileRole::Sound : FileRole::Text);
    targets.sound_first = c.start_page;
    targets.sound_count = c.page_count;
  }
  return targets;
}

// The contents of the text file's component pages and of the pages the
// multi-search entries name (the body and the multi-search pages come later).
void fill_component_pages(Builder& b, std::vector<Page>& pages, int text_kind, const SubbookRecipe& recipe,
                          const MultiGroups& multi_groups) {
  const GeneratedSubbook& out = b.out;
  for (std::size_t ci = 0; ci < out.components.size(); ++ci) {
    const Component& c = out.components[ci];
    if (c.file != FileRole::Text) continue;
    for (std::uint32_t i = 0; i < c.page_count; ++i) {
      Page& page = pages[c.start_page - 1 + i];
      switch (c.code) {
        case 0x00: break;  // below
        case 0x01:
        case 0x03: page = text_page(b.text, true); break;
        case 0x02: page = text_page(b.text, false); break;
        // Noise does not compress: kind 2 stores it raw, kind 1 could not
        // store it at all, so a kind-1 file gets text there.
        case 0x0C: page = text_kind == HUFFMAN_KIND ? text_page(b.text, false) : noise_page(b.rng); break;
        case 0xF1: page = glyph_page(b.rng, 32); break;
        case 0xF2: page = glyph_page(b.rng, 16); break;
        case 0xD2: page = picture_page(b.rng, i); break;
        case 0xD8: page = sound_page(b.rng, i); break;
        case 0xFF: break;  // below
        default: page = index_page(b.text, b.rng, out.body_start, recipe.body_pages); break;
      }
    }
  }
  for (const auto& groups : multi_groups)
    for (const auto& group : groups)
      for (const MultiEntry& e : group)
        for (std::uint32_t i = 0; i < e.count; ++i)
          pages[e.start - 1 + i] = index_page(b.text, b.rng, out.body_start, recipe.body_pages);
}

// Multi-search pages: group count, then groups of a count byte, a 30-byte
// JIS label at 2 and 16-byte entries from 32; and the range each covers.
void write_multi_pages(Builder& b, std::vector<Page>& pages, const MultiGroups& multi_groups,
                       const std::vector<std::size_t>& component) {
  for (std::size_t m = 0; m < multi_groups.size(); ++m) {
    Component& c = b.out.components[component[m]];
    Page& page = pages[c.start_page - 1];
    page = Page{};
    const auto& groups = multi_groups[m];
    put_be(&page[0], 2, static_cast<std::uint32_t>(groups.size()));
    std::size_t at = 16;
    std::uint32_t low = c.start_page, high = c.start_page;
    for (const auto& group : groups) {
      page[at] = static_cast<std::uint8_t>(group.size());
      fill(page, at + 2, b.text.title(15));
      std::size_t e_at = at + 32;
      for (const MultiEntry& e : group) {
        page[e_at] = e.code;
        put_be(&page[e_at + 2], 4, e.start);
        put_be(&page[e_at + 6], 4, e.count);
        if (e.count > 0) {
          low = std::min(low, e.start);
          high = std::max(high, e.start + e.count - 1);
        }
        e_at += 16;
      }
      at = e_at;
    }
    c.range_start = low;
    c.range_count = high - low + 1;
  }
}

// A source file of the book, plain (kind 0) or compressed, and its description.
bool write_source_file(SourceFile& file, std::vector<Page> content, int kind, const fs::path& path,
                       const HuffmanOptions& options, std::string& error) {
  file.path = path;
  file.kind = kind;
  file.catalog_code = compression_code(kind);
  file.pages = std::move(content);
  file.raw_pages.assign(file.pages.size(), false);
  if (kind == 0) return write_pages(path, file.pages, error);
  CompressedFile compressed;
  if (!compress_pages(kind, file.pages, options, compressed, error)) {
    error = path.string() + ": " + error;
    return false;
  }
  file.raw_pages = compressed.raw_pages;
  return write_file(path, compressed.bytes, error);
}

// The font files in GAIJI: a header page (first character code 0xA121 at
// bytes 10-11, number of characters at 12-13), then the glyphs.
bool write_fonts(Builder& b, const SubbookRecipe& recipe, const fs::path& dir, std::string& error) {
  GeneratedSubbook& out = b.out;
  std::error_code ec;
  const fs::path gaiji = dir / "GAIJI";
  fs::create_directories(gaiji, ec);
  if (ec) {
    error = "cannot create " + gaiji.string();
    return false;
  }
  for (int half = 0; half < 2; ++half) {
    const std::string& name = half ? recipe.half_font : recipe.full_font;
    if (name.empty()) continue;
    std::vector<Page> font(2);
    font[0][10] = 0xA1;
    font[0][11] = 0x21;
    put_be(&font[0][12], 2, 32);
    font[1] = glyph_page(b.rng, half ? 16 : 32);
    const fs::path path = gaiji / name;
    if (!write_pages(path, font, error)) return false;
    out.font_files.push_back(path);
    (half ? out.half_font : out.full_font) = name;
  }
  return true;
}

bool build_subbook(const BookRecipe& book, const SubbookRecipe& recipe, std::size_t number, const fs::path& root,
                   GeneratedSubbook& result, std::string& error) {
  Builder b(book, recipe, (static_cast<std::uint64_t>(book.seed) << 16) ^ (number * 0x51ED27ULL) ^ 0xB00C);
  GeneratedSubbook& out = b.out;
  const bool epwing = book.layout == Layout::EPWING;
  out.dir_name = recipe.dir_name;
  out.title_jis = recipe.title_jis.empty() ? b.text.title(epwing ? 20 : 15) : recipe.title_jis;
  out.book_type = recipe.book_type;
  out.entry_version = epwing ? recipe.entry_version : 0;
  out.stream_book = epwing && recipe.book_type == STREAM_BOOK_TYPE;
  if (out.stream_book) {
    result = std::move(out);
    return true;
  }
  const bool second_table = epwing && recipe.entry_version >= 2;
  const int text_kind = second_table ? recipe.text_kind : 0;
  const bool separate_graphic = second_table && recipe.separate_graphic && recipe.graphic_pages > 0;
  const bool separate_sound = second_table && recipe.separate_sound && recipe.sound_pages > 0;

  const int multis = std::clamp(recipe.multi_searches, 0, 10);
  MultiGroups multi_groups(static_cast<std::size_t>(multis));
  std::vector<std::size_t> multi_component;
  const BodyTargets targets = plan_pages(b, recipe, separate_graphic, separate_sound, multi_groups, multi_component);
  if (out.components.size() > 126) {
    error = "too many index entries";
    return false;
  }

  // Page contents.
  std::vector<Page> pages(b.next_page - 1);
  fill_component_pages(b, pages, text_kind, recipe, multi_groups);
  build_body(pages, out.body_start, std::max<std::uint32_t>(recipe.body_pages, 1), recipe.pathological_pages, targets,
             b.text, b.rng, out.references);

  write_multi_pages(b, pages, multi_groups, multi_component);
  pages[0] = index_page(out.components);
  out.index_page = 1;

  // Files.
  std::error_code ec;
  const fs::path dir = root / recipe.dir_name;
  const fs::path data = epwing ? dir / "DATA" : dir;
  fs::create_directories(data, ec);
  if (ec) {
    error = "cannot create " + data.string();
    return false;
  }
  auto write_source = [&](SourceFile& file, std::vector<Page> content, int kind, const fs::path& path) {
    return write_source_file(file, std::move(content), kind, path, book.huffman, error);
  };

  std::string text_name = recipe.text_file;
  if (text_name.empty()) text_name = text_kind != 0 ? "HONMON2" : "HONMON";
  if (epwing && !second_table) text_name = "HONMON";
  if (!write_source(out.text, std::move(pages), text_kind, epwing ? data / text_name : dir / "START")) return false;

  if (separate_graphic) {
    std::vector<Page> g;
    for (std::uint32_t i = 0; i < recipe.graphic_pages; ++i) g.push_back(picture_page(b.rng, i));
    out.graphic.emplace();
    if (!write_source(*out.graphic, std::move(g), 0, data / recipe.graphic_file)) return false;
  }
  if (separate_sound) {
    std::vector<Page> s;
    for (std::uint32_t i = 0; i < recipe.sound_pages; ++i) s.push_back(sound_page(b.rng, i));
    out.sound.emplace();
    if (!write_source(*out.sound, std::move(s),
                      recipe.sound_kind == 1 || recipe.sound_kind == 2 ? recipe.sound_kind : 0,
                      data / recipe.sound_file))
      return false;
  }

  if (epwing && recipe.fonts && !write_fonts(b, recipe, dir, error)) return false;
  result = std::move(out);
  return true;
}

}  // namespace

std::vector<std::uint8_t> build_catalog(const BookRecipe& recipe, const std::vector<GeneratedSubbook>& subbooks) {
  const std::size_t n = subbooks.size();
  std::vector<std::uint8_t> cat;
  if (recipe.layout == Layout::EB) {
    cat.assign(CATALOG_HEADER + n * EB_ENTRY, 0);
    put_be(&cat[CATALOG_COUNT_AT], 2, static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
      std::uint8_t* e = &cat[CATALOG_HEADER + i * EB_ENTRY];
      e[ENTRY_BOOK_TYPE_AT] = static_cast<std::uint8_t>(i + 1);
      e[ENTRY_VERSION_AT] = 0x00;
      std::copy_n(subbooks[i].title_jis.begin(), std::min<std::size_t>(subbooks[i].title_jis.size(), EB_TITLE_WIDTH),
                  e + ENTRY_TITLE_AT);
      put_name(e + EB_DIR_NAME_AT, NAME_FIELD_WIDTH, subbooks[i].dir_name, ' ');
    }
  } else {
    bool any_second = false;
    for (const auto& s : subbooks) any_second = any_second || s.entry_version >= 2;
    std::uint16_t version = recipe.catalog_version != 0 ? recipe.catalog_version : any_second ? 2 : 1;
    if ((version & 0xFF) == 0) version = static_cast<std::uint16_t>(version | 1);  // byte 3 tells the layouts apart
    const bool second_table = version != 1 || any_second;
    cat.assign(CATALOG_HEADER + n * EPWING_ENTRY * (second_table ? 2 : 1), 0);
    put_be(&cat[CATALOG_COUNT_AT], 2, static_cast<std::uint32_t>(n));
    put_be(&cat[CATALOG_LAYOUT_BYTE - 1], 2, version);
    for (std::size_t i = 0; i < n; ++i) {
      const GeneratedSubbook& s = subbooks[i];
      std::uint8_t* e = &cat[CATALOG_HEADER + i * EPWING_ENTRY];
      e[ENTRY_BOOK_TYPE_AT] = s.book_type;
      e[ENTRY_VERSION_AT] = s.entry_version;
      std::copy_n(s.title_jis.begin(), std::min<std::size_t>(s.title_jis.size(), EPWING_TITLE_FIELD),
                  e + ENTRY_TITLE_AT);
      put_name(e + EPWING_DIR_NAME_AT, NAME_FIELD_WIDTH, s.dir_name, 0);
      if (!s.stream_book) put_be(e + EPWING_INDEX_PAGE_AT, 2, s.index_page);
      put_name(e + EPWING_FULL_FONT_AT, NAME_FIELD_WIDTH, s.full_font, 0);
      put_name(e + EPWING_HALF_FONT_AT, NAME_FIELD_WIDTH, s.half_font, 0);
      if (!second_table || s.entry_version < 2 || s.stream_book) continue;
      std::uint8_t* f = &cat[CATALOG_HEADER + n * EPWING_ENTRY + i * FILE_ENTRY_SIZE];
      put_name(f + FILE_TEXT_NAME_AT, NAME_FIELD_WIDTH, s.text.path.filename().string(), 0);
      f[FILE_TEXT_COMPRESSION_AT] = s.text.catalog_code;
      if (s.graphic) {
        put_name(f + FILE_GRAPHIC_NAME_AT, NAME_FIELD_WIDTH, s.graphic->path.filename().string(), 0);
        f[FILE_GRAPHIC_SLOT_AT] = FILE_GRAPHIC_SLOT;
        f[FILE_GRAPHIC_COMPRESSION_AT] = 0x00;
      }
      if (s.sound) {
        put_name(f + FILE_SOUND_NAME_AT, NAME_FIELD_WIDTH, s.sound->path.filename().string(), 0);
        f[FILE_SOUND_SLOT_AT] = FILE_SOUND_SLOT;
        f[FILE_SOUND_COMPRESSION_AT] = s.sound->catalog_code;
      }
    }
  }
  cat.resize((cat.size() + PAGE_BYTES - 1) / PAGE_BYTES * PAGE_BYTES, 0);
  return cat;
}

GeneratedBook write_book(const std::filesystem::path& dir, const BookRecipe& recipe) {
  GeneratedBook book;
  book.root = dir;
  book.layout = recipe.layout;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) {
    book.error = "cannot create " + dir.string();
    return book;
  }
  if (recipe.subbooks.empty() || recipe.subbooks.size() > 50) {
    book.error = "a book needs 1 to 50 subbooks";
    return book;
  }
  for (std::size_t i = 0; i < recipe.subbooks.size(); ++i) {
    const SubbookRecipe& s = recipe.subbooks[i];
    if (s.dir_name.empty() || s.dir_name.size() > 8) {
      book.error = "directory name must have 1 to 8 characters: \"" + s.dir_name + "\"";
      return book;
    }
    GeneratedSubbook sub;
    if (!build_subbook(recipe, s, i, dir, sub, book.error)) return book;
    book.subbooks.push_back(std::move(sub));
  }
  book.catalog_bytes = build_catalog(recipe, book.subbooks);
  book.catalog = dir / (recipe.layout == Layout::EB ? "CATALOG" : "CATALOGS");
  write_file(book.catalog, book.catalog_bytes, book.error);
  return book;
}

const SourceFile& component_file(const GeneratedSubbook& subbook, const Component& component) {
  if (component.file == FileRole::Graphic && subbook.graphic) return *subbook.graphic;
  if (component.file == FileRole::Sound && subbook.sound) return *subbook.sound;
  return subbook.text;
}

std::span<const Page> component_pages(const GeneratedSubbook& subbook, const Component& component) {
  const SourceFile& file = component_file(subbook, component);
  const std::size_t first = component.range_start - 1;
  return std::span<const Page>(file.pages).subspan(first, component.range_count);
}

BookRecipe sample_book_recipe(std::uint32_t seed) {
  BookRecipe recipe;
  recipe.seed = seed;
  recipe.layout = Layout::EPWING;
  SubbookRecipe main;
  main.dir_name = "SAMPLE";
  // "sample dictionary"
  main.title_jis = {0x38, 0x2B, 0x4B, 0x5C, 0x3C, 0x2D, 0x45, 0x35};
  main.text_kind = 2;
  main.separate_graphic = true;
  main.separate_sound = true;
  main.sound_kind = 1;
  main.body_pages = 280;
  main.graphic_pages = 12;
  main.sound_pages = 10;
  SubbookRecipe appendix;
  appendix.dir_name = "FUROKU";
  // "appendix"
  appendix.title_jis = {0x49, 0x55, 0x4F, 0x3F};
  appendix.entry_version = 1;
  appendix.body_pages = 40;
  appendix.multi_searches = 1;
  SubbookRecipe stream;
  stream.dir_name = "GUIDE";
  stream.book_type = 0xF0;
  recipe.subbooks = {main, appendix, stream};
  return recipe;
}

BookRecipe eb_library_book_recipe(int text_kind, std::uint32_t seed) {
  BookRecipe recipe;
  recipe.seed = seed;
  recipe.layout = Layout::EPWING;
  recipe.huffman.allow_zero_weights = false;
  recipe.huffman.end_symbol_after_full_page = true;
  SubbookRecipe s;
  s.dir_name = "EBTEST";
  s.text_kind = text_kind;
  s.separate_graphic = true;
  s.separate_sound = true;
  s.sound_kind = text_kind == 1 ? 2 : 1;
  s.body_pages = 64;
  recipe.subbooks = {s};
  return recipe;
}

}  // namespace tolvex::testbook

namespace tolvex::testbook {

Page index_page(const std::vector<Component>& components) {
  Page page{};
  put_be(&page[0], 2, static_cast<std::uint32_t>(components.size()));
  for (std::size_t i = 0; i < components.size(); ++i) {
    const Component& c = components[i];
    std::uint8_t* e = index_entry(page.data(), static_cast<int>(i)).bytes;
    e[0] = c.code;
    put_be(e + 2, 4, c.start_page);
    put_be(e + 6, 4, c.page_count);
    e[10] = c.attribute;
    std::copy(c.parameters.begin(), c.parameters.end(), e + 11);
  }
  return page;
}

std::uint64_t page_offset(const SourceFile& file, std::uint32_t page) {
  if (page == 0 || page > file.pages.size() + 1) return 0;
  if (file.kind == 0) return std::uint64_t{page - 1} * PAGE_BYTES;
  std::ifstream in(file.path, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (page > file.pages.size()) return bytes.size();
  // The header's first word locates the page index: a 36-byte record per 16
  // pages, the group's offset and then 16 two-byte offsets from it.
  const auto be = [&](std::size_t at, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n && at + static_cast<std::size_t>(i) < bytes.size(); ++i) v = v << 8 | bytes[at + i];
    return v;
  };
  const std::size_t record = static_cast<std::size_t>(be(0, 4)) + 36 * ((page - 1) / 16);
  return be(record, 4) + be(record + 4 + 2 * ((page - 1) % 16), 2);
}

}  // namespace tolvex::testbook
